// What the two Shell Settings variants share (internal): the windows they
// own and the "+" flow, which differ only in the search dialog's type.
#ifndef TAV_GUI_SHELLSETTINGVARIANT_H
#define TAV_GUI_SHELLSETTINGVARIANT_H

#include "AddApplicationWindow.h"
#include "SearchResultData.h"
#include "ShellSettingCtrl.h"
#include "TAVLayout.h"

#include <gtk/gtk.h>

#include <list>

namespace LibTAVGUI {
namespace detail __attribute__((visibility("hidden"))) {

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
void OpenAddProgram(GtkWidget* parent, Search*& searchDlg, CAddApplicationWindow*& addWindow, GCallback onChosen,
                    void* dialog)
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

} // namespace detail
} // namespace LibTAVGUI

#endif
