#include "ShellSettingCtrlForShellController.h"

#include "GUISupport.h"
#include "ShellSettingVariant.h"
#include "SearchResultData.h"
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
    m_TabNavigation.LoadFromFile(CONFIG_DIR + LibTAVData::TAB_NAVIGATION_XML);
    m_Schedule.LoadFromFile(CONFIG_DIR + LibTAVData::LOCK_SCHEDULE_XML);
    m_SystemSetting.LoadFromFile(CONFIG_DIR + LibTAVData::SYSTEM_SETTING_XML);
    ShowTabNavPolicy();
    ShowSchedulePolicy();
    ShowTeacherPolicy();
    return 0;
}

int CShellSettingCtrlForShellController::OnApply()
{
    LogScope log("CShellSettingCtrlForShellController::OnApply()");
    // A file that could not be written keeps its flag, so that closing
    // still offers to save.
    FetchScheuleData();
    if (m_bScheduleDirty) {
        if (m_Schedule.Save2File(CONFIG_DIR + LibTAVData::LOCK_SCHEDULE_XML) == 0)
            m_bScheduleDirty = false;
        else
            LogScope::Error("CShellSettingCtrlForShellController::OnApply() --Save "
                            "LockSchedule.xml Failure!");
    }
    FetchTabNavData();
    if (m_bTabNavDirty) {
        if (m_TabNavigation.Save2File(CONFIG_DIR + LibTAVData::TAB_NAVIGATION_XML) == 0)
            m_bTabNavDirty = false;
        else
            LogScope::Error("CShellSettingCtrlForShellController::OnApply() --Save "
                            "TabNavigation.xml Failure!");
    }
    FetchTeacherPolicy();
    if (m_SystemSetting.Save2File(CONFIG_DIR + LibTAVData::SYSTEM_SETTING_XML) != 0)
        LogScope::Error("CShellSettingCtrlForShellController::OnApply() --Save "
                        "TAVSystemSetting.xml Failure!");
    return 0;
}

int CShellSettingCtrlForShellController::OnAddProgram()
{
    LogScope log("CShellSettingCtrlForShellController::OnAddProgram()");
    detail::OpenAddProgram(m_pWindow, m_pSearchDlg, m_pAddApplicationWindow, G_CALLBACK(AddProgramCallback), this);
    return 0;
}

void CShellSettingCtrlForShellController::AddProgramCallback(GtkWidget*, void* dialog)
{
    LogScope log("CShellSettingCtrlForShellController::AddProgramCallback()");
    if (auto* self = static_cast<CShellSettingCtrlForShellController*>(dialog))
        detail::AddChosenPrograms(*self, self->m_pAddApplicationWindow);
}

} // namespace LibTAVGUI
