// The shipped bus policy, loaded by a private system-style bus as the real
// system bus loads it: non-root users cannot take a daemon's name nor fake a
// daemon's notification, while the ordinary traffic of each side flows.
#include "RawPeer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace {

const uid_t kNobody = 65534;

// The default context of the distribution's system bus, then our policy.
std::string systemPolicy()
{
    return "  <policy context=\"default\">\n"
           "    <allow user=\"*\"/>\n"
           "    <deny own=\"*\"/>\n"
           "    <deny send_type=\"method_call\"/>\n"
           "    <allow send_type=\"signal\"/>\n"
           "    <allow send_requested_reply=\"true\" send_type=\"method_return\"/>\n"
           "    <allow send_requested_reply=\"true\" send_type=\"error\"/>\n"
           "    <allow receive_type=\"method_call\"/>\n"
           "    <allow receive_type=\"method_return\"/>\n"
           "    <allow receive_type=\"error\"/>\n"
           "    <allow receive_type=\"signal\"/>\n"
           "    <allow send_destination=\"org.freedesktop.DBus\" send_interface=\"org.freedesktop.DBus\"/>\n"
           "    <allow send_destination=\"org.freedesktop.DBus\" send_interface=\"org.freedesktop.DBus.Introspectable\"/>\n"
           "  </policy>\n"
           "  <include>" TAV_POLICY_FILE "</include>\n";
}

bool becomeNobody()
{
    return setgid(kNobody) == 0 && setuid(kNobody) == 0;
}

int requestName(DBusConnection* c, const char* name)
{
    DBusError err;
    dbus_error_init(&err);
    int r = dbus_bus_request_name(c, name, DBUS_NAME_FLAG_DO_NOT_QUEUE, &err);
    dbus_error_free(&err);
    return r;
}

class PolicyTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (getuid() != 0)
            GTEST_SKIP() << "needs root to switch to another user";
        // The bus socket must be reachable for the other user.
        chmod(tavtest::TempRoot().c_str(), 0755);
        ASSERT_TRUE(m_bus.Start(systemPolicy()));
        chmod(m_bus.Address().substr(m_bus.Address().find('=') + 1).c_str(), 0777);
        for (std::string dir = m_bus.Address().substr(m_bus.Address().find('=') + 1);
             dir.size() > tavtest::TempRoot().size();) {
            dir = dir.substr(0, dir.rfind('/'));
            chmod(dir.c_str(), 0755);
        }
        m_bus.Export();
    }

    tavtest::PrivateBus m_bus;
};

} // namespace

TEST_F(PolicyTest, OnlyRootOwnsTheDaemonNames)
{
    EXPECT_CHILD_PASSES([] {
        if (!becomeNobody())
            return 2;
        DBusConnection* c = rawpeer::Connect();
        EXPECT_NE(c, nullptr);
        if (!c)
            return 1;
        EXPECT_NE(requestName(c, "tav.student.daemon"), DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER);
        EXPECT_NE(requestName(c, "tav.teacher.daemon"), DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER);
        EXPECT_EQ(requestName(c, "tav.student.app"), DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER);
        EXPECT_EQ(requestName(c, "tav.teacher.app"), DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER);
        rawpeer::Close(c);
        return 0;
    });
    EXPECT_CHILD_PASSES([] {
        DBusConnection* c = rawpeer::Connect();
        EXPECT_EQ(requestName(c, "tav.student.daemon"), DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER);
        EXPECT_EQ(requestName(c, "tav.teacher.daemon"), DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER);
        rawpeer::Close(c);
        return 0;
    });
}

// Per side: the daemon (root) answers calls and sends notifications; an
// application and a forger run as another user.
class PolicySides : public PolicyTest, public testing::WithParamInterface<const char*> {};

TEST_P(PolicySides, NotificationsComeFromRootOnly)
{
    const std::string side = GetParam();
    const std::string daemonName = "tav." + side + ".daemon";
    const std::string appName = "tav." + side + ".app";
    const std::string appIface = "tav." + side + "app.type";
    const std::string daemonIface = "tav." + side + "daemon.type";

    EXPECT_CHILD_PASSES([&] {
        DBusConnection* daemon = rawpeer::Connect(daemonName.c_str());
        EXPECT_NE(daemon, nullptr);
        if (!daemon)
            return 1;
        std::atomic<bool> stop{false};
        std::thread serve([&] {
            while (!stop) {
                if (DBusMessage* call = rawpeer::Next(daemon, rawpeer::IsCall, 50)) {
                    rawpeer::Reply(daemon, call, "daemon-reply");
                    dbus_message_unref(call);
                }
                rawpeer::Signal(daemon, daemonIface.c_str(), "ROOTNOTE", "from root");
            }
        });
        EXPECT_CHILD_PASSES([&] {
            if (!becomeNobody())
                return 2;
            DBusConnection* app = rawpeer::Connect(appName.c_str());
            DBusConnection* forger = rawpeer::Connect();
            EXPECT_TRUE(app && forger);
            if (!app || !forger)
                return 1;
            EXPECT_TRUE(rawpeer::AddMatch(app, "type='signal',interface='" + daemonIface + "'"));

            // The forger fakes a notification, then posts a message.
            rawpeer::Signal(forger, daemonIface.c_str(), "LOCKSTATUSCHANGED", "fake");
            rawpeer::Signal(forger, daemonIface.c_str(), "POSTMESSAGE", "posted");
            bool fake = false, posted = false, root = false;
            rawpeer::Next(app, [&](DBusMessage* m) {
                if (!rawpeer::IsSignalOn(m, daemonIface.c_str()))
                    return false;
                const std::string member = rawpeer::Str(dbus_message_get_member(m));
                fake |= member == "LOCKSTATUSCHANGED";
                posted |= member == "POSTMESSAGE";
                root |= member == "ROOTNOTE";
                return posted && root;
            });
            // Signals of one sender arrive in order: the fake would be here.
            EXPECT_FALSE(fake);
            EXPECT_TRUE(posted);
            EXPECT_TRUE(root);

            // Requests reach the daemon of the side, as a call and a signal.
            DBusMessage* call = dbus_message_new_method_call(daemonName.c_str(), "/orvelix/message/object",
                                                             appIface.c_str(), "REQUEST");
            const char* arg = "envelope";
            dbus_message_append_args(call, DBUS_TYPE_STRING, &arg, DBUS_TYPE_INVALID);
            DBusError err;
            dbus_error_init(&err);
            DBusMessage* reply = dbus_connection_send_with_reply_and_block(app, call, 5000, &err);
            EXPECT_NE(reply, nullptr) << (err.message ? err.message : "");
            if (reply) {
                EXPECT_EQ(rawpeer::StringArg(reply), "daemon-reply");
                dbus_message_unref(reply);
            }
            dbus_error_free(&err);
            dbus_message_unref(call);
            rawpeer::Close(app);
            rawpeer::Close(forger);
            return 0;
        });
        stop = true;
        serve.join();
        rawpeer::Close(daemon);
        return 0;
    });
}

INSTANTIATE_TEST_SUITE_P(BothSides, PolicySides, testing::Values("student", "teacher"));
