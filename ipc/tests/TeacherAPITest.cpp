// The teacher application API and its notification dispatch against a real
// private bus, checked on the wire by a raw libdbus daemon. Every bus
// scenario runs in a forked child (one controller per process).
#include "ApiTestSupport.h"
#include "IPCController.h"
#include "IPCTeacherAPI.h"
#include "IntfData.h"
#include "LockScheduleData.h"
#include "TeacherMessageNotify.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>

using namespace IPCAPI;
using namespace apitest;

namespace {

const char* const kDaemon = "tav.teacher.daemon";
const char* const kAppIface = "tav.teacherapp.type";
const char* const kDaemonIface = "tav.teacherdaemon.type";
const std::vector<std::string> kDaemonRules = {"type='signal',interface='tav.teacherapp.type'",
                                               "type='signal',interface='tav.teacherdaemon.type'"};

std::string Show(const tagStudent_t& s)
{
    return s.studentID + "|" + s.username + "|" + s.hostname + "|" + s.IP + "|" +
           std::to_string(s.bLocked) + "|" + std::to_string(s.start_time) + "|" +
           std::to_string(s.status);
}

tagStudent_t Record(const std::string& id)
{
    tagStudent_t s;
    s.studentID = id;
    s.username = "old";
    return s;
}

class Recorder : public IIPCTeacherAPICallback {
public:
    void SearchProgramCallBack(std::string studentID, std::string programsXML) override
    {
        journal.Add("Search|" + studentID + "|" + programsXML);
    }
    void ManualLockRemotStudentCallBack(std::string studentID, int result) override
    {
        journal.Add("Lock|" + studentID + "|" + std::to_string(result));
    }
    void ManualUnLockRemotStudentCallBack(std::string studentID, int result) override
    {
        journal.Add("Unlock|" + studentID + "|" + std::to_string(result));
    }
    void KickOffStudentCallBack(std::string studentID, int result) override
    {
        journal.Add("Kick|" + studentID + "|" + std::to_string(result));
    }
    void NotifyStudentStatusChanged(std::string studentID, int status) override
    {
        journal.Add("Status|" + studentID + "|" + std::to_string(status));
    }
    void DeployTabNavPolicyCallBack(std::string studentID, bool success) override
    {
        journal.Add("TabNav|" + studentID + "|" + std::to_string(success));
    }
    void DeploySchedulePolicyCallBack(std::string studentID, bool success) override
    {
        journal.Add("Schedule|" + studentID + "|" + std::to_string(success));
    }
    void NewStudentCallBack(const tagStudent_t& student) override
    {
        journal.Add("New|" + Show(student));
        // Answering from the worker thread is allowed.
        if (api)
            api->ControlNewStudentConnect(student.studentID, true);
    }
    void OnMessage(int id, std::string text) override
    {
        journal.Add("Message|" + std::to_string(id) + "|" + text);
    }

    IPCTeacherAPI* api = nullptr;
    Journal journal;
};

std::string LockPolicyText()
{
    LibTAVData::CLockScheduleData policy;
    policy.SetAutoLock(1);
    policy.SetLockStatus(4);
    std::string text;
    policy.Save2String(text);
    return text;
}

// Answers with a result of opid + 1000 and the outputs each query has.
Answer Catalogue(const WireMsg& call)
{
    const int opid = OpidOf(call.arg);
    CIntfData reply(call.member, opid, "null");
    reply.SetResult(opid + 1000);
    std::string params;
    if (call.member == "TEACHER_GETSTUDENTLIST")
        params = Doc({Student("S1", "u1", "h1", "10.0.0.1", 1, 11, 2),
                      Student("S2", "u2", "h2", "10.0.0.2", 0, 12, 3),
                      Student("S3", "u3", "h3", "10.0.0.3", 1, 13, 4)});
    else if (call.member == "TEACHER_GETSTUDENTSTATUS")
        params = Doc({Student("S1", "u1", "h1", "10.0.0.1", 1, 11, 2),
                      Student("S2", "u2", "h2", "10.0.0.2", 0, 12, 3)});
    else if (call.member == "TEACHER_GETSTUDENTLOCKPOLICY")
        reply.m_ParaXml.setString("lockPolicy", LockPolicyText());
    std::string text;
    reply.toString(text);
    return {Answer::Text, text + params};
}

} // namespace

