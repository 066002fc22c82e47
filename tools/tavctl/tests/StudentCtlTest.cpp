// tavctl's student commands as a separate process over the private bus,
// against a student daemon of our own built on IPCStudentDaemonAPI.
#include "CtlTestSupport.h"

#include "LockScheduleData.h"
#include "SearchResultData.h"
#include "StudentInfoData.h"
#include "TAVSystemSettingData.h"
#include "TabNavigationData.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace ctltest;
using namespace IPCAPI;
using namespace LibTAVData;

namespace {

std::string programs()
{
    CSearchResultData doc;
    for (const char* name : {"Calculator", "Text Editor"}) {
        auto* app = new CApplicationInfo;
        app->SetName(name);
        app->SetPath(std::string("/usr/bin/") + (name[0] == 'C' ? "calc" : "edit"));
        doc.GetPApplicationInfoList()->push_back(app);
    }
    std::string text;
    doc.Save2String(text);
    return text;
}

void respond(const Request& r, CIntfData& reply, std::vector<CIntfData>& notes)
{
    const std::string& m = r.member;
    if (m == "STUDENT_SWITCHTONORMALOS") {
        reply.SetResult(4);
    } else if (m == "GETCONNECTEDTEACHER") {
        reply.m_ParaXml.setString("strTeacherID", "T-7");
    } else if (m == "VERIFYUSERPASSWORD") {
        reply.SetResult(r.String("Password") == "right" ? 0 : 1);
    } else if (m == "SEARCHLOCALPROGRAM") {
        CIntfData n = Notification("SEARCHLOCALPROGRAMCALLBACK");
        n.m_ParaXml.setString("programsXML", programs());
        notes.push_back(n);
    } else if (m == "SEARCHTEACHER") {
        CIntfData n = Notification("SEARCHTEACHERCALLBACK");
        std::list<std::string> teachers = {"T-7", "T 8"};
        n.m_ParaXml.setListPara(teachers);
        notes.push_back(n);
    } else if (m == "CONNECTTEACHER") {
        CIntfData n = Notification("CONNECTTEACHERCALLBACK");
        n.m_ParaXml.setString("strTeacherID", r.String("strTeacherID"));
        n.m_ParaXml.setInt("iReturn", 0);
        notes.push_back(n);
    }
}

void burst(const std::string& command, std::vector<CIntfData>& notes)
{
    if (command != "burst")
        return;
    CIntfData connect = Notification("CONNECTTEACHERCALLBACK");
    connect.m_ParaXml.setString("strTeacherID", "T-7");
    connect.m_ParaXml.setInt("iReturn", 3);
    notes.push_back(connect);
    CIntfData search = Notification("SEARCHTEACHERCALLBACK");
    std::list<std::string> none;
    search.m_ParaXml.setListPara(none);
    notes.push_back(search);
    CIntfData lock = Notification("NOTIFYLOCKSTATUSCHANGED");
    lock.m_ParaXml.setString("bLock", "TRUE");
    notes.push_back(lock);
    notes.push_back(Notification("NOTIFYTABNAVPOLICYCHANGED"));
    notes.push_back(Notification("NOTIFYSCHEDULEPOLICYCHANGED"));
    CIntfData status = Notification("NOTIFYTEACHERSTATUSCHANGED");
    status.m_ParaXml.setString("strTeacherID", "T-7");
    status.m_ParaXml.setInt("iState", 2);
    notes.push_back(status);
    CIntfData local = Notification("SEARCHLOCALPROGRAMCALLBACK");
    local.m_ParaXml.setString("programsXML", "<not-programs/>");
    notes.push_back(local);
    CIntfData post = Notification("POSTMESSAGE");
    post.m_ParaXml.setInt("MessageID", -1);
    post.m_ParaXml.setString("Message", "two\nlines");
    notes.push_back(post);
}

// Defined first: runs before the daemon of the other tests starts.
TEST(StudentCtlNoDaemon, NoDaemon)
{
    const Outcome run = Tavctl({"student", "get-connected-teacher"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("tavctl: no student daemon on the bus at "), std::string::npos)
        << run.err;
    EXPECT_EQ(run.out, "");
    // Posting needs only the bus.
    EXPECT_EQ(Tavctl({"student", "post-message", "--id", "1", "--text", "x"}).status, 0);
}

class StudentCtl : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_daemon = new TestDaemon(false, respond, burst); }
    static void TearDownTestSuite()
    {
        delete s_daemon;
        s_daemon = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_daemon && s_daemon->Ok()) << "the test daemon did not start";
    }

    Request Took(const std::string& message, bool blocking)
    {
        Request r = ExpectTook(*s_daemon, message, blocking);
        EXPECT_EQ(r.StudentID(), "null") << message;
        return r;
    }

    static TestDaemon* s_daemon;
};

