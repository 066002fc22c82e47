// The "Shell Settings" dialog of the administrative tool (student
// machine): sends the edited policy to the student daemon through the
// host's student API object, which the dialog borrows and never releases.
// Shows "Disable USB Storage". "+" opens the local program search while no
// search results exist, else the Application Selection window.
#ifndef TAV_GUI_SHELLSETTINGFORADMINTOOL_H
#define TAV_GUI_SHELLSETTINGFORADMINTOOL_H

#include "AddApplicationWindow.h"
#include "IPCAPIBase.h"
#include "SearchProgramForAdminTool.h"
#include "ShellSettingCtrl.h"

namespace IPCAPI {
class IPCStudentAPI;
}

namespace LibTAVGUI {

class CShellSettingForAdminTool : public CShellSettingCtrl {
public:
    // api: the host's student API object (kept for the dialog's life, not
    // owned); null or another role's object leaves the dialog unable to
    // apply, which it then says.
    explicit CShellSettingForAdminTool(IPCAPI::IPCAPIBase* api);
    // Deletes the search dialog and the selection window it still holds.
    ~CShellSettingForAdminTool() override;

    int Init() override;
    // Sends the changed schedule, programs and USB setting to the daemon;
    // the last request's result, 0 when nothing was sent, -1 without API.
    int OnApply() override;
    int OnAddProgram() override;
    // Reads the three files and shows them.
    int LoadXMLData() override;

    // "destroy" of the selection window: adds what was chosen.
    static void AddProgramCallback(GtkWidget* widget, void* dialog);

protected:
    CAddApplicationWindow* m_pAddApplicationWindow;
    IPCAPI::IPCStudentAPI* m_pStudentAPI;
    CSearchProgramForAdminTool* m_pSearchDlg;
};

} // namespace LibTAVGUI

#endif