// Every request of the catalogue, with the odd spellings, on the wire; what
// the queries read back; the retired list forms send nothing.
TEST(TeacherAPI, EveryRequestOnTheWire)
{
    EXPECT_CHILD_PASSES([] {
        RawDaemon daemon(kDaemon, kDaemonRules, Catalogue);
        EXPECT_TRUE(daemon.Ok());
        OpidAccess::Set(200);
        IPCTeacherAPI api;
        int searchOpid = -1;
        std::list<tagStudent_t> students = {Record("A"), Record("B")};
        tagStudent_t student = Record("A");
        LibTAVData::CLockScheduleData policy;
        const std::list<std::string> ids = {"S1", "S2"};
        const std::string idEntries = S("listmember", "S1") + S("listmember", "S2");

        struct Case {
            std::string member;
            const char* iface; // signal interface, or null for a blocking call
            std::string studentID;
            std::string params;
            std::function<int(int&)> run;
        };
        const std::vector<Case> cases = {
            {"TEACHER_UPDATETEACHERINFO", nullptr, "null", Doc({S("teacherInfoXML", "info")}),
             [&](int& r) { return api.UpdateTeacherInfo("info", r); }},
            {"TEACHER_STARTCONTROLLER", nullptr, "null", "",
             [&](int& r) { return api.StartController(r); }},
            {"TEACHER_STOPCONTROLLER", nullptr, "null", "",
             [&](int& r) { return api.StopController(r); }},
            {"TEACHER_SEARCHPROGRAM", kAppIface, "null", Doc({S("targetFolder", "/opt")}),
             [&](int&) { return api.SearchProgram("/opt", searchOpid); }},
            {"TEACHER_CANCELOPERATION", nullptr, "null", Doc({I("OID", 204)}),
             [&](int& r) { return api.CancelOperation(searchOpid, r); }},
            {"TEACHER_GETSTUDENTLIST", nullptr, "null", "",
             [&](int& r) { return api.GetStudentList(students, r); }},
            {"TEACHER_GETSTUDENTSTATUS", nullptr, "S1", "",
             [&](int& r) { return api.GetStudentStatus("S1", student, r); }},
            {"TEACHER_GETSTUDENTLOCKPOLICY", nullptr, "S2", "",
             [&](int& r) { return api.GetStudentLockPolicy("S2", policy, r); }},
            {"TEACHER_CHANGEPASSWORD", nullptr, "null",
             Doc({S("OldPassword", "old-s3cret"), S("NewPassword", "new-s3cret")}),
             [&](int& r) { return api.ChangePassword("old-s3cret", "new-s3cret", r); }},
            {"TEACHER_IMPORTCERTIFICATE", nullptr, "null", Doc({S("Path", "/c.pem")}),
             [&](int& r) { return api.ImportCertificate("/c.pem", r); }},
            {"TEACHER_VERIFYPASSWORD", nullptr, "null",
             Doc({S("Password", "pw-s3cret"), S("path", "/p")}),
             [&](int& r) { return api.VerifyPassword("/p", "pw-s3cret", r); }},
            {"TEACHER_VERIFYPASSWORD", nullptr, "null",
             Doc({S("Password", "pw-s3cret"), S("path", "")}),
             [&](int& r) { return api.VerifyPassword("pw-s3cret", r); }},
            {"TEACHER_VERIFYCERTIFICATE", nullptr, "null", Doc({S("path", "/c")}),
             [&](int& r) { return api.VerifyCertificate("/c", r); }},
            {"TEACHER_VERIFYCERTIFICATE", nullptr, "null", Doc({S("path", "")}),
             [&](int& r) { return api.VerifyCertificate(r); }},
            {"POSTMESSAGE", kDaemonIface, "null", Doc({I("MessageID", 3), S("Message", "m")}),
             [&](int&) { return api.PostMessage(3, "m"); }},
            {"TEACHER_DEPLOYTABNAVPOLICY", kAppIface, "S1", Doc({S("tabNavPolicyXML", "tab")}),
             [&](int&) { return api.DeployTabNavPolicy("S1", "tab"); }},
            {"TEACHER_DEPLOYTABNAVPOLICYLIST", kAppIface, "",
             Doc({idEntries, S("tabNavPolicyXML", "tab")}),
             [&](int&) { return api.DeployTabNavPolicy(ids, "tab"); }},
            {"TEACHER_DEPLOYSCHEDULEPOLICY", kAppIface, "S1", Doc({S("schedulePolicyXML", "sch")}),
             [&](int&) { return api.DeploySchedulePolicy("S1", "sch"); }},
            {"TEACHER_DEPLOYSCHEDULEPOLICYLIST", kAppIface, "",
             Doc({idEntries, S("schedulePolicyXML", "sch")}),
             [&](int&) { return api.DeploySchedulePolicy(ids, "sch"); }},
            {"TEACHER_KICKOFFSTUDENT", kAppIface, "S3", "",
             [&](int&) { return api.KickOffStudent("S3"); }},
            {"TEACHER_CONTROLNEWSTUDENTCONNECT", kAppIface, "S4", Doc({S("allow", "FALSE")}),
             [&](int&) { return api.ControlNewStudentConnect("S4", false); }},
            {"TEACHER_CONTROLNEWSTUDENTCONNECT", kAppIface, "S4", Doc({S("allow", "TRUE")}),
             [&](int&) { return api.ControlNewStudentConnect("S4", true); }},
            {"TEACHER_MANUALUNLOCKREMOTESTUDEN", kAppIface, "S5", "",
             [&](int&) { return api.ManualUnlockRemoteStudent("S5"); }},
            {"TEACHER_MANUALLOCKREMOTESTUDENT", kAppIface, "S5", Doc({S("lockPolicy", "lp")}),
             [&](int&) { return api.ManualLockRemotStudent("S5", "lp"); }},
        };
        int opid = 200;
        for (const Case& c : cases) {
            SCOPED_TRACE(c.member);
            ++opid;
            int ret = -1;
            EXPECT_EQ(c.run(ret), 0);
            ExpectRequestOnWire(daemon.Take(), c.member,
                                Envelope(c.member, opid, c.studentID, 0, c.params), c.iface,
                                kAppIface, kDaemon, opid, ret);
        }
        EXPECT_EQ(searchOpid, 204);
        // Replaced by the three of the answer.
        std::vector<std::string> shown;
        for (const tagStudent_t& s : students)
            shown.push_back(Show(s));
        EXPECT_EQ(shown,
                  (std::vector<std::string>{"S1|u1|h1|10.0.0.1|1|11|2", "S2|u2|h2|10.0.0.2|0|12|3",
                                            "S3|u3|h3|10.0.0.3|1|13|4"}));
        EXPECT_EQ(Show(student), "S1|u1|h1|10.0.0.1|1|11|2");
        EXPECT_TRUE(policy.IsAutoLockEnable());
        EXPECT_EQ(policy.GetLockStatus(), 4);

        // The retired list forms put nothing on the bus and use no id; a
        // student id too long for its field or text that is not UTF-8 is
        // refused before the bus.
        EXPECT_EQ(api.ManualUnlockRemoteStudent(ids), 1);
        EXPECT_EQ(api.ManualLockRemotStudent(ids, "lp"), 1);
        EXPECT_EQ(api.KickOffStudent(std::string(65, 'x')), 1);
        EXPECT_EQ(api.DeployTabNavPolicy("S1", "\xff\xfe"), 1);
        EXPECT_EQ(api.KickOffStudent("S9"), 0);
        EXPECT_EQ(daemon.Take().arg, Envelope("TEACHER_KICKOFFSTUDENT", opid + 3, "S9", 0));

        const std::string log = LogText("publicLog");
        EXPECT_TRUE(Logged(log, "TRACE", "IPCTeacherAPI::StartController() --errCode = 1202"));
        EXPECT_TRUE(Logged(log, "TRACE",
                           "IPCTeacherAPI::GetStudentList() --return StudentList No.3 =  "
                           "--StuInfo.IP = 10.0.0.3"));
        EXPECT_TRUE(Logged(
            log, "TRACE",
            "IPCTeacherAPI::GetStudentStatus() --return StudentInfo =  --StuInfo.studentID = S1"));
        EXPECT_TRUE(Logged(
            log, "TRACE",
            "IPCTeacherAPI::ManualUnlockRemoteStudent(list)--This method is no longer used!"));
        EXPECT_TRUE(
            Logged(log, "TRACE",
                   "IPCTeacherAPI::ManualLockRemotStudent(list) --This method is no longer used!"));
        EXPECT_TRUE(Logged(
            log, "ERROR", "IPCTeacherAPI::KickOffStudent() --Build Message Failure, nothing sent"));
        EXPECT_EQ(log.find("s3cret"), std::string::npos);
        return 0;
    });
}

