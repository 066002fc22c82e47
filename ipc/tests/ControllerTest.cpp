// The controller against a real private bus. Every scenario that touches the
// bus runs in a forked child: the controller is one per process, and the
// parent must never hold the shared bus connection a child would inherit.
#include "IPCController.h"
#include "IPCLogging.h"
#include "IPCStudentAPI.h"
#include "InputLimits.h"
#include "RawPeer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

using namespace IPCAPI;

namespace {

const char* kStudentAppRule = "type='signal',interface='tav.studentdaemon.type'";

struct OpidAccess : IPCAPIBase {
    static void Set(int v) { m_iOPID = v; }
};

// Records what the dispatcher hands over.
class Recorder : public IPCAPIBase {
public:
    int DoAction(std::string message, std::string payload, std::string& result) override
    {
        // The bus's own signals to us (NameAcquired) are delivered too.
        if (message == "NameAcquired" || message == "NameLost")
            return 0;
        std::lock_guard<std::mutex> lock(m);
        received.push_back(message + "|" + payload);
        result = "ignored";
        return 0;
    }
    std::vector<std::string> Received()
    {
        std::lock_guard<std::mutex> lock(m);
        return received;
    }

private:
    std::mutex m;
    std::vector<std::string> received;
};

int threadCount()
{
    int n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d))
            n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

std::string logText(const std::string& name)
{
    return tavtest::ReadFile(tavtest::Home() + "/TAVLog/" + name + ".log");
}

// Runs a raw daemon on its own thread that owns `name` and answers each
// method call with answer(call).
class RawDaemon {
public:
    RawDaemon(const char* name, std::function<void(DBusConnection*, DBusMessage*)> answer)
    {
        std::atomic<bool> ready{false};
        m_thread = std::thread([this, name, answer, &ready] {
            DBusConnection* c = rawpeer::Connect(name);
            ready = true;
            if (!c)
                return;
            while (!m_stop) {
                DBusMessage* call = rawpeer::Next(c, rawpeer::IsCall, 50);
                if (call) {
                    answer(c, call);
                    dbus_message_unref(call);
                }
            }
            rawpeer::Close(c);
        });
        while (!ready)
            std::this_thread::yield();
    }
    ~RawDaemon()
    {
        m_stop = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace

TEST(ApiBase, OperationIdsWrapAndNeverRepeat)
{
    OpidAccess::Set(65533);
    EXPECT_EQ(IPCAPIBase::GetOPID(), 65534);
    EXPECT_EQ(IPCAPIBase::GetOPID(), 65535);
    EXPECT_EQ(IPCAPIBase::GetOPID(), 1);
    EXPECT_EQ(IPCAPIBase::GetOPID(), 2);

    OpidAccess::Set(0);
    constexpr int kThreads = 8, kEach = 1000;
    std::vector<std::vector<int>> ids(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i)
                ids[t].push_back(IPCAPIBase::GetOPID());
        });
    for (auto& th : threads)
        th.join();
    std::set<int> all;
    for (const auto& v : ids)
        all.insert(v.begin(), v.end());
    EXPECT_EQ(all.size(), static_cast<size_t>(kThreads * kEach));
    EXPECT_EQ(*all.begin(), 1);
    EXPECT_EQ(*all.rbegin(), kThreads * kEach);
}

TEST(Controller, SharedAndCountedPerProcess)
{
    EXPECT_CHILD_PASSES([] {
        // No controller yet and an empty name: null, and not counted, so
        // that the count stays the number of objects holding it.
        EXPECT_EQ(IPCController::CreateInstance("", kStudentAppRule), nullptr);
        EXPECT_EQ(IPCController::m_IPCCounts, 0);
        EXPECT_EQ(IPCController::RemoveAPI(nullptr), 1);
        EXPECT_EQ(IPCController::m_IPCCounts, 0);

        Recorder a, b, stranger;
        IPCController* c1 = IPCController::CreateInstance("tav.student.app", kStudentAppRule);
        EXPECT_NE(c1, nullptr);
        if (!c1)
            return 1;
        c1->SetAPI(&a);
        c1->SetAPI(nullptr);
        IPCController* c2 = IPCController::CreateInstance("other.name", "type='signal'");
        EXPECT_EQ(c1, c2);
        c2->SetAPI(&b);
        EXPECT_EQ(IPCController::m_IPCCounts, 2);

        DBusConnection* peer = rawpeer::Connect();
        EXPECT_TRUE(dbus_bus_name_has_owner(peer, "tav.student.app", nullptr));
        EXPECT_FALSE(dbus_bus_name_has_owner(peer, "other.name", nullptr));

        // Never registered: 1, yet it still counts down.
        EXPECT_EQ(IPCController::RemoveAPI(&stranger), 1);
        EXPECT_EQ(IPCController::m_IPCCounts, 1);
        EXPECT_EQ(IPCController::m_Instance, c1);
        EXPECT_EQ(IPCController::RemoveAPI(&a), 0);
        EXPECT_EQ(IPCController::m_Instance, nullptr);
        EXPECT_EQ(IPCController::m_IPCCounts, 0);
        // The name went with the controller.
        EXPECT_FALSE(dbus_bus_name_has_owner(peer, "tav.student.app", nullptr));
        rawpeer::Close(peer);
        return 0;
    });
}