TestDaemon* StudentCtl::s_daemon = nullptr;

TEST_F(StudentCtl, BlockingRequests)
{
    struct Case {
        std::vector<std::string> args;
        std::string input, message, params, out;
    };
    const std::vector<Case> cases = {
        {{"switch-to-normal-os"},
         "",
         "STUDENT_SWITCHTONORMALOS",
         "",
         lines({"request: STUDENT_SWITCHTONORMALOS", "result: 4"})},
        {{"cancel-operation", "--oid", "65535"},
         "",
         "STUDENT_CANCELOPERATION",
         Doc({I("OID", 65535)}),
         lines({"request: STUDENT_CANCELOPERATION oid=65535", "result: 0"})},
        {{"verify-user-password", "--user", "pupil"},
         "right\n",
         "VERIFYUSERPASSWORD",
         Doc({S("UserName", "pupil"), S("Password", "right")}),
         lines({"request: VERIFYUSERPASSWORD user=pupil", "result: 0"})},
        {{"verify-user-password", "--user", "pupil"},
         "wrong",
         "VERIFYUSERPASSWORD",
         Doc({S("UserName", "pupil"), S("Password", "wrong")}),
         lines({"request: VERIFYUSERPASSWORD user=pupil", "result: 1"})},
        {{"get-connected-teacher"},
         "",
         "GETCONNECTEDTEACHER",
         "",
         lines({"request: GETCONNECTEDTEACHER", "result: 0", "teacher: T-7"})},
        {{"disconnect-student"},
         "",
         "DISCONNECTSTUDENT",
         "",
         lines({"request: DISCONNECTSTUDENT", "result: 0"})},
        {{"manual-unlock-local-student"},
         "",
         "MANUALUNLOCKLOCALSTUDENT",
         "",
         lines({"request: MANUALUNLOCKLOCALSTUDENT", "result: 0"})},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"student"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Outcome run = Tavctl(args, c.input);
        EXPECT_EQ(run.status, 0) << c.args[0] << ": " << run.err;
        EXPECT_EQ(run.out, c.out) << c.args[0];
        const Request r = Took(c.message, true);
        EXPECT_EQ(r.Params(), c.params) << c.args[0];
    }
}