// Answers that are not usable leave every out-argument alone; the list and
// the record are replaced only by answers that carry entries.
TEST(TeacherAPI, RepliesAndTheirOutArguments)
{
    EXPECT_CHILD_PASSES([] {
        enum Mode { Empty, Error, NoArgument, Five };
        std::atomic<int> mode{Empty};
        std::unique_ptr<RawDaemon> daemon(
            new RawDaemon(kDaemon, kDaemonRules, [&](const WireMsg& call) {
                switch (mode.load()) {
                case Error:
                    return Answer{Answer::Error, ""};
                case NoArgument:
                    return Answer{Answer::NoArgument, ""};
                case Five:
                    return Answer{Answer::Text, Envelope(call.member, OpidOf(call.arg), "null", 5)};
                default:
                    return Answer{Answer::Text, Envelope(call.member, OpidOf(call.arg), "null", 7)};
                }
            }));
        IPCTeacherAPI api;
        std::list<tagStudent_t> students = {Record("A"), Record("B")};
        tagStudent_t student = Record("A");
        LibTAVData::CLockScheduleData policy;
        policy.SetLockStatus(2);
        int ret = -77;
        auto unchanged = [&] {
            return students.size() == 2 && students.front().studentID == "A" &&
                   student.studentID == "A" && policy.GetLockStatus() == 2;
        };

        // An answer without parameters: result only.
        EXPECT_EQ(api.GetStudentList(students, ret), 0);
        EXPECT_EQ(ret, 7);
        ret = -77;
        EXPECT_EQ(api.GetStudentStatus("A", student, ret), 0);
        EXPECT_EQ(ret, 7);
        EXPECT_TRUE(unchanged());

        for (int m : {Error, NoArgument}) {
            mode = m;
            ret = -77;
            EXPECT_EQ(api.GetStudentList(students, ret), 1);
            EXPECT_EQ(api.GetStudentStatus("A", student, ret), 1);
            EXPECT_EQ(api.GetStudentLockPolicy("A", policy, ret), 1);
            EXPECT_EQ(api.ChangePassword("a", "b", ret), 1);
            EXPECT_EQ(ret, -77);
            EXPECT_TRUE(unchanged());
        }
        mode = Five;
        EXPECT_EQ(api.StopController(ret), 0);
        EXPECT_EQ(ret, 5);
        // An answer without a policy still counts.
        ret = -77;
        EXPECT_EQ(api.GetStudentLockPolicy("A", policy, ret), 0);
        EXPECT_EQ(ret, 5);
        policy.SetLockStatus(2);

        daemon.reset();
        ret = -77;
        EXPECT_EQ(api.GetStudentList(students, ret), 1);
        EXPECT_EQ(ret, -77);
        EXPECT_TRUE(unchanged());
        const std::string log = LogText("publicLog");
        EXPECT_TRUE(Logged(
            log, "ERROR",
            "IPCTeacherAPI::GetStudentList() --Send Message to DBUs Failure Error Code : 3"));
        EXPECT_TRUE(Logged(
            log, "ERROR",
            "IPCTeacherAPI::ChangePassword() --Send Message to DBUs Failure Error Code : 1"));
        return 0;
    });
}