TEST(Controller, SecondProcessDoesNotGetTheName)
{
    int ready[2], done[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(done), 0);
    std::thread holder([&] {
        EXPECT_CHILD_PASSES([&] {
            IPCController* c = IPCController::CreateInstance(
                "tav.student.daemon", "type='signal',interface='tav.studentapp.type'");
            char x = 1;
            EXPECT_EQ(write(ready[1], &x, 1), 1);
            EXPECT_EQ(read(done[0], &x, 1), 1);
            return c ? 0 : 1;
        });
    });
    char x;
    ASSERT_EQ(read(ready[0], &x, 1), 1);
    EXPECT_CHILD_PASSES([] {
        LibTAVData::CTAVLog::SetLogFileName("second");
        IPCController* c = IPCController::CreateInstance(
            "tav.student.daemon", "type='signal',interface='tav.studentapp.type'");
        EXPECT_NE(c, nullptr);
        EXPECT_NE(logText("second").find("WARNING:   IPCController::SetBusName() --Name Error "
                                         "dbus_bus_request_name: "
                                         "DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER != ret"),
                  std::string::npos);
        // It still runs: it can send.
        EXPECT_EQ(c->SendMsg("tav.studentdaemon.type", "PING", "x"), 0);
        IPCController::RemoveAPI(nullptr);
        return 0;
    });
    x = 1;
    ASSERT_EQ(write(done[1], &x, 1), 1);
    holder.join();
}

TEST(Controller, SignalsOnTheWire)
{
    EXPECT_CHILD_PASSES([] {
        DBusConnection* peer = rawpeer::Connect();
        EXPECT_TRUE(rawpeer::AddMatch(peer, "type='signal',interface='tav.studentapp.type'"));
        IPCController* c = IPCController::CreateInstance("tav.student.app", kStudentAppRule);
        EXPECT_EQ(c->SendMsg("tav.studentapp.type", "SEARCHTEACHER", "envelope <x/>"), 0);
        DBusMessage* m = rawpeer::Next(
            peer, [](DBusMessage* m) { return rawpeer::IsSignalOn(m, "tav.studentapp.type"); });
        EXPECT_NE(m, nullptr);
        if (m) {
            EXPECT_EQ(rawpeer::Str(dbus_message_get_path(m)), "/orvelix/message/object");
            EXPECT_EQ(rawpeer::Str(dbus_message_get_member(m)), "SEARCHTEACHER");
            EXPECT_EQ(rawpeer::StringArg(m), "envelope <x/>");
            EXPECT_EQ(rawpeer::Str(dbus_message_get_signature(m)), "s");
            dbus_message_unref(m);
        }
        // Names and texts the bus library would abort on are refused.
        EXPECT_EQ(c->SendMsg("tav.studentapp.type", "BAD MEMBER", "x"), 1);
        EXPECT_EQ(c->SendMsg("not an interface", "OK", "x"), 1);
        EXPECT_EQ(c->SendMsg("tav.studentapp.type", "OK", "\xff\xfe"), 1);
        std::string reply;
        EXPECT_EQ(c->SendMsg("bad..name", "tav.studentapp.type", "OK", "x", reply), 1);
        IPCController::RemoveAPI(nullptr);
        rawpeer::Close(peer);
        return 0;
    });
}

