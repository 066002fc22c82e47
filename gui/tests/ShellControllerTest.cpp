// The shell controller's dialogs: the "Shell Settings" dialog writes the
// local files, and the program search asks the students through a teacher
// daemon on the private bus, whose answers come back one per student
// through the IPC worker thread.
#include "FakeDaemon.h"
#include "IPCTeacherAPI.h"
#include "SearchDialogCases.h"
#include "SearchProgramForShellController.h"
#include "SearchTestUtil.h"
#include "ShellSettingCtrlForShellController.h"
#include "TestShellSetting.h"

#include <gtest/gtest.h>

#include <glib/gstdio.h>

#include <memory>

using namespace tavguitest;

namespace {

::testing::Environment* const g_daemonEnv =
    ::testing::AddGlobalTestEnvironment(new FakeDaemonEnvironment(FakeDaemon::Teacher));

class CTestTeacherSettings : public LibTAVGUI::CShellSettingCtrlForShellController {
public:
    CTestTeacherSettings() : CShellSettingCtrlForShellController(nullptr) {}
    GtkWidget* Window() const { return m_pWindow; }
    GtkWidget* Cell(int day, int hour) const { return m_vecScheduleGrid[day][hour]; }
    bool ScheduleDirty() const { return m_bScheduleDirty; }
    LibTAVGUI::CSearchProgramForShellController* SearchDialog() const { return m_pSearchDlg; }
    IPCAPI::IPCAPIBase* OwnAPI() const { return m_pAPI; }
};

class CTestSearch : public LibTAVGUI::CSearchProgramForShellController {
public:
    IPCAPI::IPCAPIBase* OwnAPI() const { return m_pAPI; }
    const LibTAVData::CSearchResultData& Results() const { return m_SearchResult; }
};

IPCAPI::tagStudent_t Student(const std::string& id)
{
    IPCAPI::tagStudent_t student;
    student.studentID = id;
    student.username = "user-" + id;
    student.hostname = "host-" + id;
    student.IP = "10.0.0." + id.substr(1);
    return student;
}

// The teacher daemon knows these students.
bool StudentsOnline(std::list<IPCAPI::tagStudent_t> students)
{
    IPCAPI::CIntfData reply("TEACHER_GETSTUDENTLIST", 0, "null");
    if (!students.empty())
        reply.m_ParaXml.setStudentInfoList(students);
    return Daemon().SetReply("TEACHER_GETSTUDENTLIST", reply);
}

IPCAPI::CIntfData SearchAnswer(int opid, const std::string& studentID,
                               const std::string& programsXML, int result = 0)
{
    IPCAPI::CIntfData answer("TEACHER_SEARCHPROGRAMCALLBACK", opid, studentID);
    answer.SetResult(result);
    answer.m_ParaXml.setString("programsXML", programsXML);
    return answer;
}

const char kAnswerDone[] = "CSearchProgramForShellController::SearchProgramCallBack() <<End";

class ShellControllerTest : public ShellSettingTest {
public:
    // Types a path and presses "Search"; the search request the daemon got
    // after the student list.
    static Request StartSearch(GtkWidget* window, const std::string& path)
    {
        Type(PathEntry(window), path);
        EXPECT_TRUE(Click(FindButton(window, "Search")));
        const Request list = Daemon().Take();
        EXPECT_EQ(list.message, "TEACHER_GETSTUDENTLIST");
        EXPECT_TRUE(list.blocking);
        return Daemon().Take();
    }

