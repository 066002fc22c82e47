// Shared by the tests of the dialogs that talk to a daemon: programs
// documents as a search answers, the search dialog's widgets, and the log.
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
                "            <Name>" + name + "</Name>\n"
                "            <Path>" + path + "</Path>\n"
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

} // namespace tavguitest

#endif