TEST(Controller, BlockingCallsAndTheirReplies)
{
    EXPECT_CHILD_PASSES([] {
        LibTAVData::CTAVLog::SetLogFileName("blocking");
        std::vector<std::string> seen;
        std::mutex m;
        RawDaemon daemon("tav.student.daemon", [&](DBusConnection* c, DBusMessage* call) {
            const std::string member = rawpeer::Str(dbus_message_get_member(call));
            {
                std::lock_guard<std::mutex> lock(m);
                seen.push_back(rawpeer::Str(dbus_message_get_destination(call)) + " " +
                               rawpeer::Str(dbus_message_get_interface(call)) + " " +
                               rawpeer::Str(dbus_message_get_path(call)) + " " + member + " " +
                               rawpeer::StringArg(call));
            }
            if (member == "ERR")
                rawpeer::ReplyError(c, call, "tav.Error.Failed", "no");
            else if (member == "NOARG")
                rawpeer::Reply(c, call, nullptr);
            else
                rawpeer::Reply(c, call, "answer");
        });
        IPCController* c = IPCController::CreateInstance("tav.student.app", kStudentAppRule);
        std::string reply = "kept-";
        EXPECT_EQ(c->SendMsg("tav.student.daemon", "tav.studentapp.type", "ASK", "question", reply),
                  0);
        EXPECT_EQ(reply, "kept-answer");
        reply.clear();
        EXPECT_EQ(c->SendMsg("tav.student.daemon", "tav.studentapp.type", "ERR", "q", reply), 3);
        EXPECT_EQ(reply, "");
        EXPECT_EQ(c->SendMsg("tav.student.daemon", "tav.studentapp.type", "NOARG", "q", reply), 1);
        EXPECT_NE(logText("blocking")
                      .find("ERROR:   IPCController::SendMsg() [Sync] "
                            "--Argument is not string!"),
                  std::string::npos);
        // Nobody owns the destination: the bus answers with an error.
        EXPECT_EQ(c->SendMsg("tav.teacher.daemon", "tav.teacherapp.type", "ASK", "q", reply), 3);
        EXPECT_EQ(reply, "");
        {
            std::lock_guard<std::mutex> lock(m);
            EXPECT_EQ(seen.size(), 3u);
            if (!seen.empty()) {
                EXPECT_EQ(seen[0], "tav.student.daemon tav.studentapp.type "
                                   "/orvelix/message/object ASK question");
            }
        }
        IPCController::RemoveAPI(nullptr);
        return 0;
    });
}

TEST(Controller, ReceiveTakesCallsAndSignalsOnly)
{
    EXPECT_CHILD_PASSES([] {
        IPCController* c = IPCController::CreateInstance(
            "tav.student.daemon", "type='signal',interface='tav.studentapp.type'");
        Recorder rec;
        c->SetAPI(&rec);
        DBusConnection* peer = rawpeer::Connect();
        // A signal with an integer argument, then one with a string.
        DBusMessage* s =
            dbus_message_new_signal("/orvelix/message/object", "tav.studentapp.type", "INTARG");
        dbus_int32_t v = 5;
        dbus_message_append_args(s, DBUS_TYPE_INT32, &v, DBUS_TYPE_INVALID);
        dbus_connection_send(peer, s, nullptr);
        dbus_message_unref(s);
        rawpeer::Signal(peer, "tav.studentapp.type", "TEXT", "payload");

        DBusMessage* got = nullptr;
        auto next = [&] {
            return tavtest::WaitFor([&] {
                return c->ReceiveMsg(&got) == 0 &&
                       rawpeer::Str(dbus_message_get_sender(got)) != "org.freedesktop.DBus";
            });
        };
        EXPECT_TRUE(next());
        EXPECT_EQ(rawpeer::Str(dbus_message_get_member(got)), "INTARG");
        EXPECT_EQ(c->DoAction(got), 1);
        EXPECT_TRUE(next());
        EXPECT_EQ(c->DoAction(got), 0);
        EXPECT_EQ(rec.Received(), std::vector<std::string>{"TEXT|payload"});
        EXPECT_EQ(c->DoAction(nullptr), 1);

        // A method return nobody waits for is dropped.
        RawDaemon echo("tav.test.echo", [](DBusConnection* pc, DBusMessage* call) {
            rawpeer::Reply(pc, call, "late");
        });
        DBusConnection* shared = dbus_bus_get(DBUS_BUS_SYSTEM, nullptr);
        DBusMessage* call = dbus_message_new_method_call("tav.test.echo", "/orvelix/message/object",
                                                         "tav.test", "PING");
        dbus_connection_send(shared, call, nullptr);
        dbus_connection_flush(shared);
        dbus_message_unref(call);
        dbus_connection_unref(shared);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        std::vector<std::string> taken;
        for (int i = 0; i < 20; ++i)
            if (c->ReceiveMsg(&got) == 0)
                taken.push_back(rawpeer::Str(dbus_message_get_member(got)));
        EXPECT_EQ(taken, std::vector<std::string>{});
        IPCController::RemoveAPI(&rec);
        rawpeer::Close(peer);
        return 0;
    });
}