// System settings built from options (unset switches keep their defaults)
// and read from a file, sent as it stands.
TEST_F(StudentCtl, SystemSettingsFromOptionsAndFile)
{
    Outcome run =
        Tavctl({"student", "hardware-control", "--usb-storage", "on", "--auto-deploy", "yes"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(
        run.out,
        lines({"request: HARDWARECONTROL",
               "system-settings: usb-storage=1 new-student-dialog=1 connect-allow=1 add-to-class=1 "
               "auto-deploy=1",
               "result: 0"}));
    CTAVSystemSettingData settings;
    ASSERT_EQ(settings.LoadFromString(Took("HARDWARECONTROL", true).String("strXML")), 0);
    EXPECT_EQ(settings.GetUSBStorageenabled(), 1);
    EXPECT_EQ(settings.GetAutoDeployEnabled(), 1);
    EXPECT_EQ(settings.GetConnectPolicyAllow(), 1);

    const std::string dir = tavtest::MakeTempDir("docs");
    std::string text;
    CTAVSystemSettingData off;
    off.SetNewStudentConnectDialogEnable(0);
    off.Save2String(text);
    ASSERT_TRUE(tavtest::WriteFile(dir + "/settings.xml", text));
    run = Tavctl({"student", "hardware-control", "--file", dir + "/settings.xml"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.Has(
        "system-settings: usb-storage=0 new-student-dialog=0 connect-allow=1 add-to-class=1 "
        "auto-deploy=0"));
    EXPECT_EQ(Took("HARDWARECONTROL", true).String("strXML"), text);
}

TEST_F(StudentCtl, StudentInfoFromOptions)
{
    const Outcome run =
        Tavctl({"student", "save-student-info", "--id", "S01", "--name", "Ana María"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.Has("student-info: id=S01 name=\"Ana María\""));
    CStudentInfoData info;
    ASSERT_EQ(info.LoadFromString(Took("SAVESTUDENTINFO", true).String("strXML")), 0);
    EXPECT_EQ(info.GetStudentName(), "Ana María");
}

// The local policies and the lock built from options: what the data classes
// read back.
TEST_F(StudentCtl, LocalPoliciesFromOptions)
{
    Outcome run = Tavctl({"student", "save-local-schedule-policy", "--section", "SUNDAY:22-24",
                          "--lock-status", "4"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.Has("lock-schedule: auto-lock=1 manual-lock=0 lock-status=4 (locked)"));
    EXPECT_TRUE(run.Has("lock-sections: 2 hours: SUNDAY 22-24"));
    CLockScheduleData schedule;
    ASSERT_EQ(schedule.LoadFromString(Took("SAVELOCALSCHEDULEPOLICY", true).String("strXML")), 0);
    EXPECT_EQ(schedule.GetPAutomaticLockTimeList()->back()->m_iEndTime, 24);

    run = Tavctl({"student", "save-local-tab-nav-policy", "--tab", "Games", "--program",
                  "Chess=/usr/games/chess"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.Has("tab-navigation: 1 tab: Games (1 program)"));
    CTabNavigationData tabs;
    ASSERT_EQ(tabs.LoadFromString(Took("SAVELOCALTABNAVPOLICY", true).String("strXML")), 0);
    EXPECT_EQ(tabs.GetPCategoryInfoList()->front()->GetPApplicationInfoList()->front()->GetName(),
              "Chess");

    run = Tavctl({"student", "manual-lock-local-student", "--disconnect-time", "30"});
    EXPECT_EQ(run.status, 0) << run.err;
    CLockScheduleData lock;
    ASSERT_EQ(lock.LoadFromString(Took("MANUALLOCKLOCALSTUDENT", true).String("lockPolicy")), 0);
    EXPECT_TRUE(lock.IsManualLockEnable());
    EXPECT_EQ(lock.GetPManualLockInfo()->GetDisconnectTime(), 30);
}

// The signal requests, each waiting for the notification that answers it.
TEST_F(StudentCtl, SignalRequestsAndTheirAnswers)
{
    Outcome run = Tavctl(
        {"student", "search-local-program", "--folder", "/usr/share/applications", "--wait", "15"});
    EXPECT_EQ(run.status, 0) << run.err;
    Request r = Took("SEARCHLOCALPROGRAM", false);
    EXPECT_EQ(r.Params(), Doc({S("targetFolder", "/usr/share/applications")}));
    EXPECT_EQ(run.out, lines({"request: SEARCHLOCALPROGRAM folder=/usr/share/applications"}) +
                           "opid: " + std::to_string(r.OperationID()) + "\n" +
                           lines({"sent", "notification: SearchLocalProgramCallBack(2 programs)",
                                  "answers: 1 of 1", "program: \"Calculator\" /usr/bin/calc",
                                  "program: \"Text Editor\" /usr/bin/edit"}));

    run = Tavctl({"student", "search-teacher", "--wait", "15"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, lines({"request: SEARCHTEACHER", "sent",
                              "notification: SearchTeacherCallBack([\"T-7\", \"T 8\"])",
                              "answers: 1 of 1"}));
    EXPECT_EQ(Took("SEARCHTEACHER", false).Params(), "");

    run = Tavctl({"student", "connect-teacher", "--teacher", "T-7", "--expect", "1"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              lines({"request: CONNECTTEACHER teacher=T-7", "sent",
                     "notification: ConnectTeacherCallBack(\"T-7\", 0)", "answers: 1 of 1"}));
    EXPECT_EQ(Took("CONNECTTEACHER", false).Params(), Doc({S("strTeacherID", "T-7")}));

    // A posted message comes back to every student application, the sender
    // among them.
    run = Tavctl({"student", "post-message", "--id", "3", "--text", "hello", "--wait", "15"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, lines({"request: POSTMESSAGE id=3 text=\"hello\"", "sent",
                              "notification: OnMessage(3, \"hello\")", "answers: 1 of 1"}));
    ASSERT_EQ(Tavctl({"student", "disconnect-student"}).status, 0);
    Took("DISCONNECTSTUDENT", true); // the posted message did not reach the daemon
}

TEST_F(StudentCtl, ListenPrintsEveryNotification)
{
    Background listener({"student", "listen", "--count", "8", "--timeout", "20"});
    std::string line;
    ASSERT_TRUE(listener.ReadLine(line)) << listener.Why();
    EXPECT_EQ(line, "listening: tav.studentdaemon.type");
    s_daemon->Command("burst");
    const Outcome run = listener.Finish();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              lines({"listening: tav.studentdaemon.type",
                     "notification: ConnectTeacherCallBack(\"T-7\", 3)",
                     "notification: SearchTeacherCallBack([])",
                     "notification: NotifyLockStatusChanged(true)",
                     "notification: NotifyTabNavPolicyChanged()",
                     "notification: NotifySchedulePolicyChanged()",
                     "notification: NotifyTeacherStatusChanged(\"T-7\", 2)",
                     "notification: SearchLocalProgramCallBack(15 bytes, no programs document)",
                     "notification: OnMessage(-1, \"two\\nlines\")", "notifications: 8"}));
}

// The same notifications as JSON: the callback's arguments by name.
TEST_F(StudentCtl, ListenAsJson)
{
    Background listener({"student", "listen", "--json", "--count", "8", "--timeout", "20"});
    std::string line;
    ASSERT_TRUE(listener.ReadLine(line)) << listener.Why();
    EXPECT_EQ(line, R"({"type":"listening","interface":"tav.studentdaemon.type"})");
    s_daemon->Command("burst");
    const Outcome run = listener.Finish();
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string note = R"({"type":"notification","message":)";
    EXPECT_EQ(
        run.out,
        lines(
            {R"({"type":"listening","interface":"tav.studentdaemon.type"})",
             (note +
              R"("CONNECTTEACHERCALLBACK","callback":"ConnectTeacherCallBack","teacherID":"T-7","result":3})")
                 .c_str(),
             (note + R"("SEARCHTEACHERCALLBACK","callback":"SearchTeacherCallBack","teachers":[]})")
                 .c_str(),
             (note +
              R"("NOTIFYLOCKSTATUSCHANGED","callback":"NotifyLockStatusChanged","locked":true})")
                 .c_str(),
             (note + R"("NOTIFYTABNAVPOLICYCHANGED","callback":"NotifyTabNavPolicyChanged"})")
                 .c_str(),
             (note + R"("NOTIFYSCHEDULEPOLICYCHANGED","callback":"NotifySchedulePolicyChanged"})")
                 .c_str(),
             (note +
              R"("NOTIFYTEACHERSTATUSCHANGED","callback":"NotifyTeacherStatusChanged","teacherID":"T-7","state":2})")
                 .c_str(),
             (note +
              R"("SEARCHLOCALPROGRAMCALLBACK","callback":"SearchLocalProgramCallBack","programsXML":"<not-programs/>","programs":null})")
                 .c_str(),
             (note + R"("POSTMESSAGE","callback":"OnMessage","id":-1,"text":"two\nlines"})")
                 .c_str(),
             R"({"type":"notifications","count":8})"}));
}

TEST_F(StudentCtl, BadInputSendsNothing)
{
    const std::string dir = tavtest::MakeTempDir("bad");
    ASSERT_TRUE(tavtest::WriteFile(dir + "/info.xml",
                                   "<StudentInfo><StudentID>S1</StudentID></StudentInfo>"));
    const std::vector<UsageCase> cases = {
        {{"teleport"}, "", "unknown student command 'teleport' (tavctl student --help)"},
        {{"verify-user-password"}, "pw\n", "verify-user-password needs --user NAME"},
        {{"verify-user-password", "--user", "u", "--password", "pw"},
         "",
         "unknown option --password"},
        {{"verify-user-password", "--user", "u"},
         "",
         "standard input ended before the password (Password for u)"},
        {{"hardware-control", "--usb-storage", "2"}, "", "--usb-storage needs on or off, not '2'"},
        {{"hardware-control", "--usb-storage"}, "", "--usb-storage needs a value (on|off)"},
        {{"save-student-info", "--file", dir + "/info.xml"},
         "",
         dir + "/info.xml is not a student-information document"},
        {{"save-student-info", "--id", "S1"}, "", "give --file, or both --id and --name"},
        {{"save-local-schedule-policy", "--locked-time", "ten"},
         "",
         "--locked-time needs a whole number"},
        {{"save-local-tab-nav-policy", "--tab", ""}, "", "--tab needs a name"},
        {{"manual-lock-local-student", "--file", dir + "/nothing.xml"},
         "",
         "cannot read " + dir + "/nothing.xml"},
        {{"search-local-program"}, "", "search-local-program needs --folder PATH"},
        {{"connect-teacher", "--teacher=T", "--wait", "-1"},
         "",
         "--wait needs a number of seconds"},
        {{"listen", "--timeout", "1e3"}, "", "--timeout needs a number of seconds"},
    };
    ExpectUsageErrors("student", cases);
    ASSERT_EQ(Tavctl({"student", "manual-unlock-local-student"}).status, 0);
    Took("MANUALUNLOCKLOCALSTUDENT", true);
}

TEST_F(StudentCtl, HelpForEveryCommand) { EXPECT_EQ(CheckHelpForEveryCommand("student"), 16); }

} // namespace