    // Sends an answer and runs the loop until the dialog has taken it.
    static bool Answer(const IPCAPI::CIntfData& answer)
    {
        const int before = CountInLog(kAnswerDone);
        return Daemon().Send(answer) &&
               PumpUntil([&] { return CountInLog(kAnswerDone) > before; }, 8000);
    }

protected:
    void SetUp() override
    {
        ShellSettingTest::SetUp();
        ASSERT_TRUE(FreshDaemon());
    }
};

// The teacher's dialog, shown on the page with this tab.
GtkWidget* OpenTeacherSettings(CTestTeacherSettings& dialog, const std::string& page)
{
    EXPECT_EQ(dialog.Init(), 0);
    EXPECT_TRUE(dialog.Show());
    Pump(30);
    GtkWidget* window = dialog.Window();
    EXPECT_TRUE(ShowPage(window, page));
    return window;
}

TEST_F(ShellControllerTest, ApplyWritesTheSystemSettingsEvenWhenNothingChanged)
{
    CTestTeacherSettings dialog;
    EXPECT_NE(dynamic_cast<IPCAPI::IPCTeacherAPI*>(dialog.OwnAPI()), nullptr);
    GtkWidget* window = OpenTeacherSettings(dialog, "System Settings");
    EXPECT_EQ(FindButton(window, "Disable USB Storage"), nullptr);
    EXPECT_TRUE(IsPressed(FindButton(window, "Show new student connect notify dialog")));
    ASSERT_EQ(g_remove("/etc/TAV/TAVSystemSetting.xml"), 0);
    ASSERT_TRUE(Click(FindButton(window, "Apply")));
    EXPECT_EQ(ReadConfig("TAVSystemSetting.xml"), ExpectedSystemSetting(1, 1));
    EXPECT_EQ(ReadConfig("TabNavigation.xml"), SampleTabNavigation());
    // This dialog talks to no daemon.
    EXPECT_TRUE(Daemon().TakeAll(100).empty());
}

TEST_F(ShellControllerTest, ApplyWritesEachChangedPolicyToItsFile)
{
    CTestTeacherSettings dialog;
    GtkWidget* window = OpenTeacherSettings(dialog, "System Settings");
    ASSERT_TRUE(Click(FindButton(window, "Show new student connect notify dialog")));
    ASSERT_TRUE(ShowPage(window, "Shell Lock Settings"));
    ASSERT_TRUE(Click(dialog.Cell(1, 10)));
    ASSERT_TRUE(ShowPage(window, "Program Registration"));
    ASSERT_TRUE(ToggleCell(FindTreeView(window, "Program name"), "Show", 1));
    ASSERT_TRUE(Click(FindButton(window, "Apply")));
    EXPECT_EQ(ReadConfig("LockSchedule.xml"), ExpectedSchedule(LockSection("TUESDAY", 10)));
    EXPECT_EQ(ReadConfig("TabNavigation.xml"), ExpectedTabNavigation());
    EXPECT_EQ(ReadConfig("TAVSystemSetting.xml"), ExpectedSystemSetting(1, 0));
    // All written: OK closes without a question.
    MessageBoxAnswerer answerer(GTK_RESPONSE_CANCEL);
    ASSERT_TRUE(Click(FindButton(window, "OK")));
    EXPECT_TRUE(answerer.Boxes().empty());
    EXPECT_EQ(dialog.Window(), nullptr);
    EXPECT_TRUE(Daemon().TakeAll(100).empty());
}

TEST_F(ShellControllerTest, AFileThatCannotBeWrittenKeepsItsChangePending)
{
    CTestTeacherSettings dialog;
    GtkWidget* window = OpenTeacherSettings(dialog, "Shell Lock Settings");
    ASSERT_EQ(g_remove("/etc/TAV/LockSchedule.xml"), 0);
    ASSERT_EQ(g_mkdir("/etc/TAV/LockSchedule.xml", 0755), 0);
    ASSERT_TRUE(Click(dialog.Cell(2, 12)));
    ASSERT_TRUE(Click(FindButton(window, "Apply")));
    EXPECT_TRUE(Logged("ERROR", "CShellSettingCtrlForShellController::OnApply() --Save "
                                "LockSchedule.xml Failure!"));
    EXPECT_TRUE(dialog.ScheduleDirty());
    // Writable again: OK writes it, and has nothing left to ask.
    ASSERT_EQ(g_rmdir("/etc/TAV/LockSchedule.xml"), 0);
    MessageBoxAnswerer answerer(GTK_RESPONSE_CANCEL);
    ASSERT_TRUE(Click(FindButton(window, "OK")));
    EXPECT_TRUE(answerer.Boxes().empty());
    EXPECT_EQ(dialog.Window(), nullptr);
    EXPECT_EQ(ReadConfig("LockSchedule.xml"), ExpectedSchedule(LockSection("WEDNESDAY", 12)));
}

TEST_F(ShellControllerTest, ClosingAfterOnlyTheNewStudentSwitchChangedOffersToSaveIt)
{
    CTestTeacherSettings dialog;
    GtkWidget* window = OpenTeacherSettings(dialog, "System Settings");
    ASSERT_TRUE(Click(FindButton(window, "Show new student connect notify dialog")));
    MessageBoxAnswerer answerer(GTK_RESPONSE_OK);
    ASSERT_TRUE(Click(FindButton(window, "Cancel")));
    EXPECT_EQ(answerer.Texts(), std::vector<std::string>{"Are You sure you want to save?"});
    EXPECT_EQ(dialog.Window(), nullptr);
    EXPECT_EQ(ReadConfig("TAVSystemSetting.xml"), ExpectedSystemSetting(1, 0));
}

TEST_F(ShellControllerTest, PlusSearchesWhileNoResultsExistAndOffersThemAfterwards)
{
    ASSERT_TRUE(WriteConfig("SearchResult.xml", ProgramsDoc({})));
    CTestTeacherSettings dialog;
    ASSERT_EQ(dialog.Init(), 0);
    ASSERT_TRUE(dialog.Show());
    Pump(30);
    GtkWidget* window = dialog.Window();
    ASSERT_TRUE(ShowPage(window, "Program Registration"));
    ASSERT_TRUE(Click(FindButton(window, "+", 1)));
    Pump(30);
    ASSERT_NE(dialog.SearchDialog(), nullptr);
    GtkWidget* search = FindWindow("Search Program");
    ASSERT_NE(search, nullptr);
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(search)), GTK_WINDOW(window));

    // One student answers; the dialog writes the results file.
    ASSERT_TRUE(StudentsOnline({Student("S1")}));
    const Request request = StartSearch(search, "/opt/apps");
    ASSERT_TRUE(Answer(SearchAnswer(request.OperationID(), "S1", ProgramsDoc({"Paint"}))));
    EXPECT_EQ(ReadConfig("SearchResult.xml"), ProgramsDoc({"Paint"}));
    CloseFromWindowManager(search);
    Pump(30);

    ASSERT_TRUE(Click(FindButton(window, "+", 1)));
    Pump(30);
    GtkWidget* selection = FindWindow("Application Selection");
    ASSERT_NE(selection, nullptr);
    EXPECT_EQ(ColumnTexts(GTK_TREE_VIEW(FindOfType(selection, GTK_TYPE_TREE_VIEW)), 1),
              std::vector<std::string>{"Paint"});
    ASSERT_TRUE(Click(FindButton(selection, "Cancel")));
    Pump(30);
    // Only the search reached the daemon.
    EXPECT_TRUE(Daemon().TakeAll(100).empty());
}

