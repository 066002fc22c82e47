// The daemon APIs against a real private bus, with a raw libdbus peer
// playing the application. Every scenario runs in a forked child: one
// controller per process, and the parent never holds the bus connection.
#include "IPCStudentDaemonAPI.h"
#include "IPCTeacherDaemonAPI.h"
#include "InputLimits.h"
#include "RawPeer.h"
#include "TAVCatalogue.h"
#include "TAVLog.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <thread>
#include <vector>

using namespace IPCAPI;

namespace {

struct StudentSide {
    using Api = IPCStudentDaemonAPI;
    static constexpr const char* kBus = "tav.student.daemon";
    static constexpr const char* kAppIface = "tav.studentapp.type";
    static constexpr const char* kDaemonIface = "tav.studentdaemon.type";
    static constexpr const char* kOtherAppIface = "tav.teacherapp.type";
    static constexpr const char* kClass = "IPCStudentDaemonAPI";
    static constexpr const char* kNoArguments =
        "IPCStudentDaemonAPI::ReplyMsg --Message has no arguments!";
    static constexpr Catalogue::Side kSide = Catalogue::Side::Student;
};

struct TeacherSide {
    using Api = IPCTeacherDaemonAPI;
    static constexpr const char* kBus = "tav.teacher.daemon";
    static constexpr const char* kAppIface = "tav.teacherapp.type";
    static constexpr const char* kDaemonIface = "tav.teacherdaemon.type";
    static constexpr const char* kOtherAppIface = "tav.studentapp.type";
    static constexpr const char* kClass = "IPCTeacherDaemonAPI";
    static constexpr const char* kNoArguments =
        "IPCTeacherDaemonAPI::ReplyMsg --Message has no arguments";
    static constexpr Catalogue::Side kSide = Catalogue::Side::Teacher;
};

std::string logText(const std::string& name)
{
    return tavtest::ReadFile(tavtest::Home() + "/TAVLog/" + name + ".log");
}

bool logHas(const std::string& name, const std::string& level, const std::string& text)
{
    return logText(name).find(level + ":   " + text + "\n") != std::string::npos;
}

std::string envelope(const std::string& message, int opid, const std::string& student,
                     const std::function<void(CParaXml&)>& fill = nullptr)
{
    CIntfData data(message, opid, student);
    if (fill)
        fill(data.m_ParaXml);
    std::string text;
    data.toString(text);
    return text;
}

// A method call from the peer that nobody on the peer side waits for; the
// answer is picked up with returnFor(serial).
dbus_uint32_t call(DBusConnection* peer, const char* dest, const char* iface, const char* member,
                   const char* arg)
{
    DBusMessage* m = dbus_message_new_method_call(dest, "/orvelix/message/object", iface, member);
    if (arg)
        dbus_message_append_args(m, DBUS_TYPE_STRING, &arg, DBUS_TYPE_INVALID);
    dbus_uint32_t serial = 0;
    dbus_connection_send(peer, m, &serial);
    dbus_connection_flush(peer);
    dbus_message_unref(m);
    return serial;
}

std::function<bool(DBusMessage*)> returnFor(dbus_uint32_t serial)
{
    return [serial](DBusMessage* m) {
        return dbus_message_get_type(m) == DBUS_MESSAGE_TYPE_METHOD_RETURN &&
               dbus_message_get_reply_serial(m) == serial;
    };
}

// The answers (returns and errors) to the given serials, by serial: "error
// NAME" or "return TEXT" (TEXT: the string argument, if any).
std::map<dbus_uint32_t, std::string> answers(DBusConnection* peer,
                                             const std::vector<dbus_uint32_t>& serials)
{
    std::map<dbus_uint32_t, std::string> got;
    while (got.size() < serials.size()) {
        DBusMessage* m = rawpeer::Next(peer, [&](DBusMessage* a) {
            const int type = dbus_message_get_type(a);
            return (type == DBUS_MESSAGE_TYPE_METHOD_RETURN || type == DBUS_MESSAGE_TYPE_ERROR) &&
                   std::find(serials.begin(), serials.end(), dbus_message_get_reply_serial(a)) !=
                       serials.end();
        });
        if (!m)
            break;
        got[dbus_message_get_reply_serial(m)] =
            dbus_message_get_type(m) == DBUS_MESSAGE_TYPE_ERROR
                ? "error " + rawpeer::Str(dbus_message_get_error_name(m))
                : "return " + rawpeer::StringArg(m);
        dbus_message_unref(m);
    }
    return got;
}

template <class Api>
bool receive(Api& api, std::string& message, std::string& payload)
{
    int opid = -7;
    const bool got = tavtest::WaitFor([&] { return api.ReceiveMsg(opid, message, payload) == 0; });
    EXPECT_EQ(opid, -7); // never written
    return got;
}

template <class Side>
class DaemonApiTest : public ::testing::Test {};

using Sides = ::testing::Types<StudentSide, TeacherSide>;
TYPED_TEST_SUITE(DaemonApiTest, Sides);

} // namespace

