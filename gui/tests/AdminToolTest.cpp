// The administrative tool's dialogs against a student daemon on the private
// bus: the "Shell Settings" dialog sends its changes as requests, and the
// local program search gets its answer back through the IPC worker thread.
#include "FakeDaemon.h"
#include "GuiTestData.h"
#include "GuiTestUtil.h"
#include "IPCAPIManager.h"
#include "IPCStudentAPI.h"
#include "SearchDialogCases.h"
#include "SearchProgramForAdminTool.h"
#include "SearchTestUtil.h"
#include "ShellSettingForAdminTool.h"
#include "TestShellSetting.h"

#include <gtest/gtest.h>

#include <memory>

using namespace tavguitest;

namespace {

::testing::Environment* const g_daemonEnv =
    ::testing::AddGlobalTestEnvironment(new FakeDaemonEnvironment(FakeDaemon::Student));

class CTestAdminSettings : public LibTAVGUI::CShellSettingForAdminTool {
public:
    using CShellSettingForAdminTool::CShellSettingForAdminTool;
    GtkWidget* Window() const { return m_pWindow; }
    GtkWidget* Cell(int day, int hour) const { return m_vecScheduleGrid[day][hour]; }
    bool ScheduleDirty() const { return m_bScheduleDirty; }
    bool TabNavDirty() const { return m_bTabNavDirty; }
    bool SystemSettingDirty() const { return m_bSystemSettingDirty; }
    LibTAVGUI::CSearchProgramForAdminTool* SearchDialog() const { return m_pSearchDlg; }
    LibTAVGUI::CAddApplicationWindow* SelectionWindow() const { return m_pAddApplicationWindow; }
};

IPCAPI::CIntfData LocalSearchAnswer(int opid, const std::string& programsXML)
{
    IPCAPI::CIntfData answer("SEARCHLOCALPROGRAMCALLBACK", opid, "null");
    answer.m_ParaXml.setString("programsXML", programsXML);
    return answer;
}

class AdminToolTest : public ShellSettingTest {
public:
    // Types a path and presses "Search"; the request the daemon got.
    static Request StartSearch(GtkWidget* window, const std::string& path)
    {
        Type(PathEntry(window), path);
        EXPECT_TRUE(Click(FindButton(window, "Search")));
        return Daemon().Take();
    }

protected:
    void SetUp() override
    {
        ShellSettingTest::SetUp();
        ASSERT_TRUE(FreshDaemon());
        // The host's own student API object, lent to the settings dialog.
        ASSERT_EQ(IPCAPI::InitializeTAVLibrary(1, &m_pHostAPI), 0);
    }
    void TearDown() override
    {
        ShellSettingTest::TearDown();
        IPCAPI::UninitializeTAVLibrary(m_pHostAPI);
    }

    GtkWidget* OpenSettings(CTestAdminSettings& dialog, const std::string& page)
    {
        EXPECT_EQ(dialog.Init(), 0);
        EXPECT_TRUE(dialog.Show());
        Pump(30);
        GtkWidget* window = dialog.Window();
        EXPECT_TRUE(ShowPage(window, page));
        return window;
    }

    IPCAPI::IPCAPIBase* m_pHostAPI = nullptr;
};

TEST_F(AdminToolTest, ApplySendsTheChangedPoliciesWithTheSavedTexts)
{
    CTestAdminSettings dialog(m_pHostAPI);
    GtkWidget* window = OpenSettings(dialog, "Shell Lock Settings");
    ASSERT_TRUE(Click(dialog.Cell(1, 10)));
    ASSERT_TRUE(ShowPage(window, "Program Registration"));
    ASSERT_TRUE(ToggleCell(FindTreeView(window, "Program name"), "Show", 1)); // Mail
    ASSERT_TRUE(ShowPage(window, "System Settings"));
    ASSERT_TRUE(Click(FindButton(window, "Disable USB Storage")));

    ASSERT_TRUE(Click(FindButton(window, "Apply")));
    const std::vector<Request> sent = Daemon().TakeAll();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].message, "SAVELOCALSCHEDULEPOLICY");
    EXPECT_EQ(sent[0].String("strXML"), ExpectedSchedule(LockSection("TUESDAY", 10)));
    EXPECT_EQ(sent[1].message, "SAVELOCALTABNAVPOLICY");
    EXPECT_EQ(sent[1].String("strXML"), ExpectedTabNavigation());
    EXPECT_EQ(sent[2].message, "HARDWARECONTROL");
    EXPECT_EQ(sent[2].String("strXML"), ExpectedSystemSetting(0, 1));
    for (const Request& r : sent)
        EXPECT_TRUE(r.blocking) << r.message;
    EXPECT_FALSE(dialog.ScheduleDirty());
    EXPECT_FALSE(dialog.SystemSettingDirty());
    // The daemon owns the files: nothing was written here.
    EXPECT_EQ(ReadConfig("TAVSystemSetting.xml"), SystemSetting(1, 1));
}

