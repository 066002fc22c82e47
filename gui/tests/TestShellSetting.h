// A concrete "Shell Settings" dialog for the tests: it loads and saves the
// local files (like the teacher-side variant) and opens the Application
// Selection window for "+". Admin shows "Disable USB Storage"; Teacher
// shows "Show new student connect notify dialog" instead.
#ifndef TAV_GUI_TESTS_TESTSHELLSETTING_H
#define TAV_GUI_TESTS_TESTSHELLSETTING_H

#include "AddApplicationWindow.h"
#include "GuiTestData.h"
#include "GuiTestUtil.h"
#include "ShellSettingCtrl.h"
#include "TAVLayout.h"

#include <gtest/gtest.h>

#include <list>

namespace tavguitest {

class CTestShellSetting : public LibTAVGUI::CShellSettingCtrl {
public:
    enum Variant { Admin, Teacher };

    explicit CTestShellSetting(Variant variant = Admin) : m_variant(variant) {}
    ~CTestShellSetting() override { delete m_pAddWindow; }

    int Init() override
    {
        AttachBaseClassGTKHandler(this);
        if (m_variant == Teacher) {
            GTKHideUSBCheckBox();
            GTKShowDlgCheckBox();
        }
        LoadXMLData();
        m_bBuilt = true;
        return 0;
    }

    int LoadXMLData() override
    {
        using namespace LibTAVData;
        m_TabNavigation.LoadFromFile(CONFIG_DIR + TAB_NAVIGATION_XML);
        m_Schedule.LoadFromFile(CONFIG_DIR + LOCK_SCHEDULE_XML);
        m_SystemSetting.LoadFromFile(CONFIG_DIR + SYSTEM_SETTING_XML);
        ShowTabNavPolicy();
        ShowSchedulePolicy();
        if (m_variant == Teacher)
            ShowTeacherPolicy();
        else
            ShowUSBPolicy();
        return 0;
    }

    int OnApply() override
    {
        using namespace LibTAVData;
        ++applied;
        FetchScheuleData();
        if (m_bScheduleDirty) {
            m_Schedule.Save2File(CONFIG_DIR + LOCK_SCHEDULE_XML);
            m_bScheduleDirty = false;
        }
        FetchTabNavData();
        if (m_bTabNavDirty) {
            m_TabNavigation.Save2File(CONFIG_DIR + TAB_NAVIGATION_XML);
            m_bTabNavDirty = false;
        }
        FetchUSBData();
        FetchTeacherPolicy();
        if (m_bSystemSettingDirty) {
            m_SystemSetting.Save2File(CONFIG_DIR + SYSTEM_SETTING_XML);
            m_bSystemSettingDirty = false;
        }
        return 0;
    }

    int OnAddProgram() override
    {
        delete m_pAddWindow;
        m_pAddWindow = new LibTAVGUI::CAddApplicationWindow;
        m_pAddWindow->Init();
        m_pAddWindow->ShowModal(m_pWindow, G_CALLBACK(AddProgramCallback), this);
        return 0;
    }

    static void AddProgramCallback(GtkWidget*, void* dialog)
    {
        CTestShellSetting* self = static_cast<CTestShellSetting*>(dialog);
        if (!self || !self->m_pAddWindow)
            return;
        std::list<LibTAVData::CApplicationInfo> programs;
        self->m_pAddWindow->GetSelectApplicationList(programs);
        if (!programs.empty())
            self->AddPrograms(programs);
    }

    GtkWidget* Window() const { return m_pWindow; }
    GtkWidget* Cell(int day, int hour) const { return m_vecScheduleGrid[day][hour]; }
    bool ScheduleDirty() const { return m_bScheduleDirty; }
    bool TabNavDirty() const { return m_bTabNavDirty; }
    bool SystemSettingDirty() const { return m_bSystemSettingDirty; }
    LibTAVData::CTabNavigationData& Model() { return m_TabNavigation; }
    LibTAVData::CLockScheduleData& Schedule() { return m_Schedule; }
    LibTAVData::CTAVSystemSettingData& SystemSetting() { return m_SystemSetting; }
    LibTAVGUI::CChangeIconDlg* IconDialog() const { return m_pIconDlg; }