// A blocking request answered once, then twice; a signal request; the
// envelope form; notifications on the wire.
TYPED_TEST(DaemonApiTest, RequestsRepliesAndNotifications)
{
    using Side = TypeParam;
    EXPECT_CHILD_PASSES([] {
        LibTAVData::CTAVLog::SetLogFileName("flow");
        DBusConnection* peer = rawpeer::Connect();
        EXPECT_TRUE(rawpeer::AddMatch(peer, std::string("type='signal',interface='") +
                                                Side::kDaemonIface + "'"));
        auto* api = new typename Side::Api;
        EXPECT_TRUE(dbus_bus_name_has_owner(peer, Side::kBus, nullptr));
        std::string message, payload;

        // A real blocking caller gets the reply envelope.
        const std::string request = envelope("GETCONNECTEDTEACHER", 42, "null", [](CParaXml& p) {
            p.setString("UserName", "alice");
            p.setString("Password", "s3cret");
        });
        std::string answered;
        std::thread caller([&] {
            DBusConnection* c = rawpeer::Connect();
            DBusMessage* m = dbus_message_new_method_call(Side::kBus, "/orvelix/message/object",
                                                          Side::kAppIface, "GETCONNECTEDTEACHER");
            const char* arg = request.c_str();
            dbus_message_append_args(m, DBUS_TYPE_STRING, &arg, DBUS_TYPE_INVALID);
            DBusMessage* r = dbus_connection_send_with_reply_and_block(c, m, 10000, nullptr);
            if (r) {
                answered = rawpeer::StringArg(r);
                dbus_message_unref(r);
            }
            dbus_message_unref(m);
            rawpeer::Close(c);
        });
        EXPECT_TRUE(receive(*api, message, payload));
        EXPECT_EQ(message, "GETCONNECTEDTEACHER");
        EXPECT_EQ(payload, request);
        EXPECT_TRUE(api->IsBlock());
        CIntfData answer("GETCONNECTEDTEACHER", 42, "null");
        answer.SetResult(5);
        answer.m_ParaXml.setString("strTeacherID", "T1");
        EXPECT_EQ(api->ReplyMsg(&answer), 0);
        caller.join();
        EXPECT_EQ(answered, envelope("GETCONNECTEDTEACHER", 42, "null", [](CParaXml& p) {
                                p.setString("strTeacherID", "T1");
                            }).replace(138, 1, "5"));

        // Answered twice: two method returns for the one call, both on the wire.
        const dbus_uint32_t serial = call(peer, Side::kBus, Side::kAppIface, "ASK", "q");
        EXPECT_TRUE(receive(*api, message, payload));
        EXPECT_EQ(api->ReplyMsg(std::string("first")), 0);
        EXPECT_EQ(api->ReplyMsg(std::string("second")), 0);
        for (const char* expected : {"first", "second"}) {
            DBusMessage* r = rawpeer::Next(peer, returnFor(serial));
            EXPECT_NE(r, nullptr);
            if (r) {
                EXPECT_EQ(rawpeer::StringArg(r), expected);
                EXPECT_EQ(rawpeer::Str(dbus_message_get_signature(r)), "s");
                EXPECT_EQ(rawpeer::Str(dbus_message_get_destination(r)),
                          rawpeer::Str(dbus_bus_get_unique_name(peer)));
                dbus_message_unref(r);
            }
        }

        // Nothing more waiting: 1, the request is gone, and IsBlock still
        // reports the type of the last request taken.
        EXPECT_EQ(api->ReceiveMsg(answer), 1);
        EXPECT_TRUE(api->IsBlock());
        EXPECT_EQ(api->ReplyMsg(std::string("late")), 1);
        EXPECT_TRUE(logHas("flow", "ERROR",
                           std::string(Side::kClass) + "::ReplyMsg --Request Msg is NULL"));

        // A signal request, read as an envelope. A method call on another
        // interface sent before it is dropped; the other side's requests do
        // not match the daemon's rule.
        call(peer, Side::kBus, "tav.other.type", "STRAY", "x");
        rawpeer::Signal(peer, Side::kOtherAppIface, "OTHERSIDE",
                        envelope("OTHERSIDE", 1, "null").c_str());
        const std::string search =
            envelope("SEARCHTEACHER", 9, "null", [](CParaXml& p) { p.setInt("N", 3); });
        rawpeer::Signal(peer, Side::kAppIface, "SEARCHTEACHER", search.c_str());
        CIntfData got;
        EXPECT_TRUE(tavtest::WaitFor([&] { return api->ReceiveMsg(got) == 0; }));
        std::string name, student;
        int opid = 0, n = 0;
        got.GetMessage(name);
        got.GetOperationID(opid);
        got.GetStudentID(student);
        EXPECT_EQ(name + " " + std::to_string(opid) + " " + student, "SEARCHTEACHER 9 null");
        EXPECT_TRUE(got.m_ParaXml.getInt("N", n));
        EXPECT_EQ(n, 3);
        EXPECT_FALSE(api->IsBlock());
        // Answering a signal sends a return nobody waits for; harmless.
        EXPECT_EQ(api->ReplyMsg(std::string("unasked")), 0);

        // Notifications: the daemon's interface, the message as member.
        int unused = 0;
        EXPECT_EQ(api->SendMsg(unused, "NOTIFYLOCKSTATUSCHANGED", "raw text"), 0);
        CIntfData note("TEACHER_KICKOFFSTUDENTCALLBACK", 9, "S1");
        note.m_ParaXml.setInt("iReturn", 0);
        EXPECT_EQ(api->SendMsg(&note), 0);
        for (const std::string& expected :
             {std::string("NOTIFYLOCKSTATUSCHANGED|raw text"),
              "TEACHER_KICKOFFSTUDENTCALLBACK|" +
                  envelope("TEACHER_KICKOFFSTUDENTCALLBACK", 9, "S1",
                           [](CParaXml& p) { p.setInt("iReturn", 0); })}) {
            DBusMessage* s = rawpeer::Next(
                peer, [](DBusMessage* m) { return rawpeer::IsSignalOn(m, Side::kDaemonIface); });
            EXPECT_NE(s, nullptr);
            if (!s)
                continue;
            EXPECT_EQ(rawpeer::Str(dbus_message_get_member(s)) + "|" + rawpeer::StringArg(s),
                      expected);
            EXPECT_EQ(rawpeer::Str(dbus_message_get_path(s)), "/orvelix/message/object");
            dbus_message_unref(s);
        }

        // Secrets of the received and the answered envelopes stay out of the log.
        EXPECT_EQ(logText("flow").find("s3cret"), std::string::npos);
        EXPECT_NE(logText("flow").find(std::string(Side::kClass) +
                                       "::ReceiveMsg [string] --ReceiveMsg :"),
                  std::string::npos);

        delete api;
        EXPECT_FALSE(dbus_bus_name_has_owner(peer, Side::kBus, nullptr));
        rawpeer::Close(peer);
        return 0;
    });
}