TEST(Controller, WorkerDeliversToRegisteredObjects)
{
    EXPECT_CHILD_PASSES([] {
        IPCController* c = IPCController::CreateInstance("tav.student.app", kStudentAppRule);
        Recorder first, second;
        c->SetAPI(&first);
        c->SetAPI(&second);
        const int before = threadCount();
        EXPECT_TRUE(c->Start());
        EXPECT_TRUE(c->Start());
        EXPECT_TRUE(c->IsStart());
        EXPECT_EQ(threadCount(), before + 1);

        DBusConnection* peer = rawpeer::Connect();
        for (int i = 0; i < 3; ++i)
            rawpeer::Signal(peer, "tav.studentdaemon.type", "NOTE", std::to_string(i).c_str());
        // Other interfaces do not match the rule.
        rawpeer::Signal(peer, "tav.teacherdaemon.type", "NOTE", "other");
        EXPECT_TRUE(tavtest::WaitFor([&] { return second.Received().size() == 3; }, 10000));
        const std::vector<std::string> expected = {"NOTE|0", "NOTE|1", "NOTE|2"};
        EXPECT_EQ(first.Received(), expected);
        EXPECT_EQ(second.Received(), expected);

        EXPECT_TRUE(c->End());
        EXPECT_FALSE(c->IsStart());
        IPCController::RemoveAPI(&first);
        IPCController::RemoveAPI(&second);
        EXPECT_EQ(IPCController::m_Instance, nullptr);
        EXPECT_TRUE(tavtest::WaitFor([&] { return threadCount() == before; }));
        rawpeer::Close(peer);
        return 0;
    });
}

// libdbus would end the whole process when the bus goes away; a host must
// survive that and see its requests fail.
TEST(Controller, SurvivesTheBusGoingAway)
{
    EXPECT_CHILD_PASSES([] {
        tavtest::PrivateBus bus;
        if (!bus.Start())
            return 2;
        bus.Export();
        IPCController* c = IPCController::CreateInstance("tav.student.app", kStudentAppRule);
        EXPECT_EQ(c->SendMsg("tav.studentapp.type", "PING", "x"), 0);
        EXPECT_TRUE(c->Start());
        bus.Stop();
        EXPECT_TRUE(
            tavtest::WaitFor([&] { return c->SendMsg("tav.studentapp.type", "PING", "x") == 1; }));
        std::string reply;
        EXPECT_EQ(c->SendMsg("tav.student.daemon", "tav.studentapp.type", "ASK", "x", reply), 1);
        IPCController::RemoveAPI(nullptr);
        return 0;
    });
}

