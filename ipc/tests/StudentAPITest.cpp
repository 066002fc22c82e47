// The student application API and its notification dispatch against a real
// private bus, checked on the wire by a raw libdbus daemon. Every bus
// scenario runs in a forked child (one controller per process).
#include "ApiTestSupport.h"
#include "IPCController.h"
#include "IPCStudentAPI.h"
#include "InputLimits.h"
#include "StudentMessageNotify.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <stdexcept>

using namespace IPCAPI;
using namespace apitest;

namespace {

const char* const kDaemon = "tav.student.daemon";
const char* const kAppIface = "tav.studentapp.type";
const char* const kDaemonIface = "tav.studentdaemon.type";
const std::vector<std::string> kDaemonRules = {"type='signal',interface='tav.studentapp.type'",
                                               "type='signal',interface='tav.studentdaemon.type'"};

// Writes every call down as one line.
class Recorder : public IIPCStudentAPICallback {
public:
    void ConnectTeacherCallBack(std::string teacherID, int result) override
    {
        journal.Add("ConnectTeacher|" + teacherID + "|" + std::to_string(result));
    }
    void SearchTeacherCallBack(const std::list<std::string>& teachers) override
    {
        std::string all;
        for (const std::string& t : teachers)
            all += (all.empty() ? "" : ",") + t;
        journal.Add("SearchTeacher|" + all);
    }
    void NotifyLockStatusChanged(bool locked) override
    {
        journal.Add("Lock|" + std::to_string(locked));
    }
    void NotifyTabNavPolicyChanged() override { journal.Add("TabNav"); }
    void NotifySchedulePolicyChanged() override { journal.Add("Schedule"); }
    void NotifyTeacherStatusChanged(std::string teacherID, int state) override
    {
        journal.Add("TeacherStatus|" + teacherID + "|" + std::to_string(state));
    }
    void SearchLocalProgramCallBack(std::string programsXML) override
    {
        journal.Add("LocalPrograms|" + programsXML);
    }
    void OnMessage(int id, std::string text) override
    {
        if (id == 666)
            throw std::runtime_error("host callback failed");
        journal.Add("Message|" + std::to_string(id) + "|" + text);
    }

    Journal journal;
};

// Answers with the request's id, a result of opid + 1000 and, for
// GETCONNECTEDTEACHER, a teacher id.
Answer EchoResult(const WireMsg& call)
{
    const int opid = OpidOf(call.arg);
    const std::string params = call.member == "GETCONNECTEDTEACHER"
                                   ? Doc({S("strTeacherID", "T-" + std::to_string(opid))})
                                   : "";
    return {Answer::Text, Envelope(call.member, opid, "null", opid + 1000, params)};
}

} // namespace