// Malformed requests and arguments: a clear result and a log line, never a
// crash, and nothing reaches the host.
TYPED_TEST(DaemonApiTest, MalformedInputNeverReachesTheHost)
{
    using Side = TypeParam;
    EXPECT_CHILD_PASSES([] {
        LibTAVData::CTAVLog::SetLogFileName("malformed");
        typename Side::Api api;
        DBusConnection* peer = rawpeer::Connect();
        std::string message, payload;
        int opid = 0;
        // The bus's own NameAcquired signal is waiting: dropped.
        EXPECT_EQ(api.ReceiveMsg(opid, message, payload), 1);

        // No argument, an integer argument, a blocking call without argument.
        rawpeer::Signal(peer, Side::kAppIface, "NOARG", nullptr);
        DBusMessage* s =
            dbus_message_new_signal("/orvelix/message/object", Side::kAppIface, "INTARG");
        dbus_int32_t v = 5;
        dbus_message_append_args(s, DBUS_TYPE_INT32, &v, DBUS_TYPE_INVALID);
        dbus_connection_send(peer, s, nullptr);
        dbus_message_unref(s);
        call(peer, Side::kBus, Side::kAppIface, "CALLNOARG", nullptr);
        // A payload that is no envelope still reaches the string form.
        rawpeer::Signal(peer, Side::kAppIface, "SHORT", "too short");
        rawpeer::Signal(peer, Side::kAppIface, "LAST", "fine");

        std::vector<std::string> returned;
        CIntfData data;
        tavtest::WaitFor([&] {
            if (api.ReceiveMsg(opid, message, payload) == 0)
                returned.push_back(message);
            else
                EXPECT_EQ(api.ReplyMsg(std::string("x")), 1); // nothing held to answer
            return message == "LAST";
        });
        EXPECT_EQ(returned, (std::vector<std::string>{"SHORT", "LAST"}));
        const std::string cls = Side::kClass;
        EXPECT_TRUE(logHas("malformed", "ERROR",
                           cls + "::ReceiveMsg [string] --dbus_message_iter_init() Failure"));
        EXPECT_TRUE(
            logHas("malformed", "ERROR",
                   cls + "::ReceiveMsg [string] --dbus_message_iter_get_arg_type is not string"));

        // The envelope form refuses what is no envelope.
        rawpeer::Signal(peer, Side::kAppIface, "SHORT", "too short");
        EXPECT_TRUE(tavtest::WaitFor([&] {
            return api.ReceiveMsg(data) == 1 &&
                   logHas("malformed", "ERROR",
                          cls + "::ReceiveMsg [CIntfData] --Load Data Failure");
        }));

        // What the bus library would end the process on is refused.
        call(peer, Side::kBus, Side::kAppIface, "ASK", "q");
        EXPECT_TRUE(receive(api, message, payload));
        EXPECT_EQ(api.ReplyMsg(std::string("\xff\xfe")), 1);
        EXPECT_EQ(api.ReplyMsg(std::string("a\0b", 3)), 1);
        EXPECT_EQ(api.ReplyMsg(nullptr), 1);
        EXPECT_EQ(api.SendMsg(nullptr), 1);
        EXPECT_EQ(api.SendMsg(opid, "BAD NAME", "x"), 1);
        EXPECT_EQ(api.SendMsg(opid, "OK", "\xc3"), 1);
        // Fields too wide for the header do not print: nothing goes out.
        CIntfData wide(std::string(65, 'M'), 1, "null");
        EXPECT_EQ(api.SendMsg(&wide), 1);
        CIntfData wideStudent("OK", 1, std::string(65, 's'));
        EXPECT_EQ(api.ReplyMsg(&wideStudent), 1);
        EXPECT_TRUE(logHas("malformed", "ERROR",
                           cls + "::ReplyMsg() [CIntfData] --InfoData->toString(inArgs) Failure"));
        // Still answering.
        EXPECT_EQ(api.ReplyMsg(std::string("ok")), 0);
        rawpeer::Close(peer);
        return 0;
    });
}

