#include "ShellSettingForAdminTool.h"

#include "GUISupport.h"
#include "IPCStudentAPI.h"
#include "SearchResultData.h"
#include "ShellSettingVariant.h"
#include "TAVLayout.h"

#include <list>

namespace LibTAVGUI {

using detail::LogScope;
using LibTAVData::CONFIG_DIR;

CShellSettingForAdminTool::CShellSettingForAdminTool(IPCAPI::IPCAPIBase* api)
    : m_pAddApplicationWindow(nullptr), m_pStudentAPI(dynamic_cast<IPCAPI::IPCStudentAPI*>(api)),
      m_pSearchDlg(nullptr)
{
    LogScope log("CShellSettingForAdminTool::CShellSettingForAdminTool()");
    if (!m_pStudentAPI)
        LogScope::Error("CShellSettingForAdminTool::CShellSettingForAdminTool() --No student API "
                        "object: the settings cannot be applied!");
}

CShellSettingForAdminTool::~CShellSettingForAdminTool()
{
    LogScope log("CShellSettingForAdminTool::~CShellSettingForAdminTool()");
    detail::DeleteOwned(m_pSearchDlg);
    detail::DeleteOwned(m_pAddApplicationWindow);
}

int CShellSettingForAdminTool::Init()
{
    LogScope log("CShellSettingForAdminTool::Init()");
    AttachBaseClassGTKHandler(this);
    LoadXMLData();
    m_bBuilt = true;
    return 0;
}

int CShellSettingForAdminTool::LoadXMLData()
{
    LogScope log("CShellSettingForAdminTool::LoadXMLData()");
    detail::LoadSettingFiles(*this, m_TabNavigation, m_Schedule, m_SystemSetting);
    ShowUSBPolicy();
    return 0;
}

int CShellSettingForAdminTool::OnApply()
{
    LogScope log("CShellSettingForAdminTool::OnApply()");
    if (!m_pStudentAPI) {
        // Nothing can reach the daemon: say so, and keep every change
        // pending.
        LogScope::Error("CShellSettingForAdminTool::OnApply() --No student API object, nothing "
                        "sent!");
        detail::RunMessageBox(m_pWindow, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK,
                              detail::Tr("Cannot save the settings: the student service is not "
                                         "available!"));
        return -1;
    }
    // A request that did not get through keeps its flag, so that the next
    // Apply or the closing question tries again.
    IPCAPI::IPCStudentAPI* api = m_pStudentAPI;
    int result = 0;
    FetchScheuleData();
    detail::SendIfDirty(
        m_bScheduleDirty, m_Schedule, "Save Schedule Policy Failure!",
        [&](const std::string& xml) { return api->SaveLocalSchedulePolicy(xml, result); });
    FetchTabNavData();
    detail::SendIfDirty(
        m_bTabNavDirty, m_TabNavigation, "Save TabNav Policy Failure!",
        [&](const std::string& xml) { return api->SaveLocalTabNavPolicy(xml, result); });
    FetchUSBData();
    detail::SendIfDirty(m_bSystemSettingDirty, m_SystemSetting, "Save USB Policy Failure!",
                        [&](const std::string& xml) { return api->HardWareControl(xml, result); });
    return result;
}

int CShellSettingForAdminTool::OnAddProgram()
{
    LogScope log("CShellSettingForAdminTool::OnAddProgram()");
    detail::OpenAddProgram(m_pWindow, m_pSearchDlg, m_pAddApplicationWindow,
                           G_CALLBACK(AddProgramCallback), this);
    return 0;
}

void CShellSettingForAdminTool::AddProgramCallback(GtkWidget*, void* dialog)
{
    LogScope log("CShellSettingForAdminTool::AddProgramCallback()");
    if (auto* self = static_cast<CShellSettingForAdminTool*>(dialog))
        detail::AddChosenPrograms(*self, self->m_pAddApplicationWindow);
}

} // namespace LibTAVGUI
