// What the controller and the daemon end do when the bus library fails in
// ways a working bus never shows (out of memory, no pending call, no
// connection, an unexpected reply): the chosen calls are replaced in the
// table of bus calls, everything else is the real bus library on a private
// bus. Each scenario runs in a forked child: the controller is one per
// process.
#include "BusCalls.h"
#include "IPCController.h"
#include "IPCStudentDaemonAPI.h"
#include "RawPeer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>

using namespace IPCAPI;

namespace {

const char kAppIface[] = "tav.studentapp.type";
const char kDaemon[] = "tav.student.daemon";

using Change = void (*)(BusCalls&);

// The bus library's calls with some replaced, installed for one scope.
class ChangedCalls {
public:
    explicit ChangedCalls(Change change) : m_calls(LibdbusCalls())
    {
        change(m_calls);
        UseBusCalls(&m_calls);
    }
    ~ChangedCalls() { UseBusCalls(nullptr); }
    ChangedCalls(const ChangedCalls&) = delete;
    ChangedCalls& operator=(const ChangedCalls&) = delete;

private:
    BusCalls m_calls;
};

bool logged(const std::string& line)
{
    return tavtest::ReadFile(tavtest::Home() + "/TAVLog/publicLog.log").find(line) !=
           std::string::npos;
}

// The student application's controller, connected, runs body with the calls
// changed; a child scenario.
std::function<int()> withController(Change change, std::function<void(IPCController&)> body)
{
    return [change, body] {
        IPCController* c = IPCController::CreateInstance(
            "tav.student.app", "type='signal',interface='tav.studentdaemon.type'");
        {
            ChangedCalls changed(change);
            body(*c);
        }
        IPCController::RemoveAPI(nullptr);
        return 0;
    };
}

// A student daemon holding a request of a raw peer runs body with the calls
// changed; a child scenario.
std::function<int()> withRequest(Change change, std::function<void(IPCStudentDaemonAPI&)> body)
{
    return [change, body] {
        IPCStudentDaemonAPI daemon;
        DBusConnection* peer = rawpeer::Connect();
        rawpeer::CallNoReply(peer, kDaemon, kAppIface, "ASK", "question");
        std::string message, payload;
        int opid = 0;
        EXPECT_TRUE(
            tavtest::WaitFor([&] { return daemon.ReceiveMsg(opid, message, payload) == 0; }));
        {
            ChangedCalls changed(change);
            body(daemon);
        }
        rawpeer::Close(peer);
        return 0;
    };
}

DBusMessage* noMessage(const char*, const char*, const char*) { return nullptr; }
DBusMessage* noCall(const char*, const char*, const char*, const char*) { return nullptr; }
dbus_bool_t noAppend(DBusMessageIter*, int, const void*) { return FALSE; }
dbus_bool_t noSend(DBusConnection*, DBusMessage*, dbus_uint32_t*) { return FALSE; }
void noWait(DBusPendingCall*) {}

void noBus(BusCalls& b)
{
    b.connection_get_is_connected = [](DBusConnection*) -> dbus_bool_t { return FALSE; };
    b.bus_get = [](DBusBusType, DBusError* error) -> DBusConnection* {
        dbus_set_error_const(error, DBUS_ERROR_NO_SERVER, "no bus here");
        return nullptr;
    };
}

// Every failure gives the connection lock back.
void expectUnlocked(IPCController& c)
{
    EXPECT_EQ(pthread_mutex_trylock(c.GetDBusLock()), 0);
    pthread_mutex_unlock(c.GetDBusLock());
}

// A signal is not sent: 1, and the error line ends in line.
void expectSignalFails(Change change, std::string line)
{
    EXPECT_CHILD_PASSES(withController(change, [line](IPCController& c) {
        EXPECT_EQ(c.SendMsg(kAppIface, "SEARCHTEACHER", "envelope"), 1);
        EXPECT_TRUE(logged("ERROR:   IPCController::SendMsg() [Async] --" + line));
        expectUnlocked(c);
    }));
}

// A blocking call fails: 1, the reply as it was, and the error line ends in
// line (none when empty).
void expectCallFails(Change change, std::string line)
{
    EXPECT_CHILD_PASSES(withController(change, [line](IPCController& c) {
        std::string reply = "kept";
        EXPECT_EQ(c.SendMsg(kDaemon, kAppIface, "ASK", "envelope", reply), 1);
        EXPECT_EQ(reply, "kept");
        if (!line.empty()) {
            EXPECT_TRUE(logged("ERROR:   IPCController::SendMsg() [Sync] --" + line));
        }
        expectUnlocked(c);
    }));
}

// A daemon's answer is not sent: 1, and the error line ends in line.
void expectDaemonReplyFails(Change change, std::string line)
{
    EXPECT_CHILD_PASSES(withRequest(change, [line](IPCStudentDaemonAPI& daemon) {
        EXPECT_EQ(daemon.ReplyMsg(std::string("answer")), 1);
        EXPECT_TRUE(logged("ERROR:   IPCStudentDaemonAPI::ReplyMsg --" + line));
    }));
}

} // namespace

