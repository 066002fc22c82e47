// Where the system lives on disk: configuration folder and files, program
// folder and names, message-catalogue domains, image, theme and help
// folders, single-instance lock files. Folder constants end in "/"; file
// names meant to be joined to a folder have no leading "/".
//
// Each constant has internal linkage: every unit that includes this header
// holds its own copy, built at its static initialisation. Code that runs
// during another unit's static initialisation must not rely on them.
#ifndef TAV_DATA_TAVLAYOUT_H
#define TAV_DATA_TAVLAYOUT_H

#include <string>

namespace LibTAVData {

static const std::string CONFIG_DIR = "/etc/TAV/";
static const std::string CLASS_GROUP_XML = "ClassGroup.xml";
static const std::string DEFAULT_CONFIG_XML = "DefaultConfig.xml";
static const std::string FAVORITE_XML = "Favorite.xml";
static const std::string LOCK_SCHEDULE_XML = "LockSchedule.xml";
static const std::string SEARCH_RESULT_XML = "SearchResult.xml";
static const std::string SYSTEM_SETTING_XML = "TAVSystemSetting.xml";
static const std::string THEME_XML = "TAVTheme.xml";
static const std::string STUDENT_INFO_XML = "StudentInfo.xml";
static const std::string TAB_NAVIGATION_XML = "TabNavigation.xml";
static const std::string TEACHER_INFO_XML = "TeacherInfo.xml";
static const std::string SHELL_LOCK_NAME = "TAV.lock";

static const std::string PROGRAM_DIR = "/usr/bin/TAV/";
static const std::string APP_TAB_NAVIGATION = "TabNavigation";
static const std::string APP_TEACHER_SELECTION = "TeacherSelection";
static const std::string APP_STUDENT_INFORMATION = "StudentInformation";
static const std::string APP_TAB_NAVI_FAVORITE_EDITOR = "TabNaviFavoriteEditor";
static const std::string APP_UNNAMED = "";
static const std::string APP_TAB_NAVI_UI_SETTING = "TabNaviUISetting";
static const std::string APP_TASK_MANAGER = "TaskManager";
static const std::string APP_TASK_SWITCH = "TaskSwitch";
static const std::string APP_SHELL_CONTROLLER = "ShellController";
static const std::string APP_CALENDAR = "TAVCalendar";
static const std::string APP_ADMINISTRATIVE_SETTINGS = "AdministrativeSettings";
static const std::string APP_CA_TOOLS_WINDOW = "CAToolsWindow";

static const std::string DATA_TEXT_DOMAIN = "libTAVData";
static const std::string GUI_TEXT_DOMAIN = "libTAVGUI";
static const std::string LOCALE_DIR = "/usr/share/locale/";

static const std::string RES_DIR = CONFIG_DIR + "res/";
static const std::string IMAGE_DIR = CONFIG_DIR + "image/";
static const std::string THEME_DIR = CONFIG_DIR + "theme/";
static const std::string OTHERS_SUBDIR = "/Others/";
static const std::string GTKRC_NAME = "/gtkrc";
static const std::string HELP_DIR = CONFIG_DIR + "help/";

static const std::string DEFAULT_APP_ICON = IMAGE_DIR + "gui_default_app.png";
static const std::string SHELL_CONTROLLER_ICON = IMAGE_DIR + "shellcontroller_main.png";
static const std::string ADMIN_TOOL_ICON = IMAGE_DIR + "admintool_main.png";
static const std::string TASK_MANAGER_ICON = IMAGE_DIR + "taskmanager_main.png";
static const std::string TASK_MANAGER_ENDPROC_ICON = IMAGE_DIR + "taskmanager_endproc.png";

static const std::string LOCK_FILE_DIR = "/tmp/";
static const std::string LOCK_TAB_NAVIGATION = LOCK_FILE_DIR + "TabNavigation.lock";
static const std::string LOCK_TEACHER_SELECTION = LOCK_FILE_DIR + "TeacherSelection.lock";
static const std::string LOCK_STUDENT_INFORMATION = LOCK_FILE_DIR + "StudentInformation.lock";
static const std::string LOCK_TAB_NAVI_FAVORITE_EDITOR =
    LOCK_FILE_DIR + "TabNaviFavoriteEditor.lock";
static const std::string LOCK_ADMINISTRATIVE_TOOL = LOCK_FILE_DIR + "AdministrativeTool.lock";
static const std::string LOCK_THEME_SETTING = LOCK_FILE_DIR + "ThemeSetting.lock";
static const std::string LOCK_SHELL_CONTROLLER = LOCK_FILE_DIR + "ShellController.lock";
static const std::string LOCK_ADMIN_TOOL = LOCK_FILE_DIR + "AdminTool.lock";
static const std::string LOCK_TASK_MANAGER = LOCK_FILE_DIR + "TaskManager.lock";
static const std::string LOCK_CALENDAR = LOCK_FILE_DIR + "TavCalendar.lock";
static const std::string LOCK_SSD = LOCK_FILE_DIR + "SSD.lock";
static const std::string LOCK_TSD = LOCK_FILE_DIR + "TSD.lock";
static const std::string LOCK_TAB_NAVI_UI_SETTING = LOCK_FILE_DIR + "TabNaviUISetting.lock";
static const std::string LOCK_TASK_SWITCH = LOCK_FILE_DIR + "TaskSwitch.lock";

static const std::string TRAY_IMAGE_DIR = "/etc/TAV/image/";
static const std::string TRAY_ICON_LOCKED = "tabnavigation_trayicon_lock.png";
static const std::string TRAY_ICON_UNLOCKED = "tabnavigation_trayicon_unlock.png";
static const std::string DEFAULT_RIGHT_BACKGROUND =
    OTHERS_SUBDIR + "TabNavigation_Defaut_RightSidesGround.png";
static const std::string FAVORITE_TAB_ICON = TRAY_IMAGE_DIR + "tabnavigation_tab_favorite.png";
static const std::string TASK_MANAGER_APP_ICON = TRAY_IMAGE_DIR + "taskmanager_app.png";

} // namespace LibTAVData

#endif
