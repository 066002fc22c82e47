// What the two Shell Settings variants share (internal): the windows they
// own and the "+" flow, which differ only in the search dialog's type.
#ifndef TAV_GUI_SHELLSETTINGVARIANT_H
#define TAV_GUI_SHELLSETTINGVARIANT_H

#include "AddApplicationWindow.h"
#include "GUISupport.h"
#include "SearchResultData.h"
#include "ShellSettingCtrl.h"
#include "TAVLayout.h"

#include <gtk/gtk.h>

#include <list>
#include <string>

namespace LibTAVGUI {
namespace detail {
// Internal: never part of the library's exported symbols.
#pragma GCC visibility push(hidden)

// Forgets the window before deleting it, so that its destroy callback finds
// nothing to read.
template <class Window>
void DeleteOwned(Window*& owned)
{
    Window* old = owned;
    owned = nullptr;
    delete old;
}

// "+": the program search while no search results exist (the user searches
// first), else the Application Selection window, whose "destroy" runs
// onChosen(widget, dialog).
template <class Search>
void OpenAddProgram(GtkWidget* parent, Search*& searchDlg, CAddApplicationWindow*& addWindow,
                    GCallback onChosen, void* dialog)
{
    LibTAVData::CSearchResultData results;
    results.LoadFromFile(LibTAVData::CONFIG_DIR + LibTAVData::SEARCH_RESULT_XML);
    const std::list<LibTAVData::CApplicationInfo*>* programs = results.GetPApplicationInfoList();
    if (programs && programs->empty()) {
        DeleteOwned(searchDlg);
        searchDlg = new Search;
        searchDlg->Init();
        searchDlg->ShowModal(parent, nullptr, nullptr);
    } else {
        DeleteOwned(addWindow);
        addWindow = new CAddApplicationWindow;
        addWindow->Init();
        addWindow->ShowModal(parent, onChosen, dialog);
    }
}

// LoadXMLData's common part: the three configuration files into the
// dialog's models (a file that does not load leaves its model empty), then
// the categories and the schedule on their pages. The variant shows its
// own switch.
inline void LoadSettingFiles(CShellSettingCtrl& dialog, LibTAVData::CTabNavigationData& tabs,
                             LibTAVData::CLockScheduleData& schedule,
                             LibTAVData::CTAVSystemSettingData& system)
{
    tabs.LoadFromFile(LibTAVData::CONFIG_DIR + LibTAVData::TAB_NAVIGATION_XML);
    schedule.LoadFromFile(LibTAVData::CONFIG_DIR + LibTAVData::LOCK_SCHEDULE_XML);
    system.LoadFromFile(LibTAVData::CONFIG_DIR + LibTAVData::SYSTEM_SETTING_XML);
    dialog.ShowTabNavPolicy();
    dialog.ShowSchedulePolicy();
}

// Writes data to its file in the configuration folder when dirty is set.
// A file that could not be written keeps dirty set (logged under who), so
// that the next Apply or the closing question tries again.
inline void SaveIfDirty(bool& dirty, LibTAVData::CTAVDataProvider& data, const std::string& file,
                        const char* who)
{
    if (!dirty)
        return;
    if (data.Save2File(LibTAVData::CONFIG_DIR + file) == 0)
        dirty = false;
    else
        LogScope::Error(std::string(who) + " --Save " + file + " Failure!");
}

// Sends the text of data with send(xml) (a request to the daemon, 0 when
// it got through) when dirty is set. A request that did not get through
// keeps dirty set and logs failure.
template <class Send>
void SendIfDirty(bool& dirty, LibTAVData::CTAVDataProvider& data, const char* failure, Send&& send)
{
    if (!dirty)
        return;
    std::string xml;
    if (data.Save2String(xml) != 0 || send(xml) != 0)
        LogScope::Error(failure);
    else
        dirty = false;
}

// The selection window closed: adds what was chosen in it.
inline void AddChosenPrograms(CShellSettingCtrl& dialog, CAddApplicationWindow* window)
{
    if (!window)
        return;
    std::list<LibTAVData::CApplicationInfo> chosen;
    window->GetSelectApplicationList(chosen);
    if (!chosen.empty())
        dialog.AddPrograms(chosen);
}

#pragma GCC visibility pop
} // namespace detail
} // namespace LibTAVGUI

#endif