TEST(BusFailure, SignalNotSentWhenMessageCannotBeBuilt)
{
    expectSignalFails([](BusCalls& b) { b.message_new_signal = noMessage; },
                      "Message Null.dbus_message_new_signal");
}

TEST(BusFailure, SignalNotSentWhenPayloadCannotBeAppended)
{
    expectSignalFails([](BusCalls& b) { b.message_iter_append_basic = noAppend; },
                      "Out Of Memory!dbus_message_iter_init_append");
}

TEST(BusFailure, SignalNotSentWhenTheConnectionRefusesIt)
{
    expectSignalFails([](BusCalls& b) { b.connection_send = noSend; },
                      "Out Of Memory!dbus_connection_send");
}

TEST(BusFailure, SignalNotSentWithoutBus) { expectSignalFails(noBus, "Not connected to the bus"); }

TEST(BusFailure, SignalFailsWhenAnExceptionIsThrownOnTheWay)
{
    expectSignalFails(
        [](BusCalls& b) {
            b.message_new_signal = [](const char*, const char*, const char*) -> DBusMessage* {
                throw std::bad_alloc();
            };
        },
        "Exception: std::bad_alloc");
}

TEST(BusFailure, CallFailsWhenMessageCannotBeBuilt)
{
    expectCallFails([](BusCalls& b) { b.message_new_method_call = noCall; },
                    "Message Null.dbus_message_new_method_call");
}

TEST(BusFailure, CallFailsWhenPayloadCannotBeAppended)
{
    expectCallFails([](BusCalls& b) { b.message_iter_append_basic = noAppend; },
                    "Out Of Memory!dbus_message_iter_append_basic");
}

TEST(BusFailure, CallFailsWhenTheConnectionRefusesIt)
{
    expectCallFails(
        [](BusCalls& b) {
            b.connection_send_with_reply = [](DBusConnection*, DBusMessage*, DBusPendingCall**,
                                              int) -> dbus_bool_t { return FALSE; };
        },
        "Time Out!dbus_connection_send_with_reply");
}

TEST(BusFailure, CallFailsWithoutPendingCall)
{
    // What the bus library does once the connection is gone.
    expectCallFails(
        [](BusCalls& b) {
            b.connection_send_with_reply = [](DBusConnection*, DBusMessage*,
                                              DBusPendingCall** pending, int) -> dbus_bool_t {
                *pending = nullptr;
                return TRUE;
            };
        },
        "Pending Call Null");
}

TEST(BusFailure, CallFailsWhenNoReplyArrives)
{
    expectCallFails(
        [](BusCalls& b) {
            b.pending_call_block = noWait;
            b.pending_call_steal_reply = [](DBusPendingCall*) -> DBusMessage* { return nullptr; };
        },
        "Time Out!dbus_connection_send_with_reply");
}

TEST(BusFailure, CallFailsOnReplyOfTheWrongType)
{
    // A signal carrying a string, where a method return belongs.
    expectCallFails(
        [](BusCalls& b) {
            b.pending_call_block = noWait;
            b.pending_call_steal_reply = [](DBusPendingCall*) -> DBusMessage* {
                DBusMessage* m =
                    dbus_message_new_signal("/orvelix/message/object", kAppIface, "ASK");
                const char* text = "not an answer";
                dbus_message_append_args(m, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID);
                return m;
            };
        },
        "");
}

TEST(BusFailure, CallFailsWithoutBus) { expectCallFails(noBus, "Not connected to the bus"); }

TEST(BusFailure, ReplyNotSentWhenTheConnectionRefusesIt)
{
    EXPECT_CHILD_PASSES(withController(
        [](BusCalls& b) { b.connection_send = noSend; },
        [](IPCController& c) {
            // Handed over for good: released although not sent (the leak check
            // of the sanitizer build tells).
            EXPECT_EQ(
                c.SendMsg(dbus_message_new_signal("/orvelix/message/object", kAppIface, "ANSWER")),
                1);
            EXPECT_TRUE(logged(
                "ERROR:   IPCController::SendMsg() [Reply] --Out Of Memory!dbus_connection_send"));
        }));
}

TEST(BusFailure, DaemonReplyNotSentWhenItCannotBeBuilt)
{
    expectDaemonReplyFails(
        [](BusCalls& b) {
            b.message_new_method_return = [](DBusMessage*) -> DBusMessage* { return nullptr; };
        },
        "Out Of Memory!dbus_message_new_method_return");
}

TEST(BusFailure, DaemonReplyNotSentWhenPayloadCannotBeAppended)
{
    expectDaemonReplyFails([](BusCalls& b) { b.message_iter_append_basic = noAppend; },
                           "Out Of Memory!dbus_message_iter_init_append");
}
