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

// Paths are made by appending a name to a folder constant: a folder without
// its slashes would put files beside it.
TEST(Layout, FoldersAreAbsoluteAndEndInASlash)
{
    for (const std::string* dir : {&CONFIG_DIR, &PROGRAM_DIR, &LOCALE_DIR, &RES_DIR, &IMAGE_DIR,
                                   &THEME_DIR, &HELP_DIR, &LOCK_FILE_DIR, &TRAY_IMAGE_DIR}) {
        EXPECT_TRUE(startsWith(*dir, "/")) << *dir;
        EXPECT_TRUE(endsWith(*dir, "/")) << *dir;
    }
    // Spelt out on its own, the tray's folder must stay the image folder.
    EXPECT_EQ(TRAY_IMAGE_DIR, IMAGE_DIR);
}

TEST(Layout, LockFilesAreTmpDotLock)
{
    for (const std::string* lock :
         {&LOCK_TAB_NAVIGATION, &LOCK_TEACHER_SELECTION, &LOCK_STUDENT_INFORMATION,
          &LOCK_TAB_NAVI_FAVORITE_EDITOR, &LOCK_ADMINISTRATIVE_TOOL, &LOCK_THEME_SETTING,
          &LOCK_SHELL_CONTROLLER, &LOCK_ADMIN_TOOL, &LOCK_TASK_MANAGER, &LOCK_CALENDAR, &LOCK_SSD,
          &LOCK_TSD, &LOCK_TAB_NAVI_UI_SETTING, &LOCK_TASK_SWITCH}) {
        EXPECT_TRUE(startsWith(*lock, "/tmp/")) << *lock;
        EXPECT_TRUE(endsWith(*lock, ".lock")) << *lock;
    }
}