TEST_F(AdminToolTest, ApplyReturnsWhatTheLastRequestsAnswerSaid)
{
    CTestAdminSettings dialog(m_pHostAPI);
    GtkWidget* window = OpenSettings(dialog, "Program Registration");
    ASSERT_TRUE(ToggleCell(FindTreeView(window, "Program name"), "Show", 1));
    ASSERT_TRUE(Daemon().SetReply("SAVELOCALTABNAVPOLICY", 5));
    EXPECT_EQ(dialog.OnApply(), 5);
    EXPECT_EQ(Daemon().TakeNames(), std::vector<std::string>{"SAVELOCALTABNAVPOLICY"});
    // Nothing to send: 0.
    ASSERT_TRUE(WriteConfig("TabNavigation.xml", ExpectedTabNavigation()));
    EXPECT_EQ(dialog.OnApply(), 0);
    EXPECT_TRUE(Daemon().TakeAll().empty());
}

TEST_F(AdminToolTest, ChangingOnlyShowSendsOnlyTheProgramsAndOKClosesQuietly)
{
    CTestAdminSettings dialog(m_pHostAPI);
    GtkWidget* window = OpenSettings(dialog, "Program Registration");
    ASSERT_TRUE(ToggleCell(FindTreeView(window, "Program name"), "Show", 1));
    ASSERT_TRUE(Click(FindButton(window, "Apply")));
    const std::vector<Request> sent = Daemon().TakeAll();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].message, "SAVELOCALTABNAVPOLICY");
    EXPECT_EQ(sent[0].String("strXML"), ExpectedTabNavigation());

    // The daemon saved it; OK then has nothing to send and nothing to ask.
    ASSERT_TRUE(WriteConfig("TabNavigation.xml", ExpectedTabNavigation()));
    MessageBoxAnswerer answerer(GTK_RESPONSE_CANCEL);
    ASSERT_TRUE(Click(FindButton(window, "OK")));
    EXPECT_TRUE(answerer.Boxes().empty());
    EXPECT_EQ(dialog.Window(), nullptr);
    EXPECT_TRUE(Daemon().TakeAll().empty());
}