// Every request of the catalogue: member, interface, path, destination,
// message type and the exact envelope text, and what is read back.
TEST(StudentAPI, EveryRequestOnTheWire)
{
    EXPECT_CHILD_PASSES([] {
        RawDaemon daemon(kDaemon, kDaemonRules, EchoResult);
        EXPECT_TRUE(daemon.Ok());
        OpidAccess::Set(100);
        IPCStudentAPI api;
        Recorder recorder;
        EXPECT_EQ(api.RegisterCallBack(&recorder), 0);

        // A policy text with quotes travels single-quoted, escaped.
        const std::string xml = "<a x=\"1\">&amp;\n</a>";
        const std::string xmlPrinted = "&lt;a x=&quot;1&quot;&gt;&amp;amp;&#x0A;&lt;/a&gt;";
        int searchOpid = -1;
        std::string teacher = "before";

        struct Case {
            std::string member;
            const char* iface; // signal interface, or null for a blocking call
            std::string params;
            std::function<int(int&)> run;
        };
        const std::vector<Case> cases = {
            {"POSTMESSAGE", kDaemonIface, Doc({I("MessageID", 7), S("Message", "hi")}),
             [&](int&) { return api.PostMessage(7, "hi"); }},
            {"SEARCHLOCALPROGRAM", kAppIface, Doc({S("targetFolder", "/usr/share/app dir")}),
             [&](int&) { return api.SearchLocalProgram("/usr/share/app dir", searchOpid); }},
            {"SEARCHTEACHER", kAppIface, "", [&](int&) { return api.SearchTeacher(); }},
            {"CONNECTTEACHER", kAppIface, Doc({S("strTeacherID", "T1")}),
             [&](int&) { return api.ConnectTeacher("T1"); }},
            {"STUDENT_SWITCHTONORMALOS", nullptr, "",
             [&](int& r) { return api.SwitchToNormalOS(r); }},
            {"STUDENT_CANCELOPERATION", nullptr, Doc({I("OID", 102)}),
             [&](int& r) { return api.CancelOperation(searchOpid, r); }},
            {"VERIFYUSERPASSWORD", nullptr,
             Doc({S("UserName", "alice"), S("Password", "pw&amp;1")}),
             [&](int& r) { return api.VerifyUserPassword("alice", "pw&1", r); }},
            {"GETCONNECTEDTEACHER", nullptr, "",
             [&](int& r) { return api.GetConnectedTeacher(teacher, r); }},
            {"HARDWARECONTROL", nullptr, Doc({P("strXML", "string", xmlPrinted, '\'')}),
             [&](int& r) { return api.HardWareControl(xml, r); }},
            {"SAVESTUDENTINFO", nullptr, Doc({S("strXML", "info")}),
             [&](int& r) { return api.SaveStudentInfo("info", r); }},
            {"SAVELOCALSCHEDULEPOLICY", nullptr, Doc({S("strXML", "schedule")}),
             [&](int& r) { return api.SaveLocalSchedulePolicy("schedule", r); }},
            {"SAVELOCALTABNAVPOLICY", nullptr, Doc({S("strXML", "tabnav")}),
             [&](int& r) { return api.SaveLocalTabNavPolicy("tabnav", r); }},
            {"DISCONNECTSTUDENT", nullptr, "", [&](int& r) { return api.DisconnectStudent(r); }},
            {"MANUALUNLOCKLOCALSTUDENT", nullptr, "",
             [&](int& r) { return api.ManualUnLockLocalStudent(r); }},
            {"MANUALLOCKLOCALSTUDENT", nullptr, Doc({S("lockPolicy", "lock")}),
             [&](int& r) { return api.ManualLockLocalStudent("lock", r); }},
        };
        int opid = 100;
        for (const Case& c : cases) {
            SCOPED_TRACE(c.member);
            ++opid;
            int ret = -1;
            EXPECT_EQ(c.run(ret), 0);
            ExpectRequestOnWire(daemon.Take(), c.member,
                                Envelope(c.member, opid, "null", 0, c.params), c.iface, kAppIface,
                                kDaemon, opid, ret);
        }
        EXPECT_EQ(searchOpid, 102);
        EXPECT_EQ(teacher, "T-108");
        const std::string log = LogText("publicLog");
        EXPECT_TRUE(Logged(log, "TRACE", "IPCStudentAPI::HardWareControl() --iReturn = 1109"));
        EXPECT_TRUE(Logged(log, "TRACE", "IPCStudentAPI::ConnectTeacher() --strTeacherID = T1"));
        EXPECT_TRUE(
            Logged(log, "TRACE",
                   "IPCStudentAPI::SearchLocalProgram() --targetFolder = /usr/share/app dir"));
        EXPECT_TRUE(Logged(log, "TRACE", "IPCStudentAPI::PostMessage() --Message = hi"));
        EXPECT_TRUE(Logged(log, "TRACE", "IPCStudentAPI::HardWareControl() >>Start"));
        EXPECT_FALSE(Logged(log, "TRACE", "IPCStudentAPI::SwitchToNormalOS() --iReturn = 1105"));
        EXPECT_EQ(log.find("pw&1"), std::string::npos);
        EXPECT_EQ(log.find("pw&amp;1"), std::string::npos);
        // The broadcast reaches this application too, through its own rule.
        EXPECT_TRUE(tavtest::WaitFor([&] { return recorder.journal.Has("Message|7|hi"); }));
        return 0;
    });
}

