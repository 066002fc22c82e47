// The shipped bus policy, loaded by a private system-style bus as the real
// system bus loads it, tried by three users: root (the daemons), "nobody"
// (any other local user) and a member of the teacher group. The group and
// its member exist only in this process's private mount namespace (its own
// /etc/passwd and /etc/group); the machine's files are never touched.
#include "RawPeer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

namespace {

const uid_t kNobody = 65534;
const gid_t kNogroup = 65534;
const char kPath[] = "/orvelix/message/object";

struct Identity {
    std::string name;
    uid_t uid = 0; // 0: stays root
    std::vector<gid_t> groups;
};

const Identity kRoot{"root", 0, {}};
const Identity kOther{"nobody", kNobody, {}};
// Filled in once the namespace holds the group (uid 0 until then).
Identity g_member{"member", 0, {}};

bool become(const Identity& who)
{
    if (who.uid == 0)
        return true;
    return setgroups(who.groups.size(), who.groups.data()) == 0 && setgid(kNogroup) == 0 &&
           setuid(who.uid) == 0;
}

// A private mount namespace whose /etc/group holds "tav-teacher" with one
// member, made up in /etc/passwd. Done once per process; false with the
// reason when namespaces are not allowed.
bool makeTeacherGroup(std::string& why)
{
    static bool done = false;
    static std::string failure;
    if (done) {
        why = failure;
        return failure.empty();
    }
    done = true;
    if (unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        failure = why = std::string("no private mount namespace: ") + std::strerror(errno);
        return false;
    }
    uid_t uid = 40000;
    while (getpwuid(uid))
        ++uid;
    gid_t gid = 40000;
    while (getgrgid(gid))
        ++gid;
    std::istringstream groups(tavtest::ReadFile("/etc/group"));
    std::string group, line;
    while (std::getline(groups, line))
        if (line.rfind("tav-teacher:", 0) != 0)
            group += line + "\n";
    group += "tav-teacher:x:" + std::to_string(gid) + ":tav-test-teacher\n";
    const std::string passwd = tavtest::ReadFile("/etc/passwd") +
                               "tav-test-teacher:x:" + std::to_string(uid) + ":" +
                               std::to_string(kNogroup) + "::/nonexistent:/usr/sbin/nologin\n";
    const std::string dir = tavtest::MakeTempDir("etc");
    for (const auto& [file, text] :
         {std::make_pair("passwd", passwd), std::make_pair("group", group)}) {
        const std::string made = dir + "/" + file, real = std::string("/etc/") + file;
        if (!tavtest::WriteFile(made, text) || chmod(made.c_str(), 0644) != 0 ||
            mount(made.c_str(), real.c_str(), nullptr, MS_BIND, nullptr) != 0) {
            failure = why = "cannot bind " + real + ": " + std::strerror(errno);
            return false;
        }
    }
    g_member.uid = uid;
    g_member.groups = {gid};
    return true;
}

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
           "    <allow send_destination=\"org.freedesktop.DBus\" "
           "send_interface=\"org.freedesktop.DBus\"/>\n"
           "    <allow send_destination=\"org.freedesktop.DBus\" "
           "send_interface=\"org.freedesktop.DBus.Introspectable\"/>\n"
           "  </policy>\n"
           "  <include>" TAV_POLICY_FILE "</include>\n";
}

int requestName(DBusConnection* c, const char* name)
{
    DBusError err;
    dbus_error_init(&err);
    int r = dbus_bus_request_name(c, name, DBUS_NAME_FLAG_DO_NOT_QUEUE, &err);
    dbus_error_free(&err);
    return r;
}

// A round trip to the bus: whatever the bus took from c before is dealt
// with, and whatever it queued for c before has been read into c.
void sync(DBusConnection* c)
{
    DBusError err;
    dbus_error_init(&err);
    dbus_bus_name_has_owner(c, DBUS_SERVICE_DBUS, &err);
    dbus_error_free(&err);
}

// Every message read into c so far (after a sync), as "ARG" for signals
// and calls, "reply:ARG" for method returns and "error:NAME" for errors.
std::set<std::string> drain(DBusConnection* c)
{
    std::set<std::string> got;
    dbus_connection_read_write(c, 0);
    while (DBusMessage* m = dbus_connection_pop_message(c)) {
        switch (dbus_message_get_type(m)) {
        case DBUS_MESSAGE_TYPE_METHOD_RETURN:
            got.insert("reply:" + rawpeer::StringArg(m));
            break;
        case DBUS_MESSAGE_TYPE_ERROR:
            got.insert("error:" + rawpeer::Str(dbus_message_get_error_name(m)));
            break;
        default:
            if (rawpeer::Str(dbus_message_get_sender(m)) != DBUS_SERVICE_DBUS)
                got.insert(rawpeer::StringArg(m));
        }
        dbus_message_unref(m);
    }
    return got;
}

