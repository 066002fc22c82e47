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
    return tavtest::ReadFile(tavtest::Home() + "/TAVLog/publicLog.log").find(line) != std::string::npos;
}

// The student application's controller, connected, runs body with the calls
// changed; a child scenario.
std::function<int()> withController(Change change, std::function<void(IPCController&)> body)
{
    return [change, body] {
        IPCController* c =
            IPCController::CreateInstance("tav.student.app", "type='signal',interface='tav.studentdaemon.type'");
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
        EXPECT_TRUE(tavtest::WaitFor([&] { return daemon.ReceiveMsg(opid, message, payload) == 0; }));
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

} // namespace

TEST(BusFailure, SignalNotSentWhenMessageCannotBeBuilt)
{
    EXPECT_CHILD_PASSES(withController([](BusCalls& b) { b.message_new_signal = noMessage; }, [](IPCController& c) {
        EXPECT_EQ(c.SendMsg(kAppIface, "SEARCHTEACHER", "envelope"), 1);
        EXPECT_TRUE(logged("ERROR:   IPCController::SendMsg() [Async] --Message Null.dbus_message_new_signal"));
    }));
}

TEST(BusFailure, SignalNotSentWhenPayloadCannotBeAppended)
{
    EXPECT_CHILD_PASSES(withController([](BusCalls& b) { b.message_iter_append_basic = noAppend; }, [](IPCController& c) {
        EXPECT_EQ(c.SendMsg(kAppIface, "SEARCHTEACHER", "envelope"), 1);
        EXPECT_TRUE(logged("ERROR:   IPCController::SendMsg() [Async] --Out Of Memory!dbus_message_iter_init_append"));
    }));
}

TEST(BusFailure, SignalNotSentWhenTheConnectionRefusesIt)
{
    EXPECT_CHILD_PASSES(withController([](BusCalls& b) { b.connection_send = noSend; }, [](IPCController& c) {
        EXPECT_EQ(c.SendMsg(kAppIface, "SEARCHTEACHER", "envelope"), 1);
        EXPECT_TRUE(logged("ERROR:   IPCController::SendMsg() [Async] --Out Of Memory!dbus_connection_send"));
    }));
}

TEST(BusFailure, SignalNotSentWithoutBus)
{
    EXPECT_CHILD_PASSES(withController(noBus, [](IPCController& c) {
        EXPECT_EQ(c.SendMsg(kAppIface, "SEARCHTEACHER", "envelope"), 1);
        EXPECT_TRUE(logged("WARNING:   IPCController --Connection to the bus lost, connecting again"));
        EXPECT_TRUE(logged("ERROR:   IPCController::Initial() --Name Error dbus_bus_get:no bus here"));
        EXPECT_TRUE(logged("ERROR:   IPCController::SendMsg() [Async] --Not connected to the bus"));
    }));
}

TEST(BusFailure, SignalFailsWhenAnExceptionIsThrownOnTheWay)
{
    EXPECT_CHILD_PASSES(withController(
        [](BusCalls& b) {
            b.message_new_signal = [](const char*, const char*, const char*) -> DBusMessage* {
                throw std::bad_alloc();
            };
        },
        [](IPCController& c) {
            EXPECT_EQ(c.SendMsg(kAppIface, "SEARCHTEACHER", "envelope"), 1);
            EXPECT_TRUE(logged("ERROR:   IPCController::SendMsg() [Async] --Exception: std::bad_alloc"));
            // The connection lock was given back.
            EXPECT_EQ(pthread_mutex_trylock(c.GetDBusLock()), 0);
            pthread_mutex_unlock(c.GetDBusLock());
        }));
}

TEST(BusFailure, CallFailsWhenMessageCannotBeBuilt)
{
    EXPECT_CHILD_PASSES(withController([](BusCalls& b) { b.message_new_method_call = noCall; }, [](IPCController& c) {
        std::string reply = "kept";
        EXPECT_EQ(c.SendMsg(kDaemon, kAppIface, "ASK", "envelope", reply), 1);
        EXPECT_EQ(reply, "kept");
        EXPECT_TRUE(logged("ERROR:   IPCController::SendMsg() [Sync] --Message Null.dbus_message_new_method_call"));
    }));
}

TEST(BusFailure, CallFailsWhenPayloadCannotBeAppended)
{
    EXPECT_CHILD_PASSES(withController([](BusCalls& b) { b.message_iter_append_basic = noAppend; }, [](IPCController& c) {
        std::string reply;
        EXPECT_EQ(c.SendMsg(kDaemon, kAppIface, "ASK", "envelope", reply), 1);
        EXPECT_TRUE(logged("ERROR:   IPCController::SendMsg() [Sync] --Out Of Memory!dbus_message_iter_append_basic"));
    }));
}

TEST(BusFailure, CallFailsWhenTheConnectionRefusesIt)
{
    EXPECT_CHILD_PASSES(withController(
        [](BusCalls& b) {
            b.connection_send_with_reply = [](DBusConnection*, DBusMessage*, DBusPendingCall**, int) -> dbus_bool_t {
                return FALSE;
            };
        },
        [](IPCController& c) {
            std::string reply;
            EXPECT_EQ(c.SendMsg(kDaemon, kAppIface, "ASK", "envelope", reply), 1);
            EXPECT_TRUE(logged("ERROR:   IPCController::SendMsg() [Sync] --Time Out!dbus_connection_send_with_reply"));
        }));
}

TEST(BusFailure, CallFailsWithoutPendingCall)
{
    EXPECT_CHILD_PASSES(withController(
        [](BusCalls& b) {
            // What the bus library does once the connection is gone.
            b.connection_send_with_reply = [](DBusConnection*, DBusMessage*, DBusPendingCall** pending,
                                              int) -> dbus_bool_t {
                *pending = nullptr;
                return TRUE;
            };
        },
        [](IPCController& c) {
            std::string reply;
            EXPECT_EQ(c.SendMsg(kDaemon, kAppIface, "ASK", "envelope", reply), 1);
            EXPECT_TRUE(logged("ERROR:   IPCController::SendMsg() [Sync] --Pending Call Null"));
        }));
}

TEST(BusFailure, CallFailsWhenNoReplyArrives)
{
    EXPECT_CHILD_PASSES(withController(
        [](BusCalls& b) {
            b.pending_call_block = noWait;
            b.pending_call_steal_reply = [](DBusPendingCall*) -> DBusMessage* { return nullptr; };
        },
        [](IPCController& c) {
            std::string reply = "kept";
            EXPECT_EQ(c.SendMsg(kDaemon, kAppIface, "ASK", "envelope", reply), 1);
            EXPECT_EQ(reply, "kept");
            EXPECT_TRUE(logged("ERROR:   IPCController::SendMsg() [Sync] --Time Out!dbus_connection_send_with_reply"));
        }));
}

TEST(BusFailure, CallFailsOnReplyOfTheWrongType)
{
    EXPECT_CHILD_PASSES(withController(
        [](BusCalls& b) {
            b.pending_call_block = noWait;
            // A signal carrying a string, where a method return belongs.
            b.pending_call_steal_reply = [](DBusPendingCall*) -> DBusMessage* {
                DBusMessage* m = dbus_message_new_signal("/orvelix/message/object", kAppIface, "ASK");
                const char* text = "not an answer";
                dbus_message_append_args(m, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID);
                return m;
            };
        },
        [](IPCController& c) {
            std::string reply = "kept";
            EXPECT_EQ(c.SendMsg(kDaemon, kAppIface, "ASK", "envelope", reply), 1);
            EXPECT_EQ(reply, "kept");
        }));
}

TEST(BusFailure, CallFailsWithoutBus)
{
    EXPECT_CHILD_PASSES(withController(noBus, [](IPCController& c) {
        std::string reply;
        EXPECT_EQ(c.SendMsg(kDaemon, kAppIface, "ASK", "envelope", reply), 1);
        EXPECT_TRUE(logged("ERROR:   IPCController::SendMsg() [Sync] --Not connected to the bus"));
    }));
}

TEST(BusFailure, ReplyNotSentWhenTheConnectionRefusesIt)
{
    EXPECT_CHILD_PASSES(withController([](BusCalls& b) { b.connection_send = noSend; }, [](IPCController& c) {
        // Handed over for good: released although not sent (the leak check
        // of the sanitizer build tells).
        EXPECT_EQ(c.SendMsg(dbus_message_new_signal("/orvelix/message/object", kAppIface, "ANSWER")), 1);
        EXPECT_TRUE(logged("ERROR:   IPCController::SendMsg() [Reply] --Out Of Memory!dbus_connection_send"));
    }));
}

TEST(BusFailure, DaemonReplyNotSentWhenItCannotBeBuilt)
{
    EXPECT_CHILD_PASSES(withRequest(
        [](BusCalls& b) { b.message_new_method_return = [](DBusMessage*) -> DBusMessage* { return nullptr; }; },
        [](IPCStudentDaemonAPI& daemon) {
            EXPECT_EQ(daemon.ReplyMsg(std::string("answer")), 1);
            EXPECT_TRUE(logged("ERROR:   IPCStudentDaemonAPI::ReplyMsg --Out Of Memory!dbus_message_new_method_return"));
        }));
}

TEST(BusFailure, DaemonReplyNotSentWhenPayloadCannotBeAppended)
{
    EXPECT_CHILD_PASSES(withRequest([](BusCalls& b) { b.message_iter_append_basic = noAppend; },
                                    [](IPCStudentDaemonAPI& daemon) {
                                        EXPECT_EQ(daemon.ReplyMsg(std::string("answer")), 1);
                                        EXPECT_TRUE(logged("ERROR:   IPCStudentDaemonAPI::ReplyMsg --Out Of "
                                                           "Memory!dbus_message_iter_init_append"));
                                    }));
}