// Replies that are not a usable answer: 1, out-arguments untouched; the
// daemon's own result codes pass through.
TEST(StudentAPI, FailedAndOddReplies)
{
    EXPECT_CHILD_PASSES([] {
        std::unique_ptr<RawDaemon> daemon(
            new RawDaemon(kDaemon, kDaemonRules, [](const WireMsg& call) {
                const int opid = OpidOf(call.arg);
                if (call.member == "HARDWARECONTROL")
                    return Answer{Answer::Error, ""};
                if (call.member == "SAVESTUDENTINFO")
                    return Answer{Answer::NoArgument, ""};
                if (call.member == "SAVELOCALTABNAVPOLICY")
                    return Answer{Answer::Text, "too short for an envelope"};
                if (call.member == "SAVELOCALSCHEDULEPOLICY")
                    return Answer{Answer::Text, Envelope(call.member, opid, "null", 5)};
                // GETCONNECTEDTEACHER without "strTeacherID".
                return Answer{Answer::Text,
                              Envelope(call.member, opid, "null", 6, Doc({S("other", "x")}))};
            }));
        IPCStudentAPI api;
        int ret = -77;
        EXPECT_EQ(api.HardWareControl("x", ret), 1);
        EXPECT_EQ(api.SaveStudentInfo("x", ret), 1);
        EXPECT_EQ(api.SaveLocalTabNavPolicy("x", ret), 1);
        EXPECT_EQ(ret, -77);
        EXPECT_EQ(api.SaveLocalSchedulePolicy("x", ret), 0);
        EXPECT_EQ(ret, 5);
        std::string teacher = "kept";
        EXPECT_EQ(api.GetConnectedTeacher(teacher, ret), 0);
        EXPECT_EQ(teacher, "kept");
        EXPECT_EQ(ret, 6);

        // No daemon at all.
        daemon.reset();
        ret = -77;
        EXPECT_EQ(api.DisconnectStudent(ret), 1);
        EXPECT_EQ(api.GetConnectedTeacher(teacher, ret), 1);
        EXPECT_EQ(ret, -77);
        EXPECT_EQ(teacher, "kept");

        const std::string log = LogText("publicLog");
        EXPECT_TRUE(Logged(
            log, "ERROR",
            "IPCStudentAPI::HardWareControl() --Send Message to DBUs Failure Error Code : 3"));
        EXPECT_TRUE(Logged(
            log, "ERROR",
            "IPCStudentAPI::SaveStudentInfo() --Send Message to DBUs Failure Error Code : 1"));
        EXPECT_TRUE(
            Logged(log, "ERROR", "IPCStudentAPI::SaveLocalTabNavPolicy() --Load Result Failure"));
        EXPECT_TRUE(Logged(log, "TRACE", "IPCStudentAPI::SaveLocalSchedulePolicy() --iReturn = 5"));
        EXPECT_TRUE(Logged(
            log, "ERROR",
            "IPCStudentAPI::DisconnectStudent() --Send Message to DBUs Failure Error Code : 3"));
        return 0;
    });
}

// Without a bus every request fails with 1 and touches nothing; the host
// lives on.
TEST(StudentAPI, NoBusAtAll)
{
    EXPECT_CHILD_PASSES([] {
        setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + tavtest::Home() + "/no-bus").c_str(), 1);
        IPCStudentAPI api;
        int ret = -77, opid = -1;
        std::string teacher = "kept";
        EXPECT_EQ(api.SearchTeacher(), 1);
        EXPECT_EQ(api.PostMessage(1, "x"), 1);
        EXPECT_EQ(api.SearchLocalProgram("/", opid), 1);
        EXPECT_GT(opid, 0);
        EXPECT_EQ(api.VerifyUserPassword("u", "p", ret), 1);
        EXPECT_EQ(api.GetConnectedTeacher(teacher, ret), 1);
        EXPECT_EQ(ret, -77);
        EXPECT_EQ(teacher, "kept");
        return 0;
    });
}