namespace {
// Reaches the request slot to answer a request that has no argument.
template <class Api>
struct Probe : Api {
    void Hold(DBusMessage* m) { this->m_pRequest = m; }
};
} // namespace

// Two daemon objects in one process share the controller: one object's
// poll must not invalidate the other's request, and counts stay right.
TYPED_TEST(DaemonApiTest, ObjectsSharingTheController)
{
    using Side = TypeParam;
    EXPECT_CHILD_PASSES([] {
        LibTAVData::CTAVLog::SetLogFileName("shared");
        DBusConnection* peer = rawpeer::Connect();
        auto* a = new typename Side::Api;
        auto* b = new Probe<typename Side::Api>;
        std::string message, payload;
        int opid = 0;

        // b's poll makes the controller drop the message a took; a still
        // answers its own request.
        const dbus_uint32_t first = call(peer, Side::kBus, Side::kAppIface, "ASK", "1");
        EXPECT_TRUE(receive(*a, message, payload));
        // Enough traffic through b that freed messages get reused.
        for (int i = 0; i < 12; ++i)
            rawpeer::Signal(peer, Side::kAppIface, "CHURN", "x");
        const dbus_uint32_t second = call(peer, Side::kBus, Side::kAppIface, "ASK", "2");
        EXPECT_TRUE(tavtest::WaitFor(
            [&] { return b->ReceiveMsg(opid, message, payload) == 0 && payload == "2"; }));
        EXPECT_EQ(a->ReplyMsg(std::string("to 1")), 0);
        EXPECT_EQ(b->ReplyMsg(std::string("to 2")), 0);
        for (auto expected : {std::make_pair(first, "to 1"), std::make_pair(second, "to 2")}) {
            DBusMessage* r = rawpeer::Next(peer, returnFor(expected.first));
            EXPECT_NE(r, nullptr);
            if (r) {
                EXPECT_EQ(rawpeer::StringArg(r), expected.second);
                dbus_message_unref(r);
            }
        }

        // A request without arguments is answered, with a warning.
        DBusMessage* bare = dbus_message_new_method_call(Side::kBus, "/orvelix/message/object",
                                                         Side::kAppIface, "X");
        dbus_message_set_serial(bare, 77);
        b->Hold(bare);
        EXPECT_EQ(b->ReplyMsg(std::string("r")), 0);
        EXPECT_TRUE(logHas("shared", "WARNING", Side::kNoArguments));

        // UnInitialize twice takes one count only; Initialize twice adds one.
        EXPECT_EQ(a->Initialize(), 0);
        EXPECT_EQ(a->UnInitialize(), 0);
        EXPECT_EQ(a->UnInitialize(), 0);
        EXPECT_TRUE(dbus_bus_name_has_owner(peer, Side::kBus, nullptr));
        delete a;
        EXPECT_TRUE(dbus_bus_name_has_owner(peer, Side::kBus, nullptr));
        delete b;
        EXPECT_FALSE(dbus_bus_name_has_owner(peer, Side::kBus, nullptr));
        rawpeer::Close(peer);
        return 0;
    });
}

