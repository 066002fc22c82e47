// "Shell Settings": the window frame, the Shell Lock Settings page (week
// grid, auto-lock box) and the System Settings page (USB and new-student
// switches), read back as one-hour sections and switch values.
#include "TestShellSetting.h"

#include <cmath>

using namespace tavguitest;
using LibTAVData::CLockTimeSection;

namespace {

const int kCell = 17;

// Sections of the schedule as "day,start,end".
std::vector<std::string> Sections(const std::list<CLockTimeSection*>* list)
{
    std::vector<std::string> out;
    for (const CLockTimeSection* s : *list)
        out.push_back(std::to_string(s->m_iDayOfWeek) + "," + std::to_string(s->m_iStartTime) +
                      "," + std::to_string(s->m_iEndTime));
    return out;
}

std::vector<std::string> PressedCells(CTestShellSetting& dialog)
{
    std::vector<std::string> pressed;
    for (int day = 0; day < 7; ++day)
        for (int hour = 0; hour < 24; ++hour)
            if (IsPressed(dialog.Cell(day, hour)))
                pressed.push_back(std::to_string(day) + "," + std::to_string(hour));
    return pressed;
}

// Position of a widget inside its top-level window.
GdkRectangle InWindow(GtkWidget* widget)
{
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    int x = 0, y = 0;
    gtk_widget_translate_coordinates(widget, gtk_widget_get_toplevel(widget), 0, 0, &x, &y);
    return {x, y, a.width, a.height};
}

using Strings = std::vector<std::string>;
using ShellSettingPagesTest = ShellSettingTest;

TEST_F(ShellSettingPagesTest, TheFrameHasItsPagesAndButtonsInOrder)
{
    CTestShellSetting dialog;
    GtkWidget* window = Open(dialog, "Shell Lock Settings");
    EXPECT_EQ(WindowClass(window), "Shell Settings/TAV");
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(window)));
    EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(window)));
    GtkNotebook* notebook = GTK_NOTEBOOK(FindOfType(window, GTK_TYPE_NOTEBOOK));
    Strings tabs;
    for (int i = 0; i < gtk_notebook_get_n_pages(notebook); ++i)
        tabs.push_back(
            gtk_notebook_get_tab_label_text(notebook, gtk_notebook_get_nth_page(notebook, i)));
    EXPECT_EQ(tabs, (Strings{"Shell Lock Settings", "Program Registration", "System Settings"}));

    GdkRectangle ok = InWindow(FindButton(window, "OK"));
    GdkRectangle apply = InWindow(FindButton(window, "Apply"));
    GdkRectangle cancel = InWindow(FindButton(window, "Cancel"));
    EXPECT_LT(ok.x, apply.x);
    EXPECT_LT(apply.x, cancel.x);
    EXPECT_EQ(cancel.width, 70);
    EXPECT_EQ(cancel.height, 30);
    // Everything fits the window.
    GtkAllocation frame;
    gtk_widget_get_allocation(window, &frame);
    EXPECT_LE(cancel.x + cancel.width, frame.width);
    EXPECT_LE(cancel.y + cancel.height, frame.height);
}

