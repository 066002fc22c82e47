#include "TAVLayout.h"

#include <gtest/gtest.h>

using namespace LibTAVData;

namespace {
bool startsWith(const std::string& s, const std::string& p) { return s.rfind(p, 0) == 0; }
bool endsWith(const std::string& s, const std::string& p)
{
    return s.size() >= p.size() && s.compare(s.size() - p.size(), p.size(), p) == 0;
}
} // namespace

TEST(Layout, ComposedPaths)
{
    EXPECT_EQ(CONFIG_DIR + LOCK_SCHEDULE_XML, "/etc/TAV/LockSchedule.xml");
    EXPECT_EQ(RES_DIR, "/etc/TAV/res/");
    EXPECT_EQ(IMAGE_DIR, "/etc/TAV/image/");
    EXPECT_EQ(IMAGE_DIR, TRAY_IMAGE_DIR);
    EXPECT_EQ(THEME_DIR, "/etc/TAV/theme/");
    EXPECT_EQ(HELP_DIR, "/etc/TAV/help/");
    EXPECT_EQ(DEFAULT_APP_ICON, "/etc/TAV/image/gui_default_app.png");
    EXPECT_EQ(TASK_MANAGER_ENDPROC_ICON, "/etc/TAV/image/taskmanager_endproc.png");
    EXPECT_EQ(DEFAULT_RIGHT_BACKGROUND, "/Others/TabNavigation_Defaut_RightSidesGround.png");
    EXPECT_EQ(FAVORITE_TAB_ICON, "/etc/TAV/image/tabnavigation_tab_favorite.png");
    EXPECT_EQ(TASK_MANAGER_APP_ICON, "/etc/TAV/image/taskmanager_app.png");
    EXPECT_EQ(LOCK_CALENDAR, "/tmp/TavCalendar.lock");
    EXPECT_EQ(APP_CALENDAR, "TAVCalendar");
    EXPECT_EQ(SYSTEM_SETTING_XML, "TAVSystemSetting.xml");
    EXPECT_TRUE(APP_UNNAMED.empty());
    EXPECT_EQ(DATA_TEXT_DOMAIN, "libTAVData");
    EXPECT_EQ(GUI_TEXT_DOMAIN, "libTAVGUI");
    EXPECT_EQ(LOCALE_DIR, "/usr/share/locale/");
}

TEST(Layout, LockFilesAreTmpDotLock)
{
    for (const std::string* lock :
         {&LOCK_TAB_NAVIGATION, &LOCK_TEACHER_SELECTION, &LOCK_STUDENT_INFORMATION,
          &LOCK_TAB_NAVI_FAVORITE_EDITOR, &LOCK_ADMINISTRATIVE_TOOL, &LOCK_THEME_SETTING,
          &LOCK_SHELL_CONTROLLER, &LOCK_ADMIN_TOOL, &LOCK_TASK_MANAGER, &LOCK_CALENDAR,
          &LOCK_SSD, &LOCK_TSD, &LOCK_TAB_NAVI_UI_SETTING, &LOCK_TASK_SWITCH}) {
        EXPECT_TRUE(startsWith(*lock, "/tmp/")) << *lock;
        EXPECT_TRUE(endsWith(*lock, ".lock")) << *lock;
    }
}