// Requests on the daemon's interface without a usable envelope (none, not
// text, over the size limit) are logged and skipped within one ReceiveMsg:
// the request behind them comes out of the same call.
TYPED_TEST(DaemonApiTest, UnusableRequestsAreSkippedInOneCall)
{
    using Side = TypeParam;
    EXPECT_CHILD_PASSES([] {
        LibTAVData::CTAVLog::SetLogFileName("skipped");
        typename Side::Api api;
        DBusConnection* peer = rawpeer::Connect();
        std::string message, payload;
        int opid = 0;
        for (int i = 0; i < 50; ++i)
            rawpeer::Signal(peer, Side::kAppIface, "NOARG", nullptr);
        call(peer, Side::kBus, Side::kAppIface, "CALLNOARG", nullptr);
        const std::string big(tav_common::kMaxDocumentBytes + 1, 'x');
        rawpeer::Signal(peer, Side::kAppIface, "BIG", big.c_str());
        rawpeer::Signal(peer, Side::kAppIface, "GOOD", "fine");
        rawpeer::Settle(peer);
        EXPECT_EQ(api.ReceiveMsg(opid, message, payload), 0);
        EXPECT_EQ(message + "|" + payload, "GOOD|fine");
        EXPECT_EQ(api.ReceiveMsg(opid, message, payload), 1);
        EXPECT_TRUE(logHas("skipped", "ERROR",
                           std::string(Side::kClass) +
                               "::ReceiveMsg [string] --Refused BIG: envelope of " +
                               std::to_string(big.size()) + " bytes, over the limit of " +
                               std::to_string(tav_common::kMaxDocumentBytes) + " bytes"));
        EXPECT_EQ(logText("skipped").find(std::string(1000, 'x')), std::string::npos);
        rawpeer::Close(peer);
        return 0;
    });
}