// Both kinds of notifications sent by a raw peer reach the callback in
// order; missing parameters read as empty or 0, only "TRUE" is true,
// unknown names and unreadable envelopes reach nobody.
TEST(StudentAPI, NotificationsReachTheCallback)
{
    EXPECT_CHILD_PASSES([] {
        IPCStudentAPI api;
        Recorder recorder;
        api.RegisterCallBack(&recorder);
        DBusConnection* peer = rawpeer::Connect();
        auto send = [&](const char* member, const std::string& params,
                        const char* iface = kDaemonIface) {
            const std::string text = Envelope(member, 9, "S1", 0, params);
            rawpeer::Signal(peer, iface, member, text.c_str());
        };
        send("CONNECTTEACHERCALLBACK", Doc({S("strTeacherID", "T1"), I("iReturn", 4)}));
        send("CONNECTTEACHERCALLBACK", "");
        send("SEARCHTEACHERCALLBACK", Doc({S("listmember", "A"), S("listmember", "B")}));
        send("NOTIFYLOCKSTATUSCHANGED", Doc({S("bLock", "TRUE")}));
        send("NOTIFYLOCKSTATUSCHANGED", Doc({S("bLock", "true")}));
        send("NOTIFYTABNAVPOLICYCHANGED", "");
        send("NOTIFYSCHEDULEPOLICYCHANGED", "");
        send("NOTIFYTEACHERSTATUSCHANGED", Doc({S("strTeacherID", "T2")}));
        send("SEARCHLOCALPROGRAMCALLBACK", Doc({S("programsXML", "&lt;p/&gt;")}));
        send("SEARCHTEACHER", Doc({S("listmember", "A")}));
        send("notifytabnavpolicychanged", "");
        send("NOTIFYTABNAVPOLICYCHANGED", "", kAppIface);
        rawpeer::Signal(peer, kDaemonIface, "NOTIFYSCHEDULEPOLICYCHANGED", "not an envelope");
        send("POSTMESSAGE", Doc({I("MessageID", 666), S("Message", "throws")}));
        send("POSTMESSAGE", Doc({I("MessageID", 7), S("Message", "hi")}));
        const std::vector<std::string> expected = {"ConnectTeacher|T1|4",
                                                   "ConnectTeacher||0",
                                                   "SearchTeacher|A,B",
                                                   "Lock|1",
                                                   "Lock|0",
                                                   "TabNav",
                                                   "Schedule",
                                                   "TeacherStatus|T2|0",
                                                   "LocalPrograms|<p/>",
                                                   "Message|7|hi"};
        EXPECT_TRUE(tavtest::WaitFor([&] { return recorder.journal.Has("Message|7|hi"); }, 10000));
        EXPECT_EQ(recorder.journal.Entries(), expected);

        // A second object of the process, with its own callback; the first
        // switches its notifications off.
        IPCStudentAPI second;
        Recorder other;
        second.RegisterCallBack(&other);
        EXPECT_EQ(api.RegisterCallBack(nullptr), 0);
        send("POSTMESSAGE", Doc({I("MessageID", 8), S("Message", "both?")}));
        EXPECT_TRUE(tavtest::WaitFor([&] { return other.journal.Has("Message|8|both?"); }, 10000));
        EXPECT_EQ(recorder.journal.Entries(), expected);
        rawpeer::Close(peer);
        return 0;
    });
}