    int applied = 0;

private:
    Variant m_variant;
    LibTAVGUI::CAddApplicationWindow* m_pAddWindow = nullptr;
};

// Sample configuration: three categories (one named "New Category"), a
// schedule of one-hour sections in grid order, USB storage enabled.
inline std::string SampleTabNavigation()
{
    const std::string image = "/etc/TAV/image/";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<TabNavigation><CategoryConfig>"
           "<Category name=\"Internet\" icon=\"" +
           image +
           "category_internet.png\">"
           "<Application enabled=\"1\"><Name>Web Browser</Name><Path>/usr/bin/x-www-browser</Path>"
           "<CustomIcon>" +
           image +
           "category_internet.png</CustomIcon></Application>"
           "<Application enabled=\"0\"><Name>Mail</Name><Path>/usr/bin/mail</Path>"
           "<CustomIcon></CustomIcon></Application></Category>"
           "<Category name=\"Office\" icon=\"" +
           image +
           "category_office.png\">"
           "<Application enabled=\"1\"><Name>Text Editor</Name><Path>/usr/bin/editor</Path>"
           "<CustomIcon></CustomIcon></Application></Category>"
           "<Category name=\"New Category\" icon=\"" +
           image +
           "gui_default_app.png\"></Category>"
           "</CategoryConfig></TabNavigation>\n";
}

inline std::string Schedule(int autoLock, const std::string& sections)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<LockSchedule><AutoLockStatus>" +
           std::to_string(autoLock) +
           "</AutoLockStatus><ManualLockStatus>0</ManualLockStatus><LockStatus>0</LockStatus>"
           "<AutomaticLock>" +
           sections + "</AutomaticLock></LockSchedule>\n";
}

inline std::string Section(const std::string& day, int start, int end)
{
    return "<LockTimeSection DayOfWeek=\"" + day + "\" Start=\"" + std::to_string(start) +
           "\" End=\"" + std::to_string(end) + "\" />";
}

inline std::string SystemSetting(int usb, int newStudentDialog)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<TAVSystemSetting>"
           "<USBStorage enabled=\"" +
           std::to_string(usb) +
           "\" />"
           "<NewStudentConnectDialog enabled=\"" +
           std::to_string(newStudentDialog) +
           "\">"
           "<ConnectPolicy allow=\"1\" /><AddToCurrentClass allow=\"1\" />"
           "</NewStudentConnectDialog><AutoDeploy enabled=\"0\" /></TAVSystemSetting>\n";
}

// Shows the dialog on the sample configuration.
class ShellSettingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(InstallImages()); }
    void SetUp() override
    {
        ASSERT_TRUE(InitGtk());
        ClearConfig();
        ASSERT_TRUE(WriteConfig("TabNavigation.xml", SampleTabNavigation()));
        ASSERT_TRUE(WriteConfig("LockSchedule.xml",
                                Schedule(1, Section("MONDAY", 8, 9) + Section("SUNDAY", 23, 24))));
        ASSERT_TRUE(WriteConfig("TAVSystemSetting.xml", SystemSetting(1, 1)));
    }
    void TearDown() override { Pump(10); }

    // Init and Show; the window, on the page with this tab.
    GtkWidget* Open(CTestShellSetting& dialog, const std::string& page = "Program Registration")
    {
        EXPECT_EQ(dialog.Init(), 0);
        EXPECT_TRUE(dialog.Show());
        Pump(30);
        GtkWidget* window = FindWindow("Shell Settings");
        EXPECT_NE(window, nullptr);
        EXPECT_TRUE(ShowPage(window, page));
        return window;
    }
    // Init and Show a search dialog of either variant; its window.
    template <class Search>
    static GtkWidget* OpenSearch(Search& dialog)
    {
        EXPECT_EQ(dialog.Init(), 0);
        EXPECT_TRUE(dialog.Show());
        Pump(30);
        return FindWindow("Search Program");
    }
    static GtkTreeView* Categories(GtkWidget* w) { return FindTreeView(w, "Category (Tab)"); }
    static GtkTreeView* Programs(GtkWidget* w) { return FindTreeView(w, "Program name"); }
    static GtkWidget* AddCategoryButton(GtkWidget* w) { return FindButton(w, "+", 0); }
    static GtkWidget* DeleteCategoryButton(GtkWidget* w) { return FindButton(w, "-", 0); }
    static GtkWidget* AddProgramButton(GtkWidget* w) { return FindButton(w, "+", 1); }
    static GtkWidget* DeleteProgramButton(GtkWidget* w) { return FindButton(w, "-", 1); }
    static std::vector<std::string> CategoryNames(GtkWidget* w)
    {
        return ColumnTexts(Categories(w), 1);
    }
    static std::vector<std::string> ProgramNames(GtkWidget* w)
    {
        return ColumnTexts(Programs(w), 2);
    }
    static std::vector<std::string> ModelNames(CTestShellSetting& dialog)
    {
        std::vector<std::string> names;
        for (LibTAVData::CCategory* c : *dialog.Model().GetPCategoryInfoList())
            names.push_back(c->GetName());
        return names;
    }
    static LibTAVData::CCategory* ModelCategory(CTestShellSetting& dialog, const std::string& name)
    {
        for (LibTAVData::CCategory* c : *dialog.Model().GetPCategoryInfoList())
            if (c->GetName() == name)
                return c;
        return nullptr;
    }
};

} // namespace tavguitest

#endif