TEST_F(ShellControllerTest, ThreeStudentsMoveTheProgressAndGrowTheResultsFile)
{
    CTestSearch dialog;
    EXPECT_NE(dynamic_cast<IPCAPI::IPCTeacherAPI*>(dialog.OwnAPI()), nullptr);
    GtkWidget* window = OpenSearch(dialog);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WindowClass(window), "Search Program/TAV");
    ASSERT_TRUE(StudentsOnline({Student("S1"), Student("S2"), Student("S3")}));

    const Request request = StartSearch(window, "/opt/apps");
    EXPECT_EQ(request.message, "TEACHER_SEARCHPROGRAM");
    EXPECT_FALSE(request.blocking);
    EXPECT_EQ(request.String("targetFolder"), "/opt/apps");
    EXPECT_NE(FindButton(window, "Cancel"), nullptr);
    EXPECT_DOUBLE_EQ(Progress(window), 0.0);
    const int opid = request.OperationID();

    ASSERT_TRUE(Answer(SearchAnswer(opid, "S1", ProgramsDoc({"Paint", "Terminal"}))));
    EXPECT_NEAR(Progress(window), 1.0 / 3, 1e-9);
    EXPECT_NE(FindButton(window, "Cancel"), nullptr);
    EXPECT_EQ(ReadConfig("SearchResult.xml"), ProgramsDoc({"Paint", "Terminal"}));

    // A student that found nothing counts, and the file stays as it was.
    ASSERT_TRUE(Answer(SearchAnswer(opid, "S2", ProgramsDoc({}))));
    EXPECT_NEAR(Progress(window), 2.0 / 3, 1e-9);
    EXPECT_NE(FindButton(window, "Cancel"), nullptr);
    EXPECT_EQ(ReadConfig("SearchResult.xml"), ProgramsDoc({"Paint", "Terminal"}));

    // A name collected before is not added again, whatever its path.
    ASSERT_TRUE(Answer(SearchAnswer(opid, "S3", ProgramsDoc({"Paint|/usr/bin/paint", "Editor"}))));
    EXPECT_DOUBLE_EQ(Progress(window), 1.0);
    EXPECT_NE(FindButton(window, "Search"), nullptr);
    EXPECT_EQ(ReadConfig("SearchResult.xml"), ProgramsDoc({"Paint", "Terminal", "Editor"}));
    EXPECT_EQ(dialog.Results().GetPApplicationInfoList()->size(), 3u);
    EXPECT_TRUE(Logged("TRACE", "All Students have been searched."));

    // Idle again: closing sends nothing.
    CloseFromWindowManager(window);
    Pump(30);
    EXPECT_TRUE(Daemon().TakeAll(100).empty());
}