// The user and process ids of a request's sender come from the bus: those
// of the peer process, kept for the request after the peer has left.
TYPED_TEST(DaemonApiTest, TheSenderOfARequestIsKnown)
{
    using Side = TypeParam;
    EXPECT_CHILD_PASSES([] {
        typename Side::Api api;
        unsigned long uid = 7, pid = 7;
        EXPECT_EQ(api.GetRequestSender(uid, pid), 1);
        EXPECT_EQ(uid + pid, 14u);
        const pid_t asker = fork();
        if (asker == 0) {
            DBusConnection* c = rawpeer::Connect();
            DBusMessage* m = dbus_message_new_method_call(Side::kBus, "/orvelix/message/object",
                                                          Side::kAppIface, "WHO");
            const char* arg = "me";
            dbus_message_append_args(m, DBUS_TYPE_STRING, &arg, DBUS_TYPE_INVALID);
            DBusMessage* r = dbus_connection_send_with_reply_and_block(c, m, 10000, nullptr);
            _exit(r ? 0 : 1);
        }
        std::string message, payload;
        EXPECT_TRUE(receive(api, message, payload));
        EXPECT_EQ(api.GetRequestSender(uid, pid), 0);
        EXPECT_EQ(uid, static_cast<unsigned long>(getuid()));
        EXPECT_EQ(pid, static_cast<unsigned long>(asker));
        EXPECT_EQ(api.ReplyMsg(std::string("you")), 0);
        int status = -1;
        EXPECT_EQ(waitpid(asker, &status, 0), asker);
        EXPECT_EQ(status, 0);
        uid = pid = 0;
        EXPECT_EQ(api.GetRequestSender(uid, pid), 0);
        EXPECT_EQ(pid, static_cast<unsigned long>(asker));

        // Nothing held after a ReceiveMsg that found nothing.
        int opid = 0;
        EXPECT_EQ(api.ReceiveMsg(opid, message, payload), 1);
        EXPECT_EQ(api.GetRequestSender(uid, pid), 1);
        return 0;
    });
}

// A bus restart under a live daemon: it owns its name again and takes the
// requests sent afterwards, with the same API object.
TYPED_TEST(DaemonApiTest, ServesAgainAfterABusRestart)
{
    using Side = TypeParam;
    EXPECT_CHILD_PASSES([] {
        tavtest::PrivateBus bus;
        if (!bus.Start())
            return 2;
        bus.Export();
        typename Side::Api api;
        EXPECT_TRUE(bus.Restart());
        DBusConnection* peer = rawpeer::Connect();
        std::string message, payload;
        int opid = 0;
        EXPECT_TRUE(tavtest::WaitFor([&] {
            api.ReceiveMsg(opid, message, payload);
            return dbus_bus_name_has_owner(peer, Side::kBus, nullptr);
        }));
        rawpeer::Signal(peer, Side::kAppIface, "AFTER", "x");
        EXPECT_TRUE(receive(api, message, payload));
        EXPECT_EQ(message, "AFTER");
        rawpeer::Close(peer);
        return 0;
    });
}