// Every notification of the table, sent by a raw peer, reaches the callback;
// a callback may answer with a request from the worker thread.
TEST(TeacherAPI, NotificationsReachTheCallback)
{
    EXPECT_CHILD_PASSES([] {
        RawDaemon daemon(kDaemon, {"type='signal',interface='tav.teacherapp.type'"},
                         [](const WireMsg&) {
                             return Answer{Answer::NoArgument, ""};
                         });
        IPCTeacherAPI api;
        Recorder recorder;
        recorder.api = &api;
        api.RegisterCallBack(&recorder);
        DBusConnection* peer = rawpeer::Connect();
        auto send = [&](const char* member, const std::string& sid, int result,
                        const std::string& params) {
            const std::string text = Envelope(member, 9, sid, result, params);
            rawpeer::Signal(peer, kDaemonIface, member, text.c_str());
        };
        send("TEACHER_SEARCHPROGRAMCALLBACK", "S1", 0, Doc({S("programsXML", "&lt;p/&gt;")}));
        send("TEACHER_SEARCHPROGRAMCALLBACK", "S2", 2, Doc({S("programsXML", "&lt;p/&gt;")}));
        send("TEACHER_MANUALLOCKREMOTESTUDENTCALLBACK", "S1", 0, Doc({I("iReturn", 3)}));
        send("TEACHER_MANUALUNLOCKREMOTESTUDENTCALLBACK", "S1", 0, Doc({I("iReturn", 4)}));
        send("TEACHER_MANUALUNLOCKREMOTESTUDEN", "S1", 0, Doc({I("iReturn", 4)}));
        send("TEACHER_KICKOFFSTUDENTCALLBACK", "S1", 0, "");
        send("TEACHER_NOTIFYSTUDENTSTATUSCHANGED", "S1", 0, Doc({I("iStatus", 5)}));
        send("TEACHER_DEPLOYTABNAVPOLICYCALLBACK", "S1", 0, Doc({S("bSuccess", "TRUE")}));
        send("TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK", "S1", 0, Doc({S("bSuccess", "FALSE")}));
        send("TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK", "S1", 0, Doc({S("bSuccess", "True")}));
        send("TEACHER_CONTROLNEWSTUDENTCONNECTCALLBACK", "null", 0, "");
        send("TEACHER_CONTROLNEWSTUDENTCONNECTCALLBACK", "null", 0,
             Doc({Student("N1", "user1", "host1", "10.0.0.1", 1, 100, 2),
                  Student("N2", "u", "h", "i", 0, 0, 0)}));
        send("TEACHER_KICKOFFSTUDENT", "S1", 0, "");
        send("POSTMESSAGE", "null", 0, Doc({I("MessageID", 7), S("Message", "hi")}));
        const std::vector<std::string> expected = {
            "Search|S1|<p/>", "Search|S2|",
            "Lock|S1|3",      "Unlock|S1|4",
            "Kick|S1|0",      "Status|S1|5",
            "TabNav|S1|1",    "Schedule|S1|0",
            "Schedule|S1|0",  "New|N1|user1|host1|10.0.0.1|1|100|2",
            "Message|7|hi"};
        EXPECT_TRUE(tavtest::WaitFor([&] { return recorder.journal.Has("Message|7|hi"); }, 10000));
        EXPECT_EQ(recorder.journal.Entries(), expected);
        // The answer the callback sent.
        const WireMsg answer = daemon.Take();
        EXPECT_EQ(answer.member, "TEACHER_CONTROLNEWSTUDENTCONNECT");
        EXPECT_EQ(answer.arg.substr(74, 64), Pad("N1", 64));
        EXPECT_EQ(answer.arg.substr(148), Doc({S("allow", "TRUE")}));

        // A second object of the process joins the running worker; the first
        // switches its notifications off.
        IPCTeacherAPI second;
        EXPECT_EQ(IPCController::m_IPCCounts, 2);
        Recorder other;
        second.RegisterCallBack(&other);
        EXPECT_EQ(api.RegisterCallBack(nullptr), 0);
        send("POSTMESSAGE", "null", 0, Doc({I("MessageID", 8), S("Message", "both?")}));
        EXPECT_TRUE(tavtest::WaitFor([&] { return other.journal.Has("Message|8|both?"); }, 10000));
        EXPECT_EQ(recorder.journal.Entries(), expected);
        rawpeer::Close(peer);
        return 0;
    });
}