TEST(Controller, SecretsNeverReachTheLog)
{
    const std::string payload =
        "header<?xml version=\"1.0\" ?><Parameters>"
        "<Parameter name=\"UserName\" type=\"string\" value=\"alice\" />"
        "<Parameter name=\"Password\" type=\"string\" value=\"s3cret\" />"
        "<Parameter name=\"OldPassword\" type=\"string\" value='with \"quote' />"
        "<Parameter name=\"NewPassword\" type=\"string\" value=\"\" /></Parameters>";
    EXPECT_EQ(RedactSecrets(payload),
              "header<?xml version=\"1.0\" ?><Parameters>"
              "<Parameter name=\"UserName\" type=\"string\" value=\"alice\" />"
              "<Parameter name=\"Password\" type=\"string\" value=\"***\" />"
              "<Parameter name=\"OldPassword\" type=\"string\" value='***' />"
              "<Parameter name=\"NewPassword\" type=\"string\" value=\"***\" /></Parameters>");
    EXPECT_EQ(RedactSecrets("no secrets"), "no secrets");
    EXPECT_EQ(RedactSecrets("<Parameter name=\"Password\" value=\"unterminated"),
              "<Parameter name=\"Password\" value=\"unterminated");

    EXPECT_CHILD_PASSES([&] {
        LibTAVData::CTAVLog::SetLogFileName("secrets");
        IPCController* c = IPCController::CreateInstance("tav.student.app", kStudentAppRule);
        EXPECT_EQ(c->SendMsg("tav.studentapp.type", "VERIFY", payload), 0);
        std::string reply;
        c->SendMsg("tav.student.daemon", "tav.studentapp.type", "VERIFY", payload, reply);
        const std::string log = logText("secrets");
        EXPECT_EQ(log.find("s3cret"), std::string::npos);
        EXPECT_EQ(log.find("with \"quote"), std::string::npos);
        EXPECT_NE(log.find("alice"), std::string::npos);
        IPCController::RemoveAPI(nullptr);
        return 0;
    });
}

// A logged payload is redacted before it is cut to 1 KiB (on a character
// boundary), so neither a whole nor a half secret reaches the log.
TEST(Controller, LoggedPayloadsAreShortAndRedacted)
{
    const std::string cutInUtf8 = std::string(1023, 'a') + "\xc3\xa9" + std::string(3000, 'b');
    EXPECT_EQ(LoggedPayload(cutInUtf8), std::string(1023, 'a') + "... (4025 bytes)");
    const std::string secretAcrossTheCut = std::string(950, 'a') +
                                           "<Parameter name=\"Password\" type=\"string\" value=\"" +
                                           std::string(100, 's') + "\" />";
    const std::string shown = LoggedPayload(secretAcrossTheCut);
    EXPECT_EQ(shown.find("sss"), std::string::npos);
    EXPECT_NE(shown.find("value=\"***\""), std::string::npos);
    EXPECT_EQ(LoggedPayload("short"), "short");
}

// A reply envelope over the size limit is refused with its size in the log.
TEST(Controller, OversizedReplyIsRefused)
{
    EXPECT_CHILD_PASSES([] {
        LibTAVData::CTAVLog::SetLogFileName("oversized");
        const std::string big(tav_common::kMaxDocumentBytes + 1, 'r');
        RawDaemon daemon("tav.student.daemon", [&](DBusConnection* c, DBusMessage* call) {
            rawpeer::Reply(c, call, big.c_str());
        });
        IPCController* c = IPCController::CreateInstance("tav.student.app", kStudentAppRule);
        std::string reply = "kept";
        EXPECT_EQ(c->SendMsg("tav.student.daemon", "tav.studentapp.type", "ASK", "q", reply), 1);
        EXPECT_EQ(reply, "kept");
        const std::string log = logText("oversized");
        EXPECT_NE(log.find("ERROR:   IPCController::SendMsg() [Sync] --Refused the reply to ASK: "
                           "envelope of " +
                           std::to_string(big.size()) + " bytes"),
                  std::string::npos);
        EXPECT_EQ(log.find(std::string(1000, 'r')), std::string::npos);
        IPCController::RemoveAPI(nullptr);
        return 0;
    });
}

// A bus that refuses the match rule (here its limit of rules per
// connection) leaves an application deaf to every notification: Initialize
// says so instead of looking healthy, and the object still counts once.
TEST(Controller, RefusedMatchRuleIsReported)
{
    EXPECT_CHILD_PASSES([] {
        tavtest::PrivateBus bus;
        if (!bus.Start(tavtest::PrivateBus::PermissivePolicy() +
                       "  <limit name=\"max_match_rules_per_connection\">0</limit>\n"))
            return 1;
        bus.Export();
        {
            IPCStudentAPI api;
            EXPECT_EQ(api.Initialize(), 1);
            EXPECT_NE(IPCController::m_Instance, nullptr);
            EXPECT_TRUE(IPCController::m_Instance && IPCController::m_Instance->MatchRefused());
            EXPECT_EQ(IPCController::m_IPCCounts, 1);
        }
        EXPECT_EQ(IPCController::m_Instance, nullptr);
        EXPECT_NE(logText("publicLog")
                      .find("IPCStudentAPI::Initialize() --The bus refused the match rule"),
                  std::string::npos);
        return 0;
    });
}