TYPED_TEST(DaemonApiTest, NoBusFailsCleanly)
{
    using Side = TypeParam;
    EXPECT_CHILD_PASSES([] {
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
        typename Side::Api api;
        std::string message, payload;
        int opid = 0;
        CIntfData data("X", 1, "null");
        EXPECT_EQ(api.ReceiveMsg(opid, message, payload), 1);
        EXPECT_EQ(api.ReceiveMsg(data), 1);
        EXPECT_FALSE(api.IsBlock());
        EXPECT_EQ(api.ReplyMsg(&data), 1);
        EXPECT_EQ(api.SendMsg(&data), 1);
        EXPECT_EQ(api.SendMsg(opid, "X", "y"), 1);
        EXPECT_EQ(api.GetWaitFD(), -1);
        EXPECT_EQ(api.WaitForMsg(10), 1);
        return 0;
    });
}

// The bus's own calls and calls the host could not serve are answered
// inside ReceiveMsg, at once; only the valid request reaches the host.
TYPED_TEST(DaemonApiTest, BusConventionsAreAnsweredAtOnce)
{
    using Side = TypeParam;
    EXPECT_CHILD_PASSES([] {
        LibTAVData::CTAVLog::SetLogFileName("conventions");
        typename Side::Api api;
        DBusConnection* peer = rawpeer::Connect();
        const dbus_uint32_t introspect =
            call(peer, Side::kBus, DBUS_INTERFACE_INTROSPECTABLE, "Introspect", nullptr);
        const dbus_uint32_t ping = call(peer, Side::kBus, DBUS_INTERFACE_PEER, "Ping", nullptr);
        const dbus_uint32_t machine =
            call(peer, Side::kBus, DBUS_INTERFACE_PEER, "GetMachineId", nullptr);
        const dbus_uint32_t otherIface = call(peer, Side::kBus, "tav.other.type", "STRAY", "x");
        const dbus_uint32_t peerOther =
            call(peer, Side::kBus, DBUS_INTERFACE_PEER, "Dance", nullptr);
        const dbus_uint32_t noArg = call(peer, Side::kBus, Side::kAppIface, "CALLNOARG", nullptr);
        DBusMessage* m =
            dbus_message_new_method_call(Side::kBus, kObjectPath, Side::kAppIface, "INTARG");
        dbus_int32_t v = 1;
        dbus_message_append_args(m, DBUS_TYPE_INT32, &v, DBUS_TYPE_INVALID);
        dbus_uint32_t intArg = 0;
        dbus_connection_send(peer, m, &intArg);
        dbus_message_unref(m);
        const std::string big(tav_common::kMaxDocumentBytes + 1, 'x');
        const dbus_uint32_t oversized = call(peer, Side::kBus, Side::kAppIface, "BIG", big.c_str());
        m = dbus_message_new_method_call(Side::kBus, "/", DBUS_INTERFACE_INTROSPECTABLE,
                                         "Introspect");
        dbus_uint32_t root = 0;
        dbus_connection_send(peer, m, &root);
        dbus_message_unref(m);
        call(peer, Side::kBus, Side::kAppIface, "VALID", envelope("VALID", 3, "null").c_str());

        std::string message, payload;
        EXPECT_TRUE(receive(api, message, payload));
        EXPECT_EQ(message, "VALID");
        std::map<dbus_uint32_t, std::string> got =
            answers(peer, {introspect, ping, machine, otherIface, peerOther, noArg, intArg,
                           oversized, root});
        EXPECT_EQ(got[ping].rfind("return", 0), 0u) << got[ping];
        EXPECT_EQ(got[machine].size(), std::string("return ").size() + 32) << got[machine];
        EXPECT_EQ(got[otherIface], "error " DBUS_ERROR_UNKNOWN_METHOD);
        EXPECT_EQ(got[peerOther], "error " DBUS_ERROR_UNKNOWN_METHOD);
        EXPECT_EQ(got[noArg], "error " DBUS_ERROR_INVALID_ARGS);
        EXPECT_EQ(got[intArg], "error " DBUS_ERROR_INVALID_ARGS);
        EXPECT_EQ(got[oversized], "error " DBUS_ERROR_INVALID_ARGS);
        // A tree walk from the root finds the object.
        EXPECT_NE(got[root].find("<node name=\"orvelix\"/>"), std::string::npos) << got[root];
        // The object lists every message of its side, on its interface.
        const std::string& xml = got[introspect];
        EXPECT_NE(xml.find("<interface name=\"" DBUS_INTERFACE_PEER "\">"), std::string::npos);
        int listed = 0;
        for (const Catalogue::Message& entry : Catalogue::Messages()) {
            if (entry.side != Side::kSide)
                continue;
            const std::string element = entry.kind == Catalogue::Kind::Call ? "method" : "signal";
            const std::string iface =
                "<interface name=\"" + std::string(Catalogue::Interface(entry.side, entry.kind));
            const std::size_t at = xml.find("<" + element + " name=\"" + entry.name + "\">");
            EXPECT_NE(at, std::string::npos) << entry.name;
            EXPECT_LT(xml.rfind(iface, at), at) << entry.name;
            ++listed;
        }
        EXPECT_GT(listed, 15);
        // Each refusal has its log line.
        const std::string log = logText("conventions");
        EXPECT_NE(log.find(std::string(Side::kClass) + "::ReceiveMsg --Answered a call from"),
                  std::string::npos);
        EXPECT_NE(log.find("with " DBUS_ERROR_INVALID_ARGS ": INTARG takes one string argument"),
                  std::string::npos);
        EXPECT_NE(log.find("with " DBUS_ERROR_UNKNOWN_METHOD
                           ": No method STRAY on interface tav.other.type"),
                  std::string::npos);
        rawpeer::Close(peer);
        return 0;
    });
}

