// tavctl's teacher commands as a separate process over the private bus,
// against a teacher daemon of our own built on IPCTeacherDaemonAPI: what
// reached the daemon, what tavctl printed and its exit status.
#include "CtlTestSupport.h"

#include "LockScheduleData.h"
#include "SearchResultData.h"
#include "TabNavigationData.h"
#include "TeacherInfoData.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>

using namespace ctltest;
using namespace IPCAPI;
using namespace LibTAVData;

namespace {

std::list<tagStudent_t> theClass()
{
    std::list<tagStudent_t> c;
    c.push_back({"S01", "alice", "nb-01", "10.0.0.11", 1700000000, 0, 1});
    c.push_back({"S02", "bob", "nb-02", "10.0.0.12", 1700000100, 1, 1});
    c.push_back({"S03", "carol smith", "nb-03", "10.0.0.13", 0, 0, 0});
    return c;
}

std::string programs(const std::vector<std::pair<std::string, std::string>>& apps)
{
    CSearchResultData doc;
    for (const auto& a : apps) {
        auto* app = new CApplicationInfo;
        app->SetName(a.first);
        app->SetPath(a.second);
        doc.GetPApplicationInfoList()->push_back(app);
    }
    std::string text;
    doc.Save2String(text);
    return text;
}

CIntfData withInt(CIntfData n, const std::string& name, int value)
{
    n.m_ParaXml.setInt(name, value);
    return n;
}

CIntfData withString(CIntfData n, const std::string& name, const std::string& value)
{
    n.m_ParaXml.setString(name, value);
    return n;
}

void respond(const Request& r, CIntfData& reply, std::vector<CIntfData>& notes)
{
    const std::string& m = r.member;
    if (m == "TEACHER_STOPCONTROLLER") {
        reply.SetResult(5); // passed through as it is
    } else if (m == "TEACHER_GETSTUDENTLIST") {
        std::list<tagStudent_t> c = theClass();
        reply.m_ParaXml.setStudentInfoList(c);
    } else if (m == "TEACHER_GETSTUDENTSTATUS") {
        std::list<tagStudent_t> one;
        if (r.StudentID() == "S02")
            one.push_back({"S02", "bob", "nb-02", "10.0.0.12", 1700000100, 1, 3});
        reply.m_ParaXml.setStudentInfoList(one);
        reply.SetResult(one.empty() ? 4 : 0);
    } else if (m == "TEACHER_GETSTUDENTLOCKPOLICY") {
        CLockScheduleData p;
        p.SetAutoLock(1);
        p.SetLockStatus(2);
        p.GetPAutomaticLockTimeList()->push_back(new CLockTimeSection(1, 10, 11));
        p.GetPAutomaticLockTimeList()->push_back(new CLockTimeSection(1, 11, 12));
        p.GetPAutomaticLockTimeList()->push_back(new CLockTimeSection(4, 8, 9));
        std::string text;
        p.Save2String(text);
        reply.m_ParaXml.setString("lockPolicy", text);
    } else if (m == "TEACHER_DEPLOYSCHEDULEPOLICY" || m == "TEACHER_DEPLOYTABNAVPOLICY") {
        notes.push_back(
            withString(Notification(m + "CALLBACK", r.StudentID()), "bSuccess", "TRUE"));
    } else if (m == "TEACHER_DEPLOYSCHEDULEPOLICYLIST" || m == "TEACHER_DEPLOYTABNAVPOLICYLIST") {
        const std::string answer = m.substr(0, m.size() - 4) + "CALLBACK";
        for (const std::string& id : r.List())
            notes.push_back(
                withString(Notification(answer, id), "bSuccess", id == "S02" ? "FALSE" : "TRUE"));
    } else if (m == "TEACHER_KICKOFFSTUDENT" || m == "TEACHER_MANUALLOCKREMOTESTUDENT") {
        notes.push_back(withInt(Notification(m + "CALLBACK", r.StudentID()), "iReturn", 0));
    } else if (m == "TEACHER_MANUALUNLOCKREMOTESTUDEN") {
        notes.push_back(
            withInt(Notification("TEACHER_MANUALUNLOCKREMOTESTUDENTCALLBACK", r.StudentID()),
                    "iReturn", 7));
    } else if (m == "TEACHER_CONTROLNEWSTUDENTCONNECT" && r.StudentID() == "S06" &&
               r.String("allow") == "TRUE") {
        notes.push_back(
            withInt(Notification("TEACHER_NOTIFYSTUDENTSTATUSCHANGED", "S06"), "iStatus", 1));
    } else if (m == "TEACHER_SEARCHPROGRAM") {
        notes.push_back(
            withString(Notification("TEACHER_SEARCHPROGRAMCALLBACK", "S01"), "programsXML",
                       programs({{"Writer", "/usr/bin/writer"}, {"Calc", "/usr/bin/calc"}})));
        notes.push_back(
            withString(Notification("TEACHER_SEARCHPROGRAMCALLBACK", "S02"), "programsXML",
                       programs({{"Calc", "/opt/calc"}, {"Paint Shop", "/usr/bin/paint"}})));
        CIntfData failed = Notification("TEACHER_SEARCHPROGRAMCALLBACK", "S03");
        failed.SetResult(2);
        notes.push_back(failed);
    }
}

// One of every notification the teacher applications understand.
void burst(const std::string& command, std::vector<CIntfData>& notes)
{
    if (command != "burst")
        return;
    notes.push_back(withString(Notification("TEACHER_SEARCHPROGRAMCALLBACK", "S01"), "programsXML",
                               programs({{"Writer", "/usr/bin/writer"}})));
    notes.push_back(
        withInt(Notification("TEACHER_MANUALLOCKREMOTESTUDENTCALLBACK", "S01"), "iReturn", 0));
    notes.push_back(
        withInt(Notification("TEACHER_MANUALUNLOCKREMOTESTUDENTCALLBACK", "S02"), "iReturn", 1));
    notes.push_back(withInt(Notification("TEACHER_KICKOFFSTUDENTCALLBACK", "S03"), "iReturn", 0));
    notes.push_back(
        withInt(Notification("TEACHER_NOTIFYSTUDENTSTATUSCHANGED", "S01"), "iStatus", 2));
    notes.push_back(
        withString(Notification("TEACHER_DEPLOYTABNAVPOLICYCALLBACK", "S02"), "bSuccess", "TRUE"));
    notes.push_back(withString(Notification("TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK", "S03"),
                               "bSuccess", "FALSE"));
    CIntfData joining = Notification("TEACHER_CONTROLNEWSTUDENTCONNECTCALLBACK");
    std::list<tagStudent_t> newcomer = {{"S04", "dan", "nb-04", "10.0.0.14", 5, 0, 0}};
    joining.m_ParaXml.setStudentInfoList(newcomer);
    notes.push_back(joining);
    CIntfData post = Notification("POSTMESSAGE");
    post.m_ParaXml.setInt("MessageID", 7);
    post.m_ParaXml.setString("Message", "hi \"all\"");
    notes.push_back(post);
}

// Without the daemon, or without a bus: a clear message, exit 1, before
// anything is sent. Defined first,
// so it runs before the daemon of the other tests starts.
TEST(TeacherCtlNoDaemon, NoDaemonNoBus)
{
    Outcome run = Tavctl({"teacher", "get-student-list"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("tavctl: no teacher daemon on the bus at "), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("(nobody owns tav.teacher.daemon)"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");

    run = Tavctl({"teacher", "deploy-tab-nav-policy", "--student", "S1", "--tab", "T"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("no teacher daemon"), std::string::npos) << run.err;

    const std::string nowhere = "unix:path=" + tavtest::TempRoot() + "/no-bus-here";
    run = Tavctl({"--bus", nowhere, "teacher", "stop-controller"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(
        run.err.find("tavctl: cannot reach the system bus at " + nowhere + ": Failed to connect"),
        0u)
        << run.err;
    run = Tavctl({"--bus", nowhere, "teacher", "listen", "--timeout", "1"});
    EXPECT_EQ(run.status, 1);
}

class TeacherCtl : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_daemon = new TestDaemon(true, respond, burst); }
    static void TearDownTestSuite()
    {
        delete s_daemon;
        s_daemon = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_daemon && s_daemon->Ok()) << "the test daemon did not start";
    }

    // The next request the daemon took, which must be message.
    Request Took(const std::string& message, bool blocking)
    {
        return ExpectTook(*s_daemon, message, blocking);
    }

    static TestDaemon* s_daemon;
};

TestDaemon* TeacherCtl::s_daemon = nullptr;

// Every blocking request: the envelope that arrived, the printed result and
// output parameters, exit status 0 whatever the daemon's verdict.
TEST_F(TeacherCtl, BlockingRequests)
{
    struct Case {
        std::vector<std::string> args;
        std::string input, message, student, params, out;
    };
    const std::vector<Case> cases = {
        {{"start-controller"},
         "",
         "TEACHER_STARTCONTROLLER",
         "null",
         "",
         lines({"request: TEACHER_STARTCONTROLLER", "result: 0"})},
        {{"stop-controller"},
         "",
         "TEACHER_STOPCONTROLLER",
         "null",
         "",
         lines({"request: TEACHER_STOPCONTROLLER", "result: 5"})},
        {{"cancel-operation", "--oid", "-3"},
         "",
         "TEACHER_CANCELOPERATION",
         "null",
         Doc({I("OID", -3)}),
         lines({"request: TEACHER_CANCELOPERATION oid=-3", "result: 0"})},
        {{"import-certificate", "--path", "/media/usb/teacher.pem"},
         "",
         "TEACHER_IMPORTCERTIFICATE",
         "null",
         Doc({S("Path", "/media/usb/teacher.pem")}),
         lines({"request: TEACHER_IMPORTCERTIFICATE path=/media/usb/teacher.pem", "result: 0"})},
        {{"verify-certificate"},
         "",
         "TEACHER_VERIFYCERTIFICATE",
         "null",
         Doc({S("path", "")}),
         lines({"request: TEACHER_VERIFYCERTIFICATE", "result: 0"})},
        {{"verify-certificate", "--path=/a b.pem"},
         "",
         "TEACHER_VERIFYCERTIFICATE",
         "null",
         Doc({S("path", "/a b.pem")}),
         lines({"request: TEACHER_VERIFYCERTIFICATE path=\"/a b.pem\"", "result: 0"})},
        {{"verify-password"},
         "s3cret\n",
         "TEACHER_VERIFYPASSWORD",
         "null",
         Doc({S("Password", "s3cret"), S("path", "")}),
         lines({"request: TEACHER_VERIFYPASSWORD", "result: 0"})},
        {{"verify-password", "--path", "/c.pem"},
         "pw with blanks\r\n",
         "TEACHER_VERIFYPASSWORD",
         "null",
         Doc({S("Password", "pw with blanks"), S("path", "/c.pem")}),
         lines({"request: TEACHER_VERIFYPASSWORD path=/c.pem", "result: 0"})},
        {{"change-password"},
         "old-one\nnew-one\n",
         "TEACHER_CHANGEPASSWORD",
         "null",
         Doc({S("OldPassword", "old-one"), S("NewPassword", "new-one")}),
         lines({"request: TEACHER_CHANGEPASSWORD", "result: 0"})},
        {{"get-student-list"},
         "",
         "TEACHER_GETSTUDENTLIST",
         "null",
         "",
         lines({"request: TEACHER_GETSTUDENTLIST", "result: 0", "students: 3",
                "student: S01 user=alice host=nb-01 ip=10.0.0.11 start_time=1700000000 locked=0 "
                "status=1",
                "student: S02 user=bob host=nb-02 ip=10.0.0.12 start_time=1700000100 locked=1 "
                "status=1",
                "student: S03 user=\"carol smith\" host=nb-03 ip=10.0.0.13 start_time=0 locked=0 "
                "status=0"})},
        {{"get-student-status", "--student", "S02"},
         "",
         "TEACHER_GETSTUDENTSTATUS",
         "S02",
         "",
         lines({"request: TEACHER_GETSTUDENTSTATUS student=S02", "result: 0",
                "student: S02 user=bob host=nb-02 ip=10.0.0.12 start_time=1700000100 locked=1 "
                "status=3"})},
        {{"get-student-status", "--student", "S09"},
         "",
         "TEACHER_GETSTUDENTSTATUS",
         "S09",
         "",
         lines({"request: TEACHER_GETSTUDENTSTATUS student=S09", "result: 4",
                "student: none in the answer"})},
        {{"get-student-lock-policy", "--student", "S01"},
         "",
         "TEACHER_GETSTUDENTLOCKPOLICY",
         "S01",
         "",
         lines({"request: TEACHER_GETSTUDENTLOCKPOLICY student=S01", "result: 0",
                "lock-schedule: auto-lock=1 manual-lock=0 lock-status=2 (locked)",
                "lock-sections: 3 hours: TUESDAY 10-12, FRIDAY 8-9",
                "manual-lock: option=0 locked-time=0 disconnect-time=0 unlock-after-disconnect=0 "
                "unlock-after-connect=0"})},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"teacher"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Outcome run = Tavctl(args, c.input);
        EXPECT_EQ(run.status, 0) << c.args[0] << ": " << run.err;
        EXPECT_EQ(run.out, c.out) << c.args[0];
        const Request r = Took(c.message, true);
        EXPECT_EQ(r.StudentID(), c.student) << c.args[0];
        EXPECT_EQ(r.Params(), c.params) << c.args[0];
        EXPECT_GT(r.OperationID(), 0);
    }
}

// Passwords reach the daemon, never tavctl's log.
TEST_F(TeacherCtl, PasswordsNeverReachTheLog)
{
    ASSERT_EQ(Tavctl({"teacher", "change-password"}, "old-one\nnew-one\n").status, 0);
    EXPECT_EQ(Took("TEACHER_CHANGEPASSWORD", true).String("NewPassword"), "new-one");
    ASSERT_EQ(Tavctl({"teacher", "verify-password", "--path", "/c.pem"}, "pw with blanks\n").status,
              0);
    EXPECT_EQ(Took("TEACHER_VERIFYPASSWORD", true).String("Password"), "pw with blanks");
    ASSERT_EQ(Tavctl({"teacher", "verify-password"}, "s3cret\n").status, 0);
    EXPECT_EQ(Took("TEACHER_VERIFYPASSWORD", true).String("Password"), "s3cret");
    const std::string log = tavtest::ReadFile(tavtest::Home() + "/TAVLog/tavctl.log");
    EXPECT_NE(log.find("TEACHER_CHANGEPASSWORD"), std::string::npos);
    for (const char* secret : {"s3cret", "pw with blanks", "old-one", "new-one"})
        EXPECT_EQ(log.find(secret), std::string::npos) << secret;
}

// Documents built from options and read from files arrive as the data
// classes read them; --save writes the received policy.
TEST_F(TeacherCtl, DocumentsFromOptionsAndFiles)
{
    Outcome run =
        Tavctl({"teacher", "update-teacher-info", "--name", "Ms Lee", "--course", "Maths & <Art>"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              lines({"request: TEACHER_UPDATETEACHERINFO",
                     "teacher-info: name=\"Ms Lee\" course=\"Maths & <Art>\"", "result: 0"}));
    Request r = Took("TEACHER_UPDATETEACHERINFO", true);
    CTeacherInfoData info;
    ASSERT_EQ(info.LoadFromString(r.String("teacherInfoXML")), 0);
    EXPECT_EQ(info.GetTeacherName(), "Ms Lee");
    EXPECT_EQ(info.GetCourse(), "Maths & <Art>");

    // A file is sent as it stands.
    const std::string dir = tavtest::MakeTempDir("docs");
    const std::string file = dir + "/teacher.xml";
    const std::string text = "<?xml version=\"1.0\" ?>\n<!-- as typed "
                             "-->\n<TeacherInfo><TeacherName>Mr Ode</TeacherName>"
                             "<Course>Music</Course></TeacherInfo>\n";
    ASSERT_TRUE(tavtest::WriteFile(file, text));
    run = Tavctl({"teacher", "update-teacher-info", "--file", file});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.Has("teacher-info: name=\"Mr Ode\" course=Music"));
    EXPECT_EQ(Took("TEACHER_UPDATETEACHERINFO", true).String("teacherInfoXML"), text);

    // The policy a student holds, shown and saved.
    const std::string saved = dir + "/policy.xml";
    run = Tavctl({"teacher", "get-student-lock-policy", "--student", "S01", "--save", saved});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.Has("saved: " + saved));
    Took("TEACHER_GETSTUDENTLOCKPOLICY", true);
    CLockScheduleData policy;
    ASSERT_EQ(policy.LoadFromFile(saved), 0);
    EXPECT_EQ(policy.GetLockStatus(), 2);
    EXPECT_EQ(policy.GetPAutomaticLockTimeList()->size(), 3u);
}

// One student: the single form of a deployment, carrying the policy built
// from the options.
TEST_F(TeacherCtl, DeploymentToOneStudentUsesTheSingleForm)
{
    const Outcome run = Tavctl({"teacher", "deploy-tab-nav-policy", "--student", "S01", "--tab",
                                "Office", "--program", "Writer=/usr/bin/writer", "--program",
                                "Calc=/usr/bin/calc", "--tab", "Web"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              lines({"request: TEACHER_DEPLOYTABNAVPOLICY student=S01",
                     "tab-navigation: 2 tabs: Office (2 programs), Web (0 programs)", "sent"}));
    const Request r = Took("TEACHER_DEPLOYTABNAVPOLICY", false);
    EXPECT_EQ(r.StudentID(), "S01");
    CTabNavigationData tabs;
    ASSERT_EQ(tabs.LoadFromString(r.String("tabNavPolicyXML")), 0);
    ASSERT_EQ(tabs.GetPCategoryInfoList()->size(), 2u);
    CCategory* office = tabs.GetPCategoryInfoList()->front();
    EXPECT_EQ(office->GetName(), "Office");
    ASSERT_EQ(office->GetPApplicationInfoList()->size(), 2u);
    EXPECT_EQ(office->GetPApplicationInfoList()->back()->GetPath(), "/usr/bin/calc");
    EXPECT_EQ(office->GetPApplicationInfoList()->back()->GetEnable(), 1);
}

// Several students, or --list for one: the list form with the ids as list
// entries and no student in the envelope.
TEST_F(TeacherCtl, DeploymentToSeveralStudentsUsesTheListForm)
{
    Outcome run = Tavctl({"teacher", "deploy-tab-nav-policy", "--student", "S01", "--student",
                          "S03", "--tab", "Web"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.Has("request: TEACHER_DEPLOYTABNAVPOLICYLIST students=S01 S03"));
    Request r = Took("TEACHER_DEPLOYTABNAVPOLICYLIST", false);
    EXPECT_EQ(r.StudentID(), "");
    EXPECT_EQ(r.List(), (std::vector<std::string>{"S01", "S03"}));

    run = Tavctl({"teacher", "deploy-schedule-policy", "--student", "S02", "--list",
                  "--manual-lock", "on", "--option", "3"});
    EXPECT_EQ(run.status, 0) << run.err;
    r = Took("TEACHER_DEPLOYSCHEDULEPOLICYLIST", false);
    EXPECT_EQ(r.List(), std::vector<std::string>{"S02"});
    CLockScheduleData policy;
    ASSERT_EQ(policy.LoadFromString(r.String("schedulePolicyXML")), 0);
    EXPECT_TRUE(policy.IsManualLockEnable());
    EXPECT_FALSE(policy.IsAutoLockEnable());
    EXPECT_EQ(policy.GetPManualLockInfo()->GetOption(), 3);
}

// A schedule file is deployed exactly as it stands.
TEST_F(TeacherCtl, ScheduleFileIsSentAsItStands)
{
    const std::string file = tavtest::MakeTempDir("policy") + "/LockSchedule.xml";
    CLockScheduleData fromFile;
    fromFile.SetLockStatus(4);
    std::string text;
    fromFile.Save2String(text);
    ASSERT_TRUE(tavtest::WriteFile(file, text));
    const Outcome run =
        Tavctl({"teacher", "deploy-schedule-policy", "--student", "S03", "--file", file});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.Has("lock-schedule: auto-lock=0 manual-lock=0 lock-status=4 (locked)"));
    const Request r = Took("TEACHER_DEPLOYSCHEDULEPOLICY", false);
    EXPECT_EQ(r.StudentID(), "S03");
    EXPECT_EQ(r.String("schedulePolicyXML"), text);
}

// Lock: one signal per student, manual locking on by default.
TEST_F(TeacherCtl, ManualLockIsOneSignalPerStudent)
{
    const Outcome run = Tavctl({"teacher", "manual-lock-remote-student", "--student", "S01",
                                "--student", "S02", "--locked-time", "45"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(
        run.out,
        lines({"lock-schedule: auto-lock=0 manual-lock=1 lock-status=0", "lock-sections: 0 hours",
               "manual-lock: option=0 locked-time=45 disconnect-time=0 unlock-after-disconnect=0 "
               "unlock-after-connect=0",
               "request: TEACHER_MANUALLOCKREMOTESTUDENT student=S01", "sent",
               "request: TEACHER_MANUALLOCKREMOTESTUDENT student=S02", "sent"}));
    for (const char* id : {"S01", "S02"}) {
        const Request r = Took("TEACHER_MANUALLOCKREMOTESTUDENT", false);
        EXPECT_EQ(r.StudentID(), id);
        CLockScheduleData lock;
        ASSERT_EQ(lock.LoadFromString(r.String("lockPolicy")), 0);
        EXPECT_TRUE(lock.IsManualLockEnable());
        int minutes = 0;
        lock.GetPManualLockInfo()->GetLockedTime(minutes);
        EXPECT_EQ(minutes, 45);
    }
}

// Unlock, kick-off and the answer to a student asking to join: the student
// in the envelope, and only the parameters their messages carry.
TEST_F(TeacherCtl, StudentRequestsCarryTheStudent)
{
    Outcome run = Tavctl({"teacher", "manual-unlock-remote-student", "--student", "S03"});
    EXPECT_EQ(run.status, 0) << run.err;
    Request r = Took("TEACHER_MANUALUNLOCKREMOTESTUDEN", false);
    EXPECT_EQ(r.StudentID(), "S03");
    EXPECT_EQ(r.Params(), "");

    run = Tavctl({"teacher", "kick-off-student", "--student", "S02"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, lines({"request: TEACHER_KICKOFFSTUDENT student=S02", "sent"}));
    EXPECT_EQ(Took("TEACHER_KICKOFFSTUDENT", false).StudentID(), "S02");

    run = Tavctl({"teacher", "control-new-student-connect", "--student", "S04", "--allow", "no"});
    EXPECT_EQ(run.status, 0) << run.err;
    r = Took("TEACHER_CONTROLNEWSTUDENTCONNECT", false);
    EXPECT_EQ(r.StudentID(), "S04");
    EXPECT_EQ(r.Params(), Doc({S("allow", "FALSE")}));
}

// The operation id printed is the one the daemon can cancel.
TEST_F(TeacherCtl, SearchProgramPrintsItsOperationId)
{
    const Outcome run =
        Tavctl({"teacher", "search-program", "--folder", "/usr/share/applications"});
    EXPECT_EQ(run.status, 0) << run.err;
    const Request r = Took("TEACHER_SEARCHPROGRAM", false);
    EXPECT_EQ(r.Params(), Doc({S("targetFolder", "/usr/share/applications")}));
    EXPECT_TRUE(run.Has("opid: " + std::to_string(r.OperationID())));
}

// The retired list forms send nothing: the next request to arrive is the
// one after them.
TEST_F(TeacherCtl, RetiredListFormsSendNothing)
{
    for (const char* cmd : {"manual-lock-remote-student", "manual-unlock-remote-student"}) {
        const Outcome run =
            Tavctl({"teacher", cmd, "--student", "S01", "--student", "S02", "--list"});
        EXPECT_EQ(run.status, 1) << cmd;
        EXPECT_NE(run.err.find("is retired: nothing was sent"), std::string::npos) << run.err;
    }
    ASSERT_EQ(Tavctl({"teacher", "start-controller"}).status, 0);
    Took("TEACHER_STARTCONTROLLER", true);
}

// POSTMESSAGE goes to the applications, not the daemon.
TEST_F(TeacherCtl, PostMessageGoesToTheApplicationsOnly)
{
    const Outcome run = Tavctl({"teacher", "post-message", "--id", "9", "--text", "bye"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, lines({"request: POSTMESSAGE id=9 text=\"bye\"", "sent"}));
    ASSERT_EQ(Tavctl({"teacher", "stop-controller"}).status, 0);
    Took("TEACHER_STOPCONTROLLER", true);
}

// --verbose: the library's log on standard error, the results alone on
// standard output.
TEST_F(TeacherCtl, VerboseShowsTheLogOnStandardError)
{
    const Outcome run = Tavctl({"--verbose", "teacher", "start-controller"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, lines({"request: TEACHER_STARTCONTROLLER", "result: 0"}));
    EXPECT_NE(run.err.find("TRACE:   IPCTeacherAPI::StartController() >>Start"), std::string::npos)
        << run.err;
    Took("TEACHER_STARTCONTROLLER", true);
}

// The options of every command are taken anywhere on the line, also after
// the side or the command.
TEST_F(TeacherCtl, GlobalOptionsAnywhereOnTheLine)
{
    const char* bus = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    ASSERT_NE(bus, nullptr);
    Outcome run = Tavctl({"teacher", "--bus", bus, "start-controller", "-v"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, lines({"request: TEACHER_STARTCONTROLLER", "result: 0"}));
    EXPECT_NE(run.err.find("IPCTeacherAPI::StartController()"), std::string::npos) << run.err;
    Took("TEACHER_STARTCONTROLLER", true);

    const std::string nowhere = "unix:path=" + tavtest::TempRoot() + "/no-bus-here";
    run = Tavctl({"teacher", "stop-controller", "--bus=" + nowhere});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.find("tavctl: cannot reach the system bus at " + nowhere), 0u) << run.err;
}

// --result-status: the daemon's first non-zero verdict, of a blocking
// request or of an answer waited for, becomes the exit status 2 + code.
TEST_F(TeacherCtl, ResultStatusCarriesTheDaemonsVerdict)
{
    EXPECT_EQ(Tavctl({"teacher", "stop-controller"}).status, 0);
    Took("TEACHER_STOPCONTROLLER", true);
    EXPECT_EQ(Tavctl({"teacher", "stop-controller", "--result-status"}).status, 7);
    Took("TEACHER_STOPCONTROLLER", true);
    EXPECT_EQ(
        Tavctl({"--result-status", "teacher", "get-student-status", "--student", "S09"}).status, 6);
    Took("TEACHER_GETSTUDENTSTATUS", true);
    EXPECT_EQ(Tavctl({"--result-status", "teacher", "start-controller"}).status, 0);
    Took("TEACHER_STARTCONTROLLER", true);

    // Answers: an unlock answered with 7, a deployment that S02 refused.
    Outcome run = Tavctl({"teacher", "manual-unlock-remote-student", "--student", "S03", "--wait",
                          "15", "--result-status"});
    EXPECT_EQ(run.status, 9) << run.out << run.err;
    EXPECT_TRUE(run.Has("notification: ManualUnLockRemotStudentCallBack(\"S03\", 7)")) << run.out;
    Took("TEACHER_MANUALUNLOCKREMOTESTUDEN", false);
    run = Tavctl({"teacher", "deploy-tab-nav-policy", "--student", "S01", "--student", "S02",
                  "--tab", "T", "--wait", "15", "--result-status"});
    EXPECT_EQ(run.status, 3) << run.out << run.err;
    Took("TEACHER_DEPLOYTABNAVPOLICYLIST", false);
}

// --all asks for the class first; --wait prints each answer as it arrives
// and ends once every student answered.
TEST_F(TeacherCtl, DeployToAllAndWait)
{
    const Outcome run = Tavctl({"teacher", "deploy-schedule-policy", "--all", "--section",
                                "monday:8-10", "--section", "4:13", "--wait", "15"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(
        run.out,
        lines({"request: TEACHER_GETSTUDENTLIST (for --all)", "result: 0", "students: S01 S02 S03",
               "request: TEACHER_DEPLOYSCHEDULEPOLICYLIST students=S01 S02 S03",
               "lock-schedule: auto-lock=1 manual-lock=0 lock-status=0",
               "lock-sections: 3 hours: MONDAY 8-10, FRIDAY 13-14",
               "manual-lock: option=0 locked-time=0 disconnect-time=0 unlock-after-disconnect=0 "
               "unlock-after-connect=0",
               "sent", "notification: DeploySchedulePolicyCallBack(\"S01\", true)",
               "notification: DeploySchedulePolicyCallBack(\"S02\", false)",
               "notification: DeploySchedulePolicyCallBack(\"S03\", true)", "answers: 3 of 3"}));
    Took("TEACHER_GETSTUDENTLIST", true);
    const Request r = Took("TEACHER_DEPLOYSCHEDULEPOLICYLIST", false);
    EXPECT_EQ(r.List(), (std::vector<std::string>{"S01", "S02", "S03"}));
    CLockScheduleData policy;
    ASSERT_EQ(policy.LoadFromString(r.String("schedulePolicyXML")), 0);
    EXPECT_TRUE(policy.IsAutoLockEnable());
    std::vector<CLockTimeSection> sections;
    for (CLockTimeSection* s : *policy.GetPAutomaticLockTimeList())
        sections.push_back(*s);
    EXPECT_EQ(sections, (std::vector<CLockTimeSection>{{0, 8, 9}, {0, 9, 10}, {4, 13, 14}}));
}

// The per-student answers of a program search, merged: a name found on two
// students is kept once, a failed student contributes nothing.
TEST_F(TeacherCtl, SearchProgramMergesAnswers)
{
    const Outcome run = Tavctl(
        {"teacher", "search-program", "--folder", "/usr/share/applications", "--expect", "3"});
    EXPECT_EQ(run.status, 0) << run.err;
    const Request r = Took("TEACHER_SEARCHPROGRAM", false);
    EXPECT_EQ(
        run.out,
        lines({"request: TEACHER_SEARCHPROGRAM folder=/usr/share/applications"}) +
            "opid: " + std::to_string(r.OperationID()) + "\n" +
            lines({"sent", "notification: SearchProgramCallBack(\"S01\", 2 programs)",
                   "notification: SearchProgramCallBack(\"S02\", 2 programs)",
                   "notification: SearchProgramCallBack(\"S03\", \"\")", "answers: 3 of 3",
                   "merged: 3 programs from 3 answers", "program: \"Writer\" /usr/bin/writer",
                   "program: \"Calc\" /usr/bin/calc", "program: \"Paint Shop\" /usr/bin/paint"}));
}

// With --wait alone the class is asked for first: the wait ends with the
// answer of its last student, not when the time is up.
TEST_F(TeacherCtl, SearchWaitEndsWithTheLastStudentsAnswer)
{
    const Outcome run = Tavctl({"teacher", "search-program", "--folder", "/opt", "--wait", "3600"});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> out = run.Lines();
    ASSERT_GE(out.size(), 4u) << run.out;
    EXPECT_EQ(std::vector<std::string>(out.begin(), out.begin() + 4),
              (std::vector<std::string>{"request: TEACHER_GETSTUDENTLIST (for --wait)", "result: 0",
                                        "students: S01 S02 S03",
                                        "request: TEACHER_SEARCHPROGRAM folder=/opt"}));
    EXPECT_TRUE(run.Has("answers: 3 of 3")) << run.out;
    Took("TEACHER_GETSTUDENTLIST", true);
    Took("TEACHER_SEARCHPROGRAM", false);
}

// A student let in answers with its status change, which ends the wait.
TEST_F(TeacherCtl, AdmittedStudentIsWaitedFor)
{
    const Outcome run = Tavctl({"teacher", "control-new-student-connect", "--student", "S06",
                                "--allow", "yes", "--wait", "3600"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.Has("notification: NotifyStudentStatusChanged(\"S06\", 1)")) << run.out;
    EXPECT_TRUE(run.Has("answers: 1 of 1")) << run.out;
    Took("TEACHER_CONTROLNEWSTUDENTCONNECT", false);
}

// Answers that do not come: the wait ends with a clear message and exit 1.
TEST_F(TeacherCtl, MissingAnswersFail)
{
    const Outcome run = Tavctl({"teacher", "control-new-student-connect", "--student", "S04",
                                "--allow", "yes", "--expect", "1", "--wait", "0.3"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "tavctl: only 0 of 1 answers arrived within 0.3 s\n");
    EXPECT_TRUE(run.Has("answers: 0 of 1"));
    EXPECT_EQ(Took("TEACHER_CONTROLNEWSTUDENTCONNECT", false).Params(), Doc({S("allow", "TRUE")}));
}

// Ctrl-C while answers are missing: what was missing is printed, then
// tavctl ends by the signal, as a calling shell expects.
TEST_F(TeacherCtl, InterruptedWait)
{
    Background waiting({"teacher", "control-new-student-connect", "--student", "S05", "--allow",
                        "on", "--expect", "1", "--wait", "30"});
    std::string line;
    ASSERT_TRUE(waiting.ReadLine(line)) << waiting.Why();
    ASSERT_TRUE(waiting.ReadLine(line)) << waiting.Why();
    EXPECT_EQ(line, "sent");
    waiting.Signal(SIGINT);
    const Outcome run = waiting.Finish();
    EXPECT_EQ(run.status, 128 + SIGINT);
    EXPECT_EQ(run.err, "tavctl: interrupted: only 0 of 1 answers arrived\n");
    Took("TEACHER_CONTROLNEWSTUDENTCONNECT", false);
}

// listen prints every kind of notification as the callback receives it.
// What they carry is no verdict on a request: --result-status keeps 0.
TEST_F(TeacherCtl, ListenPrintsEveryNotification)
{
    Background listener(
        {"teacher", "listen", "--count", "9", "--timeout", "20", "--result-status"});
    std::string line;
    ASSERT_TRUE(listener.ReadLine(line)) << listener.Why();
    EXPECT_EQ(line, "listening: tav.teacherdaemon.type");
    s_daemon->Command("burst");
    const Outcome run = listener.Finish();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              lines({"listening: tav.teacherdaemon.type",
                     "notification: SearchProgramCallBack(\"S01\", 1 program)",
                     "notification: ManualLockRemotStudentCallBack(\"S01\", 0)",
                     "notification: ManualUnLockRemotStudentCallBack(\"S02\", 1)",
                     "notification: KickOffStudentCallBack(\"S03\", 0)",
                     "notification: NotifyStudentStatusChanged(\"S01\", 2)",
                     "notification: DeployTabNavPolicyCallBack(\"S02\", true)",
                     "notification: DeploySchedulePolicyCallBack(\"S03\", false)",
                     "notification: NewStudentCallBack(S04 user=dan host=nb-04 ip=10.0.0.14 "
                     "start_time=5 locked=0 "
                     "status=0)",
                     "notification: OnMessage(7, \"hi \\\"all\\\"\")", "notifications: 9"}));
}

// SIGTERM ends listen after the count is printed, by the signal.
TEST_F(TeacherCtl, ListenEndsOnInterrupt)
{
    Background listener({"teacher", "listen"});
    std::string line;
    ASSERT_TRUE(listener.ReadLine(line)) << listener.Why();
    listener.Signal(SIGTERM);
    const Outcome run = listener.Finish();
    EXPECT_EQ(run.status, 128 + SIGTERM) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, lines({"listening: tav.teacherdaemon.type", "notifications: 0"}));
}

// Bad input: a clear message, exit 2, nothing sent (the request after them
// is the first to reach the daemon).
TEST_F(TeacherCtl, BadInputSendsNothing)
{
    const std::string dir = tavtest::MakeTempDir("bad");
    ASSERT_TRUE(tavtest::WriteFile(dir + "/other.xml", "<?xml version=\"1.0\" ?><TabNavigation/>"));
    ASSERT_TRUE(tavtest::WriteFile(dir + "/latin1.xml",
                                   "<TeacherInfo><TeacherName>Jos\xe9</TeacherName>"
                                   "<Course>x</Course></TeacherInfo>"));
    ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0600), 0);
    const std::vector<UsageCase> cases = {
        {{"frobnicate"}, "", "unknown teacher command 'frobnicate' (tavctl teacher --help)"},
        {{"get-student-list", "--colour"}, "", "unknown option --colour for get-student-list"},
        {{"get-student-list", "extra"}, "", "unexpected argument 'extra'"},
        {{"cancel-operation"}, "", "cancel-operation needs --oid N"},
        {{"cancel-operation", "--oid"}, "", "--oid needs a value (N)"},
        {{"cancel-operation", "--oid", "12x"}, "", "--oid needs a whole number"},
        {{"cancel-operation", "--oid", "99999999999"}, "", "--oid needs a whole number"},
        {{"cancel-operation", "--oid", "1", "--oid", "2"}, "", "--oid given twice"},
        {{"post-message", "--id", "one", "--text", "x"}, "", "--id needs a whole number"},
        {{"search-program", "--folder", "/x", "--wait", "soon"},
         "",
         "--wait needs a number of seconds"},
        {{"search-program", "--folder", "/x", "--expect", "0"},
         "",
         "--expect needs a whole number from 1"},
        {{"get-student-status", "--student", std::string(65, 'x')},
         "",
         "--student " + std::string(65, 'x') + ": a student id has at most 64 bytes"},
        {{"get-student-status", "--student", ""}, "", "--student needs a student id"},
        {{"kick-off-student"}, "", "name the students: --student ID (repeatable) or --all"},
        {{"kick-off-student", "--all", "--student", "S01"},
         "",
         "give --student or --all, not both"},
        {{"kick-off-student", "--student", "S01", "--student", "S01"},
         "",
         "--student S01 given twice"},
        {{"deploy-schedule-policy", "--all", "--section", "funday:8-9"},
         "",
         "--section needs DAY:START-END"},
        {{"deploy-schedule-policy", "--all", "--section", "monday:10-9"},
         "",
         "--section needs DAY:START-END"},
        {{"deploy-schedule-policy", "--all", "--auto-lock", "maybe"},
         "",
         "--auto-lock needs on or off"},
        {{"deploy-schedule-policy", "--all", "--file", dir + "/missing.xml"},
         "",
         "cannot read " + dir + "/missing.xml: No such file or directory"},
        {{"deploy-schedule-policy", "--all", "--file", dir},
         "",
         "cannot read " + dir + ": a folder, not a regular file"},
        // Neither waits for a writer (SIGINT is blocked while tavctl runs)
        // nor reads without end.
        {{"deploy-schedule-policy", "--all", "--file", dir + "/fifo"},
         "",
         "cannot read " + dir + "/fifo: a FIFO, not a regular file"},
        {{"update-teacher-info", "--file", "/dev/zero"},
         "",
         "cannot read /dev/zero: a character device, not a regular file"},
        {{"deploy-schedule-policy", "--all", "--file", dir + "/other.xml"},
         "",
         dir + "/other.xml is not a lock-schedule document"},
        {{"deploy-schedule-policy", "--all", "--file", dir + "/other.xml", "--section", "monday:8"},
         "",
         "--file cannot be combined with --section"},
        {{"update-teacher-info", "--file", dir + "/latin1.xml"},
         "",
         dir + "/latin1.xml is not UTF-8 text"},
        {{"update-teacher-info", "--name", "x"}, "", "give --file, or both --name and --course"},
        {{"deploy-tab-nav-policy", "--all", "--program", "A=/a"},
         "",
         "--program A=/a comes before any --tab"},
        {{"deploy-tab-nav-policy", "--all", "--tab", "T", "--program", "nopath"},
         "",
         "--program needs NAME=PATH"},
        {{"change-password"},
         "only-old\n",
         "standard input ended before the password (New password)"},
        {{"verify-password"}, "", "standard input ended before the password (Password)"},
        {{"post-message", "--id", "1", "--text", "bad \xff"}, "", "--text is not UTF-8 text"},
        {{"control-new-student-connect", "--student", "S1", "--allow", "perhaps"},
         "",
         "--allow needs on or off"},
        {{"listen", "--count", "-1"}, "", "--count needs a whole number"},
    };
    ExpectUsageErrors("teacher", cases);
    ASSERT_EQ(Tavctl({"teacher", "stop-controller"}).status, 0);
    Took("TEACHER_STOPCONTROLLER", true);
}

// --help for every teacher command, without a bus round trip.
TEST_F(TeacherCtl, HelpForEveryCommand)
{
    EXPECT_EQ(CheckHelpForEveryCommand("teacher"), 20);
    EXPECT_EQ(Tavctl({"--help"}).status, 0);
    EXPECT_EQ(Tavctl({}).status, 2);
    EXPECT_EQ(Tavctl({"principal", "get-student-list"}).err,
              "tavctl: unknown side 'principal': teacher or student (tavctl --help)\n");
}

} // namespace
