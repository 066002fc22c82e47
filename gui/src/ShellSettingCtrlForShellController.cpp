#include "ShellSettingCtrlForShellController.h"

#include "GUISupport.h"
#include "SearchResultData.h"
#include "ShellSettingVariant.h"
#include "TAVLayout.h"

#include <list>

namespace LibTAVGUI {

using detail::LogScope;
using LibTAVData::CONFIG_DIR;

CShellSettingCtrlForShellController::CShellSettingCtrlForShellController(IPCAPI::IPCAPIBase*)
    : m_pAddApplicationWindow(nullptr), m_pSearchDlg(nullptr)
{
    LogScope log("CShellSettingCtrlForShellController::CShellSettingCtrlForShellController()");
}

CShellSettingCtrlForShellController::~CShellSettingCtrlForShellController()
{
    LogScope log("CShellSettingCtrlForShellController::~CShellSettingCtrlForShellController()");
    detail::DeleteOwned(m_pSearchDlg);
    detail::DeleteOwned(m_pAddApplicationWindow);
}

int CShellSettingCtrlForShellController::Init()
{
    LogScope log("CShellSettingCtrlForShellController::Init()");
    AttachBaseClassGTKHandler(this);
    GTKHideUSBCheckBox();
    GTKShowDlgCheckBox();
    LoadXMLData();
    m_bBuilt = true;
    return 0;
}

int CShellSettingCtrlForShellController::LoadXMLData()
{
    LogScope log("CShellSettingCtrlForShellController::LoadXMLData()");
    detail::LoadSettingFiles(*this, m_TabNavigation, m_Schedule, m_SystemSetting);
    ShowTeacherPolicy();
    return 0;
}

int CShellSettingCtrlForShellController::OnApply()
{
    const char* const who = "CShellSettingCtrlForShellController::OnApply()";
    LogScope log(who);
    FetchScheuleData();
    detail::SaveIfDirty(m_bScheduleDirty, m_Schedule, LibTAVData::LOCK_SCHEDULE_XML, who);
    FetchTabNavData();
    detail::SaveIfDirty(m_bTabNavDirty, m_TabNavigation, LibTAVData::TAB_NAVIGATION_XML, who);
    // The system settings are written every time; a change stays pending
    // until they are.
    FetchTeacherPolicy();
    bool unsaved = true;
    detail::SaveIfDirty(unsaved, m_SystemSetting, LibTAVData::SYSTEM_SETTING_XML, who);
    m_bSystemSettingDirty = m_bSystemSettingDirty && unsaved;
    return 0;
}

int CShellSettingCtrlForShellController::OnAddProgram()
{
    LogScope log("CShellSettingCtrlForShellController::OnAddProgram()");
    detail::OpenAddProgram(m_pWindow, m_pSearchDlg, m_pAddApplicationWindow,
                           G_CALLBACK(AddProgramCallback), this);
    return 0;
}

void CShellSettingCtrlForShellController::AddProgramCallback(GtkWidget*, void* dialog)
{
    LogScope log("CShellSettingCtrlForShellController::AddProgramCallback()");
    if (auto* self = static_cast<CShellSettingCtrlForShellController*>(dialog))
        detail::AddChosenPrograms(*self, self->m_pAddApplicationWindow);
}

} // namespace LibTAVGUI