// A host waits for requests instead of polling: WaitForMsg blocks until one
// arrives, and the descriptor wakes poll() also for requests the library
// has read already but the host has not taken.
TYPED_TEST(DaemonApiTest, WaitingInsteadOfPolling)
{
    using Side = TypeParam;
    EXPECT_CHILD_PASSES([] {
        typename Side::Api api;
        DBusConnection* peer = rawpeer::Connect();
        std::string message, payload;
        int opid = 0;
        while (api.ReceiveMsg(opid, message, payload) == 0) {
        }
        auto readable = [&api] {
            pollfd p{api.GetWaitFD(), POLLIN, 0};
            return p.fd >= 0 && poll(&p, 1, 0) == 1;
        };
        EXPECT_FALSE(readable());
        EXPECT_EQ(api.WaitForMsg(20), 1);

        std::thread sender([peer] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            rawpeer::Signal(peer, Side::kAppIface, "FIRST", "1");
            rawpeer::Signal(peer, Side::kAppIface, "SECOND", "2");
        });
        EXPECT_EQ(api.WaitForMsg(-1), 0);
        sender.join();
        rawpeer::Settle(peer);
        EXPECT_TRUE(receive(api, message, payload));
        EXPECT_EQ(message, "FIRST");
        // A notification sent now reads the socket too: SECOND waits in
        // the library, and the descriptor says so.
        EXPECT_EQ(api.SendMsg(opid, "NOTE", "x"), 0);
        EXPECT_TRUE(readable());
        EXPECT_EQ(api.WaitForMsg(0), 0);
        EXPECT_EQ(api.ReceiveMsg(opid, message, payload), 0);
        EXPECT_EQ(message, "SECOND");
        EXPECT_EQ(api.ReceiveMsg(opid, message, payload), 1);
        EXPECT_FALSE(readable());
        rawpeer::Close(peer);
        return 0;
    });
}
