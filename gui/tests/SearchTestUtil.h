// Shared by the tests of the settings variants and the search dialogs:
// programs documents as a search answers, the search dialog's widgets, the
// log, and the exact texts the settings dialogs save.
#ifndef TAV_GUI_TESTS_SEARCHTESTUTIL_H
#define TAV_GUI_TESTS_SEARCHTESTUTIL_H

#include "GuiTestData.h"
#include "GuiTestUtil.h"

#include <string>
#include <vector>

namespace tavguitest {

const std::string kXmlHead = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n";

// A programs document (root "SearchResult" as the daemons answer, and as
// the results file reads), each program under /opt/apps/<name> unless the
// name holds a '|': "name|path".
inline std::string ProgramsDoc(const std::vector<std::string>& programs,
                               const std::string& root = "SearchResult")
{
    if (programs.empty())
        return kXmlHead + "<" + root + ">\n    <Applications />\n</" + root + ">\n";
    std::string text = kXmlHead + "<" + root + ">\n    <Applications>\n";
    for (const std::string& program : programs) {
        const std::size_t bar = program.find('|');
        const std::string name = program.substr(0, bar);
        const std::string path =
            bar == std::string::npos ? "/opt/apps/" + name : program.substr(bar + 1);
        text += "        <Application>\n"
                "            <Name>" +
                name +
                "</Name>\n"
                "            <Path>" +
                path +
                "</Path>\n"
                "            <CustomIcon></CustomIcon>\n"
                "        </Application>\n";
    }
    return text + "    </Applications>\n</" + root + ">\n";
}

// True when the log holds a line with this level and exactly this message.
inline bool Logged(const std::string& level, const std::string& message)
{
    return LogText().find(level + ":   " + message + "\n") != std::string::npos;
}

// How often the log holds text.
inline int CountInLog(const std::string& text)
{
    const std::string log = LogText();
    int count = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
        ++count;
    return count;
}

inline double Progress(GtkWidget* window)
{
    GtkWidget* bar = FindOfType(window, GTK_TYPE_PROGRESS_BAR);
    return bar ? gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(bar)) : -1.0;
}

inline GtkWidget* PathEntry(GtkWidget* window) { return FindOfType(window, GTK_TYPE_ENTRY); }

// --- what the settings dialogs save, from the sample configuration of
// TestShellSetting.h (written out by hand, not by our data classes) ---

inline std::string LockSection(const std::string& day, int start)
{
    return "        <LockTimeSection DayOfWeek=\"" + day + "\" Start=\"" + std::to_string(start) +
           "\" End=\"" + std::to_string(start + 1) + "\" />\n";
}

// The sample schedule (Monday 8, Sunday 23) with the given one-hour
// sections between the two.
inline std::string ExpectedSchedule(const std::string& between, int autoLock = 1)
{
    return kXmlHead +
           "<LockSchedule>\n"
           "    <AutoLockStatus>" +
           std::to_string(autoLock) +
           "</AutoLockStatus>\n"
           "    <ManualLockStatus>0</ManualLockStatus>\n"
           "    <LockStatus>0</LockStatus>\n"
           "    <AutomaticLock>\n" +
           LockSection("MONDAY", 8) + between + LockSection("SUNDAY", 23) +
           "    </AutomaticLock>\n"
           "    <ManualLock Option=\"0\">\n"
           "        <LockedTime>0</LockedTime>\n"
           "        <DisconnectTime>0</DisconnectTime>\n"
           "        <UnlockAfterDisconnect>0</UnlockAfterDisconnect>\n"
           "        <UnlockAfterConnect>0</UnlockAfterConnect>\n"
           "    </ManualLock>\n"
           "</LockSchedule>\n";
}

inline std::string App(const std::string& enabled, const std::string& name, const std::string& path,
                       const std::string& icon)
{
    return "            <Application enabled=\"" + enabled +
           "\">\n"
           "                <Name>" +
           name +
           "</Name>\n"
           "                <Path>" +
           path +
           "</Path>\n"
           "                <CustomIcon>" +
           icon +
           "</CustomIcon>\n"
           "            </Application>\n";
}

// The sample programs with "Mail" shown, and extra programs at the end of
// "Internet".
inline std::string ExpectedTabNavigation(const std::string& extraInternet = "")
{
    const std::string image = "/etc/TAV/image/";
    return kXmlHead +
           "<TabNavigation>\n"
           "    <CategoryConfig>\n"
           "        <Category name=\"Internet\" icon=\"" +
           image + "category_internet.png\">\n" +
           App("1", "Web Browser", "/usr/bin/x-www-browser", image + "category_internet.png") +
           App("1", "Mail", "/usr/bin/mail", "") + extraInternet +
           "        </Category>\n"
           "        <Category name=\"Office\" icon=\"" +
           image + "category_office.png\">\n" + App("1", "Text Editor", "/usr/bin/editor", "") +
           "        </Category>\n"
           "        <Category name=\"New Category\" icon=\"" +
           image +
           "gui_default_app.png\" />\n"
           "    </CategoryConfig>\n"
           "</TabNavigation>\n";
}

inline std::string ExpectedSystemSetting(int usb, int newStudentDialog)
{
    return kXmlHead +
           "<TAVSystemSetting>\n"
           "    <!-- 0 disabled 1 enabled -->\n"
           "    <USBStorage enabled=\"" +
           std::to_string(usb) +
           "\" />\n"
           "    <NewStudentConnectDialog enabled=\"" +
           std::to_string(newStudentDialog) +
           "\">\n"
           "        <ConnectPolicy allow=\"1\" />\n"
           "        <AddToCurrentClass allow=\"1\" />\n"
           "    </NewStudentConnectDialog>\n"
           "    <AutoDeploy enabled=\"0\" />\n"
           "</TAVSystemSetting>\n";
}

} // namespace tavguitest

#endif