TEST_F(ShellSettingPagesTest, TheHourScaleAndDayNamesLineUpWithTheGrid)
{
    CTestShellSetting dialog;
    GtkWidget* window = Open(dialog, "Shell Lock Settings");
    Pump(50);
    int cells = 0;
    ForEachWidget(window, [&](GtkWidget* w) {
        if (GTK_IS_TOGGLE_BUTTON(w) &&
            std::string(gtk_widget_get_name(w)) == "admin-calendar-button.GtkToggleButton")
            ++cells;
    });
    EXPECT_EQ(cells, 7 * 24);
    for (int hour = 0; hour <= 24; hour += 2) {
        GdkRectangle cell = InWindow(dialog.Cell(0, hour == 24 ? 23 : hour));
        const int line = hour == 24 ? cell.x + cell.width : cell.x;
        GdkRectangle mark = InWindow(FindLabel(window, std::to_string(hour)));
        EXPECT_EQ(cell.width, kCell);
        EXPECT_LE(std::abs(mark.x + mark.width / 2 - line), 1) << "hour " << hour;
        EXPECT_LT(mark.y + mark.height, cell.y);
    }
    const Strings days{"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    for (int day = 0; day < 7; ++day) {
        GdkRectangle cell = InWindow(dialog.Cell(day, 0));
        GdkRectangle name = InWindow(FindLabel(window, days[day]));
        EXPECT_EQ(cell.height, kCell);
        EXPECT_LE(std::abs((name.y + name.height / 2) - (cell.y + cell.height / 2)), 1)
            << days[day];
        EXPECT_LT(name.x + name.width, cell.x);
    }
    // Legend, left to right: unlocked picture, "Unlock", locked picture, "Lock".
    GtkWidget* unlockLabel = FindLabel(window, "Unlock");
    GtkWidget* lockLabel = FindLabel(window, "Lock");
    GtkWidget* legend = gtk_widget_get_parent(lockLabel);
    std::vector<GtkWidget*> images = FindAll(legend, [](GtkWidget* w) { return GTK_IS_IMAGE(w); });
    ASSERT_EQ(images.size(), 2u);
    GtkWidget* unlockedImage =
        InWindow(images[0]).x < InWindow(images[1]).x ? images[0] : images[1];
    GtkWidget* lockedImage = unlockedImage == images[0] ? images[1] : images[0];
    EXPECT_LT(InWindow(unlockedImage).x, InWindow(unlockLabel).x);
    EXPECT_LT(InWindow(unlockLabel).x, InWindow(lockedImage).x);
    EXPECT_LT(InWindow(lockedImage).x, InWindow(lockLabel).x);
    GdkPixbuf* expected = gdk_pixbuf_new_from_file(Image("sc_locked.png").c_str(), nullptr);
    EXPECT_TRUE(SamePixels(gtk_image_get_pixbuf(GTK_IMAGE(lockedImage)), expected));
    g_object_unref(expected);
}

TEST_F(ShellSettingPagesTest, AStoredScheduleIsShownHourByHourAndOffGridSectionsAreSkipped)
{
    ASSERT_TRUE(
        WriteConfig("LockSchedule.xml",
                    Schedule(1, Section("TUESDAY", 8, 12) + Section("SUNDAY", 23, 24) +
                                    Section("Someday", 3, 4) + Section("MONDAY", 24, 25) +
                                    Section("FRIDAY", -1, 0) + Section("WEDNESDAY", 30, 31))));
    CTestShellSetting dialog;
    GtkWidget* window = Open(dialog, "Shell Lock Settings");
    EXPECT_TRUE(IsPressed(FindButton(window, "Automatically lock Tavora")));
    EXPECT_EQ(PressedCells(dialog), (Strings{"1,8", "6,23"}));
    EXPECT_NE(LogText().find("section outside the week skipped: day -1, start 3"),
              std::string::npos);

    // Read back: one-hour sections, different from what was stored.
    dialog.FetchScheuleData();
    EXPECT_EQ(Sections(dialog.Schedule().GetPAutomaticLockTimeList()),
              (Strings{"1,8,9", "6,23,24"}));
    EXPECT_TRUE(dialog.ScheduleDirty());
}

TEST_F(ShellSettingPagesTest, PressedCellsBecomeOneHourSectionsInGridOrder)
{
    CTestShellSetting dialog;
    GtkWidget* window = Open(dialog, "Shell Lock Settings");
    EXPECT_EQ(PressedCells(dialog), (Strings{"0,8", "6,23"}));
    // Unchanged: read back equal, nothing to save.
    dialog.FetchScheuleData();
    EXPECT_FALSE(dialog.ScheduleDirty());

    ASSERT_TRUE(Click(dialog.Cell(6, 23))); // unlock Sunday 23:00
    ASSERT_TRUE(Click(dialog.Cell(0, 0)));  // lock Monday 0:00
    ASSERT_TRUE(Click(dialog.Cell(2, 12))); // and Wednesday noon
    ASSERT_TRUE(Click(dialog.Cell(6, 23))); // Sunday 23:00 again
    EXPECT_EQ(PressedCells(dialog), (Strings{"0,0", "0,8", "2,12", "6,23"}));
    ASSERT_TRUE(Click(FindButton(window, "OK")));
    EXPECT_EQ(FindWindow("Shell Settings"), nullptr);

    LibTAVData::CLockScheduleData stored;
    ASSERT_EQ(stored.LoadFromFile("/etc/TAV/LockSchedule.xml"), 0);
    EXPECT_TRUE(stored.IsAutoLockEnable());
    EXPECT_EQ(Sections(stored.GetPAutomaticLockTimeList()),
              (Strings{"0,0,1", "0,8,9", "2,12,13", "6,23,24"}));
}