// Only signals on the daemon's interface are notifications: messages sent
// to the application's name directly reach nobody, nor does an envelope over
// the size limit (refused with its size, never logged). A message over what
// the bus library reads at all costs the connection, which comes back.
TEST(StudentAPI, OnlyTheDaemonsNotificationsReachTheCallback)
{
    EXPECT_CHILD_PASSES([] {
        IPCStudentAPI api;
        Recorder recorder;
        api.RegisterCallBack(&recorder);
        DBusConnection* peer = rawpeer::Connect();
        auto post = [](int id, const std::string& text) {
            return Envelope("POSTMESSAGE", id, "null", 0,
                            Doc({I("MessageID", id), S("Message", text)}));
        };
        SendForgeries(
            peer, "tav.student.app", kDaemonIface, "NOTIFYLOCKSTATUSCHANGED",
            Envelope("NOTIFYLOCKSTATUSCHANGED", 1, "null", 0, Doc({S("bLock", "FALSE")})));
        const std::string big = post(1, std::string(tav_common::kMaxDocumentBytes, 'x'));
        rawpeer::Signal(peer, kDaemonIface, "POSTMESSAGE", big.c_str());
        rawpeer::Signal(
            peer, kDaemonIface, "NOTIFYLOCKSTATUSCHANGED",
            Envelope("NOTIFYLOCKSTATUSCHANGED", 2, "null", 0, Doc({S("bLock", "TRUE")})).c_str());
        EXPECT_TRUE(tavtest::WaitFor([&] { return recorder.journal.Has("Lock|1"); }, 10000));
        EXPECT_EQ(recorder.journal.Entries(), std::vector<std::string>{"Lock|1"});
        const std::string log = LogText("publicLog");
        EXPECT_NE(log.find("WARNING:   IPCController::DoAction() --Dropped signal "
                           "evil.iface.NOTIFYLOCKSTATUSCHANGED"),
                  std::string::npos);
        EXPECT_TRUE(Logged(log, "ERROR",
                           "IPCController::DoAction() --Refused POSTMESSAGE: envelope of " +
                               std::to_string(big.size()) + " bytes, over the limit of " +
                               std::to_string(tav_common::kMaxDocumentBytes) + " bytes"));
        EXPECT_EQ(log.find(std::string(1000, 'x')), std::string::npos);

        const std::string huge = post(2, std::string(tav_common::kMaxDocumentBytes + 100000, 'y'));
        rawpeer::UnicastSignal(peer, "tav.student.app", kDaemonIface, "POSTMESSAGE", huge.c_str());
        const std::string later = post(3, "after");
        EXPECT_TRUE(tavtest::WaitFor(
            [&] {
                rawpeer::Signal(peer, kDaemonIface, "POSTMESSAGE", later.c_str());
                return recorder.journal.Has("Message|3|after");
            },
            10000));
        EXPECT_NE(LogText("publicLog").find("IPCController --Connection to the bus lost"),
                  std::string::npos);
        EXPECT_TRUE(dbus_bus_name_has_owner(peer, "tav.student.app", nullptr));
        rawpeer::Close(peer);
        return 0;
    });
}

// A bus restart under a live application: the first request once the bus
// is back reaches the daemon, the name is owned again and later
// notifications arrive, without making the API object again.
TEST(StudentAPI, CarriesOnAfterABusRestart)
{
    EXPECT_CHILD_PASSES([] {
        tavtest::PrivateBus bus;
        if (!bus.Start())
            return 2;
        bus.Export();
        IPCStudentAPI api;
        Recorder recorder;
        api.RegisterCallBack(&recorder);
        int ret = -1;
        {
            RawDaemon daemon(kDaemon, {}, EchoResult);
            EXPECT_EQ(api.SwitchToNormalOS(ret), 0);
        }
        EXPECT_TRUE(bus.Restart());
        RawDaemon daemon(kDaemon, {}, EchoResult);
        EXPECT_TRUE(daemon.Ok());
        ret = -1;
        EXPECT_EQ(api.SwitchToNormalOS(ret), 0);
        EXPECT_GT(ret, 1000);
        DBusConnection* peer = rawpeer::Connect();
        EXPECT_TRUE(dbus_bus_name_has_owner(peer, "tav.student.app", nullptr));
        rawpeer::Signal(peer, kDaemonIface, "NOTIFYTABNAVPOLICYCHANGED",
                        Envelope("NOTIFYTABNAVPOLICYCHANGED", 1, "null", 0).c_str());
        EXPECT_TRUE(tavtest::WaitFor([&] { return recorder.journal.Has("TabNav"); }, 10000));
        rawpeer::Close(peer);
        return 0;
    });
}