// A signal (broadcast when destination is null) or a method call, carrying
// arg as its one string argument.
void send(DBusConnection* c, int type, const char* destination, const char* iface,
          const char* member, const char* arg)
{
    DBusMessage* m = type == DBUS_MESSAGE_TYPE_SIGNAL
                         ? dbus_message_new_signal(kPath, iface, member)
                         : dbus_message_new_method_call(destination, kPath, iface, member);
    if (destination)
        dbus_message_set_destination(m, destination);
    dbus_message_append_args(m, DBUS_TYPE_STRING, &arg, DBUS_TYPE_INVALID);
    dbus_connection_send(c, m, nullptr);
    dbus_connection_flush(c);
    dbus_message_unref(m);
}

// One line handed from one process to another.
class Baton {
public:
    Baton()
    {
        if (pipe(m_fd) != 0)
            m_fd[0] = m_fd[1] = -1;
    }
    ~Baton()
    {
        close(m_fd[0]);
        close(m_fd[1]);
    }
    Baton(const Baton&) = delete;
    Baton& operator=(const Baton&) = delete;

    void Pass(const std::string& line) const
    {
        const std::string text = line + "\n";
        EXPECT_EQ(write(m_fd[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    // The next line, or "<none>" when none comes within 20 s.
    std::string Take() const
    {
        std::string line;
        for (char c;;) {
            pollfd p = {m_fd[0], POLLIN, 0};
            if (poll(&p, 1, 20000) != 1 || read(m_fd[0], &c, 1) != 1)
                return "<none>";
            if (c == '\n')
                return line;
            line += c;
        }
    }

private:
    int m_fd[2];
};

// Two scenarios in two processes at once; both must pass.
void runSideBySide(const std::function<int()>& first, const std::function<int()>& second)
{
    int firstRc = -1;
    std::thread t([&] { firstRc = tavtest::RunInChild(first); });
    const int secondRc = tavtest::RunInChild(second);
    t.join();
    EXPECT_EQ(firstRc, 0) << "first scenario failed (output above)";
    EXPECT_EQ(secondRc, 0) << "second scenario failed (output above)";
}

struct Side {
    std::string daemon, app, appIface, daemonIface;
    explicit Side(const std::string& side)
        : daemon("tav." + side + ".daemon"), app("tav." + side + ".app"),
          appIface("tav." + side + "app.type"), daemonIface("tav." + side + "daemon.type")
    {}
};

class PolicyTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (getuid() != 0)
            GTEST_SKIP() << "needs root to switch to other users";
        m_haveGroup = makeTeacherGroup(m_why);
        // The bus socket must be reachable for the other users.
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

    bool m_haveGroup = false;
    std::string m_why;
    tavtest::PrivateBus m_bus;
};

} // namespace

TEST_F(PolicyTest, OnlyRootOwnsTheDaemonNames)
{
    if (!m_haveGroup)
        GTEST_SKIP() << m_why;
    // Who may own which name: daemons root alone, the teacher application
    // root and the group, the student application everybody.
    const struct {
        const Identity& who;
        bool daemons, teacherApp;
    } cases[] = {{kOther, false, false}, {g_member, false, true}, {kRoot, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.who.name);
        EXPECT_CHILD_PASSES([&] {
            if (!become(c.who))
                return 2;
            DBusConnection* conn = rawpeer::Connect();
            EXPECT_NE(conn, nullptr);
            if (!conn)
                return 1;
            const auto owns = [&](const char* name) {
                return requestName(conn, name) == DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER;
            };
            EXPECT_EQ(owns("tav.student.daemon"), c.daemons);
            EXPECT_EQ(owns("tav.teacher.daemon"), c.daemons);
            EXPECT_EQ(owns("tav.teacher.app"), c.teacherApp);
            EXPECT_TRUE(owns("tav.student.app"));
            rawpeer::Close(conn);
            return 0;
        });
    }
}

// Per side, an application (as the user who runs it: any user on the
// student side, a group member on the teacher side) and a connection of
// the same user that holds no application name, both listening to the
// daemon's interface as applications do. Another user (nobody) sends them
// every form of message.
class PolicySides : public PolicyTest, public testing::WithParamInterface<const char*> {};

TEST_P(PolicySides, NotificationsComeFromRootOnly)
{
    if (!m_haveGroup)
        GTEST_SKIP() << m_why;
    const bool student = std::string(GetParam()) == "student";
    const Side side(GetParam());
    const Identity& runsApp = student ? kOther : g_member;

    enum To { Everyone, AppName, AppUnique, BareUnique };
    enum Iface { DaemonIface, AppIface, MadeUp };
    // What stops each form: the bus; nothing, since no application listens
    // there; only the library's own filter (it takes nothing but signals on
    // its daemon's interface), as the rules are keyed to names and a bare
    // connection holds none; or nothing at all, as it is legitimate.
    enum Fate { BusRefuses, NoneListens, LibraryDrops, Delivered };
    struct Form {
        const char* id;
        int type;
        Iface iface;
        To to;
        const char* member;
        Fate onStudent, onTeacher;
    };
    const int signal = DBUS_MESSAGE_TYPE_SIGNAL, call = DBUS_MESSAGE_TYPE_METHOD_CALL;
    const Form forms[] = {
        {"fake-broadcast", signal, DaemonIface, Everyone, "LOCKSTATUSCHANGED", BusRefuses,
         BusRefuses},
        {"fake-to-name", signal, DaemonIface, AppName, "LOCKSTATUSCHANGED", BusRefuses, BusRefuses},
        {"fake-to-unique", signal, DaemonIface, AppUnique, "LOCKSTATUSCHANGED", BusRefuses,
         BusRefuses},
        {"fake-to-bare", signal, DaemonIface, BareUnique, "LOCKSTATUSCHANGED", BusRefuses,
         BusRefuses},
        // Every user of the student side may post; on the teacher side,
        // group members alone.
        {"post-broadcast", signal, DaemonIface, Everyone, "POSTMESSAGE", Delivered, BusRefuses},
        {"post-to-name", signal, DaemonIface, AppName, "POSTMESSAGE", Delivered, BusRefuses},
        {"post-to-unique", signal, DaemonIface, AppUnique, "POSTMESSAGE", Delivered, BusRefuses},
        {"request-broadcast", signal, AppIface, Everyone, "SEARCHPROGRAM", NoneListens,
         NoneListens},
        {"request-to-name", signal, AppIface, AppName, "SEARCHPROGRAM", BusRefuses, BusRefuses},
        {"request-to-unique", signal, AppIface, AppUnique, "SEARCHPROGRAM", BusRefuses, BusRefuses},
        {"request-to-bare", signal, AppIface, BareUnique, "SEARCHPROGRAM", BusRefuses, BusRefuses},
        {"evil-broadcast", signal, MadeUp, Everyone, "NOTIFYLOCKSTATUSCHANGED", NoneListens,
         NoneListens},
        {"evil-to-name", signal, MadeUp, AppName, "NOTIFYLOCKSTATUSCHANGED", BusRefuses,
         BusRefuses},
        {"evil-to-unique", signal, MadeUp, AppUnique, "NOTIFYLOCKSTATUSCHANGED", BusRefuses,
         BusRefuses},
        {"evil-to-bare", signal, MadeUp, BareUnique, "NOTIFYLOCKSTATUSCHANGED", LibraryDrops,
         LibraryDrops},
        {"call-to-name", call, DaemonIface, AppName, "LOCKSTATUSCHANGED", BusRefuses, BusRefuses},
        {"call-to-unique", call, AppIface, AppUnique, "SEARCHPROGRAM", BusRefuses, BusRefuses},
        {"evil-call-to-name", call, MadeUp, AppName, "NOTIFYLOCKSTATUSCHANGED", BusRefuses,
         BusRefuses},
        {"evil-call-to-bare", call, MadeUp, BareUnique, "NOTIFYLOCKSTATUSCHANGED", BusRefuses,
         BusRefuses},
    };

    Baton names, sent;
    runSideBySide(
        [&] {
            if (!become(runsApp))
                return 2;
            DBusConnection* app = rawpeer::Connect(side.app.c_str());
            DBusConnection* bare = rawpeer::Connect();
            EXPECT_TRUE(app && bare);
            if (!app || !bare)
                return 1;
            for (DBusConnection* c : {app, bare})
                EXPECT_TRUE(
                    rawpeer::AddMatch(c, "type='signal',interface='" + side.daemonIface + "'"));
            names.Pass(std::string(dbus_bus_get_unique_name(app)) + " " +
                       dbus_bus_get_unique_name(bare));
            EXPECT_EQ(sent.Take(), "sent");
            sync(app);
            sync(bare);
            const std::set<std::string> atApp = drain(app), atBare = drain(bare);
            for (const Form& f : forms) {
                const Fate fate = student ? f.onStudent : f.onTeacher;
                const bool passes = fate == LibraryDrops || fate == Delivered;
                EXPECT_EQ(atApp.count(f.id) == 1, passes && f.to != BareUnique) << f.id;
                EXPECT_EQ(atBare.count(f.id) == 1,
                          passes && (f.to == Everyone || f.to == BareUnique))
                    << f.id;
            }
            rawpeer::Close(app);
            rawpeer::Close(bare);
            return 0;
        },
        [&] {
            if (!become(kOther))
                return 2;
            std::istringstream unique(names.Take());
            std::string appUnique, bareUnique;
            unique >> appUnique >> bareUnique;
            DBusConnection* c = rawpeer::Connect();
            EXPECT_NE(c, nullptr);
            if (!c)
                return 1;
            for (const Form& f : forms) {
                const std::string iface = f.iface == DaemonIface ? side.daemonIface
                                          : f.iface == AppIface  ? side.appIface
                                                                 : "evil.iface";
                const char* to = f.to == AppName      ? side.app.c_str()
                                 : f.to == AppUnique  ? appUnique.c_str()
                                 : f.to == BareUnique ? bareUnique.c_str()
                                                      : nullptr;
                send(c, f.type, to, iface.c_str(), f.member, f.id);
            }
            sync(c);
            sent.Pass("sent");
            rawpeer::Close(c);
            return 0;
        });
}

INSTANTIATE_TEST_SUITE_P(BothSides, PolicySides, testing::Values("student", "teacher"));

// Per side and user: a caller sends a request as a broadcast signal, as a
// signal to the daemon and as a blocking call, and posts a message; the
// daemon (root) answers and notifies. A second connection of the caller's
// user listens to the requests of the side.
struct Caller {
    const char* side;
    const Identity* who;
    bool served;
};

void PrintTo(const Caller& c, std::ostream* os) { *os << c.side << " side, " << c.who->name; }

class PolicyCallers : public PolicyTest, public testing::WithParamInterface<Caller> {};

TEST_P(PolicyCallers, DaemonsServeTheirSideOnly)
{
    if (!m_haveGroup)
        GTEST_SKIP() << m_why;
    const Caller& caller = GetParam();
    const Side side(caller.side);
    const std::set<std::string> requests = {"signal-request", "addressed-request", "call-request"};

    Baton toCaller, toDaemon;
    runSideBySide(
        [&] {
            DBusConnection* daemon = rawpeer::Connect(side.daemon.c_str());
            EXPECT_NE(daemon, nullptr);
            if (!daemon)
                return 1;
            EXPECT_TRUE(
                rawpeer::AddMatch(daemon, "type='signal',interface='" + side.appIface + "'"));
            toCaller.Pass("listening");
            EXPECT_EQ(toDaemon.Take(), "sent");
            sync(daemon);
            std::set<std::string> got;
            dbus_connection_read_write(daemon, 0);
            while (DBusMessage* m = dbus_connection_pop_message(daemon)) {
                if (rawpeer::IsCall(m))
                    rawpeer::Reply(daemon, m, "daemon-reply");
                if (rawpeer::Str(dbus_message_get_sender(m)) != DBUS_SERVICE_DBUS)
                    got.insert(rawpeer::StringArg(m));
                dbus_message_unref(m);
            }
            EXPECT_EQ(got, caller.served ? requests : std::set<std::string>{});
            rawpeer::Signal(daemon, side.daemonIface.c_str(), "LOCKSTATUSCHANGED", "notification");
            sync(daemon);
            toCaller.Pass("answered");
            rawpeer::Close(daemon);
            return 0;
        },
        [&] {
            if (!become(*caller.who))
                return 2;
            DBusConnection* c = rawpeer::Connect();
            DBusConnection* snoop = rawpeer::Connect();
            EXPECT_TRUE(c && snoop);
            if (!c || !snoop)
                return 1;
            requestName(c, side.app.c_str()); // as the application does; refused to some
            EXPECT_TRUE(rawpeer::AddMatch(c, "type='signal',interface='" + side.daemonIface + "'"));
            EXPECT_TRUE(
                rawpeer::AddMatch(snoop, "type='signal',interface='" + side.appIface + "'"));
            EXPECT_EQ(toCaller.Take(), "listening");
            send(c, DBUS_MESSAGE_TYPE_SIGNAL, nullptr, side.appIface.c_str(), "SEARCHPROGRAM",
                 "signal-request");
            send(c, DBUS_MESSAGE_TYPE_SIGNAL, side.daemon.c_str(), side.appIface.c_str(),
                 "SEARCHPROGRAM", "addressed-request");
            send(c, DBUS_MESSAGE_TYPE_METHOD_CALL, side.daemon.c_str(), side.appIface.c_str(),
                 "GETSTUDENTLIST", "call-request");
            send(c, DBUS_MESSAGE_TYPE_SIGNAL, nullptr, side.daemonIface.c_str(), "POSTMESSAGE",
                 "post");
            sync(c);
            toDaemon.Pass("sent");
            EXPECT_EQ(toCaller.Take(), "answered");
            sync(c);
            sync(snoop);
            const std::set<std::string> got = drain(c);
            // Served: the answer, the notification and the post, all of them.
            const std::set<std::string> expected =
                caller.served ? std::set<std::string>{"reply:daemon-reply", "notification", "post"}
                              : std::set<std::string>{"error:" DBUS_ERROR_ACCESS_DENIED};
            EXPECT_EQ(got, expected);
            // Requests are for root's eyes alone.
            if (caller.who->uid != 0) {
                EXPECT_EQ(drain(snoop), std::set<std::string>{});
            }
            rawpeer::Close(c);
            rawpeer::Close(snoop);
            return 0;
        });
}

INSTANTIATE_TEST_SUITE_P(SidesAndUsers, PolicyCallers,
                         testing::Values(Caller{"student", &kOther, true},
                                         Caller{"student", &kRoot, true},
                                         Caller{"teacher", &kOther, false},
                                         Caller{"teacher", &g_member, true},
                                         Caller{"teacher", &kRoot, true}),
                         [](const testing::TestParamInfo<Caller>& info) {
                             return std::string(info.param.side) + "_" + info.param.who->name;
                         });

// Every user may ask either daemon what it serves and whether it runs,
// also the teacher daemon that serves no request of theirs.
TEST_P(PolicyCallers, EveryoneMayIntrospectAndPingTheDaemons)
{
    if (!m_haveGroup)
        GTEST_SKIP() << m_why;
    const Side side(GetParam().side);
    const Identity& who = *GetParam().who;
    Baton toCaller, toDaemon;
    runSideBySide(
        [&] {
            DBusConnection* daemon = rawpeer::Connect(side.daemon.c_str());
            EXPECT_NE(daemon, nullptr);
            if (!daemon)
                return 1;
            toCaller.Pass("ready");
            EXPECT_EQ(toDaemon.Take(), "sent");
            sync(daemon);
            std::set<std::string> got;
            dbus_connection_read_write(daemon, 0);
            while (DBusMessage* m = dbus_connection_pop_message(daemon)) {
                if (rawpeer::IsCall(m)) {
                    got.insert(rawpeer::Str(dbus_message_get_member(m)));
                    rawpeer::Reply(daemon, m, dbus_message_get_member(m));
                }
                dbus_message_unref(m);
            }
            EXPECT_EQ(got, (std::set<std::string>{"Introspect", "Ping"}));
            sync(daemon);
            toCaller.Pass("answered");
            rawpeer::Close(daemon);
            return 0;
        },
        [&] {
            if (!become(who))
                return 2;
            DBusConnection* c = rawpeer::Connect();
            EXPECT_NE(c, nullptr);
            if (!c)
                return 1;
            EXPECT_EQ(toCaller.Take(), "ready");
            send(c, DBUS_MESSAGE_TYPE_METHOD_CALL, side.daemon.c_str(),
                 DBUS_INTERFACE_INTROSPECTABLE, "Introspect", "");
            send(c, DBUS_MESSAGE_TYPE_METHOD_CALL, side.daemon.c_str(), DBUS_INTERFACE_PEER, "Ping",
                 "");
            sync(c);
            toDaemon.Pass("sent");
            EXPECT_EQ(toCaller.Take(), "answered");
            sync(c);
            EXPECT_EQ(drain(c), (std::set<std::string>{"reply:Introspect", "reply:Ping"}));
            rawpeer::Close(c);
            return 0;
        });
}
