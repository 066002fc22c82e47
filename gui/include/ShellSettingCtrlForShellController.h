// The "Shell Settings" dialog of the shell controller (teacher machine):
// edits the policy in the local files of /etc/TAV/. Shows "Show new student
// connect notify dialog" instead of "Disable USB Storage". "+" opens the
// teacher-side program search while no search results exist, else the
// Application Selection window.
#ifndef TAV_GUI_SHELLSETTINGCTRLFORSHELLCONTROLLER_H
#define TAV_GUI_SHELLSETTINGCTRLFORSHELLCONTROLLER_H

#include "AddApplicationWindow.h"
#include "IPCAPIBase.h"
#include "SearchProgramForShellController.h"
#include "ShellSettingCtrl.h"
#include "TeacherAPICallbackBase.h"

namespace LibTAVGUI {

class CShellSettingCtrlForShellController : public CShellSettingCtrl,
                                            public CTeacherAPICallbackBase {
public:
    // The argument is not used: this dialog writes local files.
    explicit CShellSettingCtrlForShellController(IPCAPI::IPCAPIBase* api);
    // Deletes the search dialog and the selection window it still holds.
    ~CShellSettingCtrlForShellController() override;

    int Init() override;
    // Writes the changed schedule and programs and the system settings.
    int OnApply() override;
    int OnAddProgram() override;
    // Reads the three files and shows them.
    int LoadXMLData() override;

    // "destroy" of the selection window: adds what was chosen.
    static void AddProgramCallback(GtkWidget* widget, void* dialog);

protected:
    CAddApplicationWindow* m_pAddApplicationWindow;
    CSearchProgramForShellController* m_pSearchDlg;
};

} // namespace LibTAVGUI

#endif