// The dispatcher's results, straight (no bus needed).
TEST(StudentMessageNotify, HandlerResults)
{
    StudentMessageNotify notify;
    std::string scratch = "untouched";
    auto env = [](const char* m, const std::string& params) {
        return Envelope(m, 1, "null", 0, params);
    };
    struct Case {
        const char* message;
        std::string params;
        int result; // with a callback registered
    };
    const std::vector<Case> cases = {
        {"CONNECTTEACHERCALLBACK", Doc({S("strTeacherID", "T"), I("iReturn", 1)}), 0},
        {"CONNECTTEACHERCALLBACK", Doc({S("strTeacherID", "T")}), 1},
        {"CONNECTTEACHERCALLBACK", Doc({I("iReturn", 1)}), 1},
        {"SEARCHTEACHERCALLBACK", Doc({S("other", "x")}), 0},
        {"SEARCHTEACHERCALLBACK", "", 1},
        {"NOTIFYLOCKSTATUSCHANGED", Doc({S("bLock", "FALSE")}), 0},
        {"NOTIFYLOCKSTATUSCHANGED", "", 1},
        {"NOTIFYTABNAVPOLICYCHANGED", "", 0},
        {"NOTIFYSCHEDULEPOLICYCHANGED", "", 0},
        {"NOTIFYTEACHERSTATUSCHANGED", Doc({S("strTeacherID", "T"), I("iState", 2)}), 0},
        {"NOTIFYTEACHERSTATUSCHANGED", Doc({S("strTeacherID", "T")}), 1},
        {"SEARCHLOCALPROGRAMCALLBACK", Doc({S("programsXML", "x")}), 0},
        {"SEARCHLOCALPROGRAMCALLBACK", Doc({I("programsXML", 3)}), 1},
        {"POSTMESSAGE", Doc({I("MessageID", 7), S("Message", "hi")}), 0},
        {"POSTMESSAGE", Doc({S("Message", "hi")}), 1},
    };
    // No callback: every known message reports 1.
    for (const Case& c : cases)
        EXPECT_EQ(notify.DoAction(c.message, env(c.message, c.params), scratch), 1) << c.message;
    Recorder recorder;
    notify.SetCallBack(&recorder);
    for (const Case& c : cases)
        EXPECT_EQ(notify.DoAction(c.message, env(c.message, c.params), scratch), c.result)
            << c.message << " " << c.params;
    EXPECT_EQ(recorder.journal.Entries().size(), cases.size());
    EXPECT_EQ(recorder.journal.Entries()[1], "ConnectTeacher|T|0");
    EXPECT_EQ(recorder.journal.Entries()[3], "SearchTeacher|");
    EXPECT_EQ(recorder.journal.Entries()[14], "Message|0|hi");

    const size_t before = recorder.journal.Entries().size();
    EXPECT_EQ(notify.DoAction("SEARCHTEACHER", env("SEARCHTEACHER", ""), scratch), 1);
    EXPECT_EQ(notify.DoAction("NameAcquired", ":1.5", scratch), 1);
    EXPECT_EQ(notify.DoAction("NOTIFYTABNAVPOLICYCHANGED", "short", scratch), 1);
    // A throwing callback costs the message, not the worker thread.
    EXPECT_EQ(
        notify.DoAction("POSTMESSAGE", env("POSTMESSAGE", Doc({I("MessageID", 666)})), scratch), 1);
    EXPECT_EQ(recorder.journal.Entries().size(), before);
    EXPECT_EQ(scratch, "untouched");

    // Logged envelopes keep their passwords out of the log.
    notify.DoAction("POSTMESSAGE",
                    env("POSTMESSAGE", Doc({S("Password", "s3cret"), I("MessageID", 1)})), scratch);
    const std::string log = LogText("publicLog");
    EXPECT_EQ(log.find("s3cret"), std::string::npos);
    EXPECT_NE(log.find("StudentMessageNotify Receive Msg:" +
                       env("POSTMESSAGE", Doc({S("Password", "***"), I("MessageID", 1)}))),
              std::string::npos);
}

// Object lifetime: calls after UnInitialize fail cleanly; UnInitialize
// twice (the host's and the destructor's) leaves other objects connected.
TEST(StudentAPI, LifecycleIsSafe)
{
    EXPECT_CHILD_PASSES([] {
        IPCStudentAPI keeper;
        {
            IPCStudentAPI api;
            EXPECT_EQ(IPCController::m_IPCCounts, 2);
            EXPECT_EQ(api.Initialize(), 0);
            EXPECT_EQ(IPCController::m_IPCCounts, 2);
            EXPECT_EQ(api.UnInitialize(), 0);
            EXPECT_EQ(api.UnInitialize(), 0);
            Recorder r;
            EXPECT_EQ(api.RegisterCallBack(&r), 1);
            std::string scratch;
            EXPECT_EQ(api.DoAction("POSTMESSAGE", "x", scratch), 1);
            EXPECT_EQ(api.SearchTeacher(), 1);
        }
        EXPECT_EQ(IPCController::m_IPCCounts, 1);
        EXPECT_NE(IPCController::m_Instance, nullptr);
        EXPECT_TRUE(IPCController::m_Instance->IsStart());
        return 0;
    });
}