TEST_F(ShellSettingPagesTest, TheAutoLockBoxAloneMarksTheScheduleChanged)
{
    MessageBoxAnswerer boxes(GTK_RESPONSE_OK);
    CTestShellSetting dialog;
    GtkWidget* window = Open(dialog, "Shell Lock Settings");
    ASSERT_TRUE(Click(FindButton(window, "Automatically lock Tavora")));
    dialog.FetchScheuleData();
    EXPECT_TRUE(dialog.ScheduleDirty());
    EXPECT_FALSE(dialog.Schedule().IsAutoLockEnable());
    // Fetching again keeps the flag until the change is applied.
    dialog.FetchScheuleData();
    EXPECT_TRUE(dialog.ScheduleDirty());
    ASSERT_TRUE(Click(FindButton(window, "Cancel")));
    EXPECT_EQ(boxes.Texts(), (Strings{"Are You sure you want to save?"}));
    LibTAVData::CLockScheduleData stored;
    stored.LoadFromFile("/etc/TAV/LockSchedule.xml");
    EXPECT_FALSE(stored.IsAutoLockEnable());
    EXPECT_EQ(Sections(stored.GetPAutomaticLockTimeList()), (Strings{"0,8,9", "6,23,24"}));
}

TEST_F(ShellSettingPagesTest, DisableUSBStorageShowsTheInverseOfTheStoredValue)
{
    ASSERT_TRUE(WriteConfig("TAVSystemSetting.xml", SystemSetting(0, 1)));
    CTestShellSetting dialog;
    GtkWidget* window = Open(dialog, "System Settings");
    GtkWidget* usb = FindButton(window, "Disable USB Storage");
    ASSERT_NE(usb, nullptr);
    EXPECT_EQ(FindButton(window, "Show new student connect notify dialog"), nullptr);
    EXPECT_TRUE(IsPressed(usb));
    dialog.FetchUSBData();
    EXPECT_FALSE(dialog.SystemSettingDirty());
    EXPECT_FALSE(dialog.IsSystemSettingDirty());

    ASSERT_TRUE(Click(usb));
    dialog.FetchUSBData();
    EXPECT_EQ(dialog.SystemSetting().GetUSBStorageenabled(), 1);
    EXPECT_TRUE(dialog.SystemSettingDirty());
    EXPECT_TRUE(dialog.IsSystemSettingDirty());
    ASSERT_TRUE(Click(FindButton(window, "Apply")));
    EXPECT_FALSE(dialog.SystemSettingDirty());
    LibTAVData::CTAVSystemSettingData stored;
    ASSERT_EQ(stored.LoadFromFile("/etc/TAV/TAVSystemSetting.xml"), 0);
    EXPECT_EQ(stored.GetUSBStorageenabled(), 1);
    EXPECT_FALSE(dialog.IsSystemSettingDirty());
}

TEST_F(ShellSettingPagesTest, TheTeacherSideShowsTheNewStudentSwitchInstead)
{
    CTestShellSetting dialog(CTestShellSetting::Teacher);
    GtkWidget* window = Open(dialog, "System Settings");
    EXPECT_EQ(FindButton(window, "Disable USB Storage"), nullptr);
    EXPECT_EQ(dialog.GTKHideUSBCheckBox(), 0);
    EXPECT_EQ(dialog.GTKShowDlgCheckBox(), 0);
    GtkWidget* newStudent = FindButton(window, "Show new student connect notify dialog");
    ASSERT_NE(newStudent, nullptr);
    EXPECT_TRUE(IsPressed(newStudent));

    dialog.SystemSetting().SetUSBStorageenabled(0);
    dialog.FetchUSBData();
    EXPECT_EQ(dialog.SystemSetting().GetUSBStorageenabled(), 0);
    ASSERT_TRUE(Click(newStudent));
    dialog.FetchTeacherPolicy();
    EXPECT_EQ(dialog.SystemSetting().GetNewStudentConnectDialogEnable(), 0);
    EXPECT_TRUE(dialog.SystemSettingDirty());
}

} // namespace