TEST_F(AdminToolTest, RequestsThatFailStayPendingUntilTheyGetThrough)
{
    CTestAdminSettings dialog(m_pHostAPI);
    GtkWidget* window = OpenSettings(dialog, "System Settings");
    ASSERT_TRUE(Click(FindButton(window, "Disable USB Storage")));
    ASSERT_TRUE(ShowPage(window, "Shell Lock Settings"));
    ASSERT_TRUE(Click(dialog.Cell(1, 10)));
    ASSERT_TRUE(Daemon().SetGarbageReply("HARDWARECONTROL"));
    ASSERT_TRUE(Daemon().SetGarbageReply("SAVELOCALSCHEDULEPOLICY"));

    ASSERT_TRUE(Click(FindButton(window, "Apply")));
    EXPECT_EQ(Daemon().TakeNames(),
              (std::vector<std::string>{"SAVELOCALSCHEDULEPOLICY", "HARDWARECONTROL"}));
    EXPECT_TRUE(Logged("ERROR", "Save USB Policy Failure!"));
    EXPECT_TRUE(Logged("ERROR", "Save Schedule Policy Failure!"));
    EXPECT_TRUE(dialog.SystemSettingDirty());
    EXPECT_TRUE(dialog.ScheduleDirty());

    // The schedule gets through now and is sent again; USB still fails.
    ASSERT_TRUE(Daemon().SetReply("SAVELOCALSCHEDULEPOLICY", 0));
    ASSERT_TRUE(Click(FindButton(window, "Apply")));
    const std::vector<Request> again = Daemon().TakeAll();
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0].String("strXML"), ExpectedSchedule(LockSection("TUESDAY", 10)));
    EXPECT_EQ(again[1].message, "HARDWARECONTROL");
    EXPECT_FALSE(dialog.ScheduleDirty());
    EXPECT_TRUE(dialog.SystemSettingDirty());

    // OK applies (USB fails once more), then the closing flow asks, since
    // the USB change is still pending; Cancel closes without a third try.
    MessageBoxAnswerer answerer(GTK_RESPONSE_CANCEL);
    ASSERT_TRUE(Click(FindButton(window, "OK")));
    EXPECT_EQ(answerer.Texts(), std::vector<std::string>{"Are You sure you want to save?"});
    EXPECT_EQ(Daemon().TakeNames(), std::vector<std::string>{"HARDWARECONTROL"});
    EXPECT_EQ(dialog.Window(), nullptr);
}

TEST_F(AdminToolTest, WithoutAStudentAPIApplyRefusesAndKeepsTheChanges)
{
    IPCAPI::IPCAPIBase* teacherAPI = nullptr;
    ASSERT_EQ(IPCAPI::InitializeTAVLibrary(0, &teacherAPI), 0);
    for (IPCAPI::IPCAPIBase* api : {static_cast<IPCAPI::IPCAPIBase*>(nullptr), teacherAPI}) {
        CTestAdminSettings dialog(api);
        GtkWidget* window = OpenSettings(dialog, "System Settings");
        ASSERT_TRUE(Click(FindButton(window, "Disable USB Storage")));
        MessageBoxAnswerer answerer;
        ASSERT_TRUE(Click(FindButton(window, "Apply")));
        ASSERT_EQ(answerer.Boxes().size(), 1u);
        EXPECT_EQ(answerer.Boxes()[0].type, GTK_MESSAGE_ERROR);
        EXPECT_EQ(answerer.Boxes()[0].text,
                  "Cannot save the settings: the student service is not available!");
        EXPECT_TRUE(Logged("ERROR", "CShellSettingForAdminTool::OnApply() --No student API object, "
                                    "nothing sent!"));
        EXPECT_EQ(dialog.OnApply(), -1);
        answerer.Clear();
        // Closing still offers to save what could not be sent.
        answerer.Answer(GTK_RESPONSE_CANCEL);
        ASSERT_TRUE(Click(FindButton(window, "Cancel")));
        EXPECT_EQ(answerer.Texts(), std::vector<std::string>{"Are You sure you want to save?"});
        EXPECT_EQ(dialog.Window(), nullptr);
    }
    EXPECT_TRUE(Daemon().TakeAll().empty());
    IPCAPI::UninitializeTAVLibrary(teacherAPI);
}