// Only signals on the teacher daemon's interface are notifications:
// messages sent to the application's name directly reach nobody.
TEST(TeacherAPI, OnlyTheDaemonsNotificationsReachTheCallback)
{
    EXPECT_CHILD_PASSES([] {
        IPCTeacherAPI api;
        Recorder recorder;
        api.RegisterCallBack(&recorder);
        DBusConnection* peer = rawpeer::Connect();
        const char* member = "TEACHER_MANUALLOCKREMOTESTUDENTCALLBACK";
        SendForgeries(peer, "tav.teacher.app", kDaemonIface, member,
                      Envelope(member, 1, "S6", 0, Doc({I("iReturn", 6)})));
        rawpeer::Signal(peer, kDaemonIface, member,
                        Envelope(member, 2, "S1", 0, Doc({I("iReturn", 0)})).c_str());
        EXPECT_TRUE(tavtest::WaitFor([&] { return !recorder.journal.Entries().empty(); }, 10000));
        // Anything forged would have come first.
        EXPECT_EQ(recorder.journal.Entries(), std::vector<std::string>{"Lock|S1|0"});
        rawpeer::Close(peer);
        return 0;
    });
}

// The dispatcher's results, straight (no bus needed).
TEST(TeacherMessageNotify, HandlerResults)
{
    TeacherMessageNotify notify;
    std::string scratch = "untouched";
    struct Case {
        const char* message;
        int result; // of the envelope
        std::string params;
        int expected; // with a callback registered
        bool called;
    };
    const std::string twoStudents =
        Doc({Student("N1", "u", "h", "i", 0, 0, 0), Student("N2", "u", "h", "i", 0, 0, 0)});
    const std::vector<Case> cases = {
        {"TEACHER_SEARCHPROGRAMCALLBACK", 0, Doc({S("programsXML", "x")}), 0, true},
        {"TEACHER_SEARCHPROGRAMCALLBACK", 0, "", 1, true},
        {"TEACHER_SEARCHPROGRAMCALLBACK", 2, "", 0, true},
        {"TEACHER_MANUALLOCKREMOTESTUDENTCALLBACK", 0, Doc({I("iReturn", 1)}), 0, true},
        {"TEACHER_MANUALLOCKREMOTESTUDENTCALLBACK", 0, "", 1, true},
        {"TEACHER_MANUALUNLOCKREMOTESTUDENTCALLBACK", 0, Doc({I("iReturn", 1)}), 0, true},
        {"TEACHER_KICKOFFSTUDENTCALLBACK", 0, Doc({S("iReturn", "1")}), 1, true},
        {"TEACHER_NOTIFYSTUDENTSTATUSCHANGED", 0, Doc({I("iStatus", 1)}), 0, true},
        {"TEACHER_DEPLOYTABNAVPOLICYCALLBACK", 0, Doc({S("bSuccess", "TRUE")}), 0, true},
        {"TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK", 0, Doc({S("bSuccess", "FALSE")}), 0, true},
        {"TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK", 0, "", 1, true},
        {"TEACHER_CONTROLNEWSTUDENTCONNECTCALLBACK", 0, twoStudents, 0, true},
        {"TEACHER_CONTROLNEWSTUDENTCONNECTCALLBACK", 0, Doc({S("other", "x")}), 1, false},
        {"POSTMESSAGE", 0, Doc({I("MessageID", 1), S("Message", "m")}), 0, true},
        {"POSTMESSAGE", 0, Doc({I("MessageID", 1)}), 1, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(
            notify.DoAction(c.message, Envelope(c.message, 1, "S1", c.result, c.params), scratch),
            1)
            << c.message;
    Recorder recorder;
    notify.SetCallBack(&recorder);
    size_t calls = 0;
    for (const Case& c : cases) {
        EXPECT_EQ(
            notify.DoAction(c.message, Envelope(c.message, 1, "S1", c.result, c.params), scratch),
            c.expected)
            << c.message << " " << c.params;
        calls += c.called;
        EXPECT_EQ(recorder.journal.Entries().size(), calls) << c.message << " " << c.params;
    }
    EXPECT_EQ(recorder.journal.Entries()[1], "Search|S1|");
    EXPECT_EQ(recorder.journal.Entries()[10], "Schedule|S1|0");
    EXPECT_EQ(recorder.journal.Entries()[11], "New|N1|u|h|i|0|0|0");
    EXPECT_EQ(
        notify.DoAction("TEACHER_MANUALUNLOCKREMOTESTUDEN", Envelope("X", 1, "S1", 0), scratch), 1);
    EXPECT_EQ(notify.DoAction("NameAcquired", ":1.5", scratch), 1);
    EXPECT_EQ(notify.DoAction("TEACHER_KICKOFFSTUDENTCALLBACK", "short", scratch), 1);
    EXPECT_EQ(recorder.journal.Entries().size(), calls);
    EXPECT_EQ(scratch, "untouched");
}