TEST_F(ShellControllerTest, NoStudentOnlineIsSaidAndNoSearchIsSent)
{
    CTestSearch dialog;
    GtkWidget* window = OpenSearch(dialog);
    MessageBoxAnswerer answerer;
    ASSERT_TRUE(StudentsOnline({}));
    Type(PathEntry(window), "/opt/apps");
    ASSERT_TRUE(Click(FindButton(window, "Search")));
    // A student list that cannot be read counts as no student either.
    ASSERT_TRUE(Daemon().SetGarbageReply("TEACHER_GETSTUDENTLIST"));
    ASSERT_TRUE(Click(FindButton(window, "Search")));
    EXPECT_EQ(answerer.Texts(),
              (std::vector<std::string>{"No student is online!", "No student is online!"}));
    EXPECT_TRUE(Logged("ERROR", "CSearchProgramForShellController::OnSearchBtnClicked() "
                                "--GetStudentList Failure!"));
    EXPECT_EQ(Daemon().TakeNames(),
              (std::vector<std::string>{"TEACHER_GETSTUDENTLIST", "TEACHER_GETSTUDENTLIST"}));
    EXPECT_NE(FindButton(window, "Search"), nullptr);
}

TEST_F(ShellControllerTest, AnAnswerStillCountsWhileTheDaemonRefusesToCancel)
{
    CTestSearch dialog;
    GtkWidget* window = OpenSearch(dialog);
    ASSERT_TRUE(StudentsOnline({Student("S1"), Student("S2")}));
    const Request search = StartSearch(window, "/opt/apps");
    ASSERT_TRUE(Daemon().SetGarbageReply("TEACHER_CANCELOPERATION"));
    ASSERT_TRUE(Click(FindButton(window, "Cancel")));
    EXPECT_EQ(Daemon().Take().message, "TEACHER_CANCELOPERATION");
    ASSERT_TRUE(Answer(SearchAnswer(search.OperationID(), "S2", ProgramsDoc({"Editor"}))));
    EXPECT_DOUBLE_EQ(Progress(window), 0.5);
    EXPECT_EQ(ReadConfig("SearchResult.xml"), ProgramsDoc({"Editor"}));
    EXPECT_NE(FindButton(window, "Cancel"), nullptr);
}

TEST_F(ShellControllerTest, AFailedStudentCountsAndAnEmptyStudentIDEndsTheSearch)
{
    CTestSearch dialog;
    GtkWidget* window = OpenSearch(dialog);
    ASSERT_TRUE(StudentsOnline({Student("S1"), Student("S2")}));
    Request search = StartSearch(window, "/opt/apps");
    // A student that reports a failure: its programs are not read.
    ASSERT_TRUE(Answer(SearchAnswer(search.OperationID(), "S1", ProgramsDoc({"Paint"}), 2)));
    EXPECT_DOUBLE_EQ(Progress(window), 0.5);
    EXPECT_FALSE(tavtest::FileExists("/etc/TAV/SearchResult.xml"));

    ASSERT_TRUE(Answer(SearchAnswer(search.OperationID(), "", "")));
    EXPECT_DOUBLE_EQ(Progress(window), 1.0);
    EXPECT_NE(FindButton(window, "Search"), nullptr);

    // The next search counts from nothing.
    search = StartSearch(window, "/opt/apps");
    ASSERT_TRUE(Answer(SearchAnswer(search.OperationID(), "S2", ProgramsDoc({"Paint"}))));
    EXPECT_DOUBLE_EQ(Progress(window), 0.5);
    EXPECT_NE(FindButton(window, "Cancel"), nullptr);
}

// The cases both search variants share, on the teacher side (one student
// online).
struct TeacherSide {
    using Dialog = CTestSearch;
    static constexpr const char* kVariant = "CSearchProgramForShellController";
    static constexpr const char* kSide = "teacher";
    static constexpr const char* kCancelRequest = "TEACHER_CANCELOPERATION";
    static constexpr const char* kAnswerEntered =
        "CSearchProgramForShellController::SearchProgramCallBack() >>Start";
    static constexpr const char* kAnswerDone =
        "CSearchProgramForShellController::SearchProgramCallBack() <<End";

    static Request Start(GtkWidget* window, const std::string& path)
    {
        EXPECT_TRUE(StudentsOnline({Student("S1")}));
        const Request search = ShellControllerTest::StartSearch(window, path);
        EXPECT_EQ(search.message, "TEACHER_SEARCHPROGRAM");
        return search;
    }
    static IPCAPI::CIntfData Answer(int opid, const std::string& programsXML)
    {
        return SearchAnswer(opid, "S1", programsXML);
    }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Teacher, SearchDialogTest, TeacherSide);

} // namespace