TEST_F(AdminToolTest, PlusSearchesFirstAndThenOffersWhatTheSearchFound)
{
    CTestAdminSettings dialog(m_pHostAPI);
    GtkWidget* window = OpenSettings(dialog, "Program Registration");
    ASSERT_TRUE(Click(FindButton(window, "+", 1)));
    Pump(30);
    ASSERT_NE(dialog.SearchDialog(), nullptr);
    GtkWidget* search = FindWindow("Search Program");
    ASSERT_NE(search, nullptr);
    EXPECT_EQ(FindWindow("Application Selection"), nullptr);
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(search)));
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(search)), GTK_WINDOW(window));

    const Request request = StartSearch(search, "/opt/apps");
    EXPECT_EQ(request.message, "SEARCHLOCALPROGRAM");
    EXPECT_FALSE(request.blocking);
    EXPECT_EQ(request.String("targetFolder"), "/opt/apps");
    EXPECT_NE(FindButton(search, "Cancel"), nullptr);

    // The daemon keeps the results file and answers.
    const std::string found = ProgramsDoc({"Paint", "Terminal"});
    ASSERT_TRUE(WriteConfig("SearchResult.xml", found));
    ASSERT_TRUE(Daemon().Send(LocalSearchAnswer(request.OperationID(), found)));
    ASSERT_TRUE(PumpUntil([&] { return FindButton(search, "Search") != nullptr; }, 8000));
    EXPECT_DOUBLE_EQ(Progress(search), 1.0);

    // Closed with no search running: nothing to cancel.
    CloseFromWindowManager(search);
    Pump(30);
    EXPECT_EQ(FindWindow("Search Program"), nullptr);
    EXPECT_TRUE(Daemon().TakeAll().empty());

    ASSERT_TRUE(Click(FindButton(window, "+", 1)));
    Pump(30);
    GtkWidget* selection = FindWindow("Application Selection");
    ASSERT_NE(selection, nullptr);
    GtkTreeView* list = GTK_TREE_VIEW(FindOfType(selection, GTK_TYPE_TREE_VIEW));
    EXPECT_EQ(ColumnTexts(list, 1), (std::vector<std::string>{"Paint", "Terminal"}));
    SelectRow(list, 1);
    ASSERT_TRUE(Click(FindButton(selection, "OK")));
    Pump(30);
    EXPECT_EQ(ColumnTexts(FindTreeView(window, "Program name"), 2),
              (std::vector<std::string>{"Web Browser", "Mail", "Terminal"}));

    ASSERT_TRUE(ToggleCell(FindTreeView(window, "Program name"), "Show", 1));
    ASSERT_TRUE(Click(FindButton(window, "Apply")));
    const std::vector<Request> sent = Daemon().TakeAll();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].String("strXML"),
              ExpectedTabNavigation(App("1", "Terminal", "/opt/apps/Terminal", "")));
}

TEST_F(AdminToolTest, AnEmptyAnswerEndsTheSearchAndLeavesTheBarWhereItWas)
{
    LibTAVGUI::CSearchProgramForAdminTool dialog;
    GtkWidget* window = OpenSearch(dialog);
    const Request search = StartSearch(window, "/nowhere");
    ASSERT_EQ(search.message, "SEARCHLOCALPROGRAM");
    ASSERT_TRUE(Daemon().Send(LocalSearchAnswer(search.OperationID(), "")));
    ASSERT_TRUE(PumpUntil([&] { return FindButton(window, "Search") != nullptr; }, 8000));
    EXPECT_DOUBLE_EQ(Progress(window), 0.0);
    // Idle again: closing sends nothing.
    CloseFromWindowManager(window);
    Pump(30);
    EXPECT_TRUE(Daemon().TakeAll(100).empty());
}

// The cases both search variants share, on the student side.
struct StudentSide {
    using Dialog = LibTAVGUI::CSearchProgramForAdminTool;
    static constexpr const char* kVariant = "CSearchProgramForAdminTool";
    static constexpr const char* kSide = "student";
    static constexpr const char* kCancelRequest = "STUDENT_CANCELOPERATION";
    static constexpr const char* kAnswerEntered =
        "CSearchProgramForAdminTool::SearchLocalProgramCallBack() >>Start";
    static constexpr const char* kAnswerDone =
        "CSearchProgramForAdminTool::SearchLocalProgramCallBack() <<End";

    static Request Start(GtkWidget* window, const std::string& path)
    {
        const Request search = AdminToolTest::StartSearch(window, path);
        EXPECT_EQ(search.message, "SEARCHLOCALPROGRAM");
        return search;
    }
    static IPCAPI::CIntfData Answer(int opid, const std::string& programsXML)
    {
        return LocalSearchAnswer(opid, programsXML);
    }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Student, SearchDialogTest, StudentSide);

} // namespace
