#include "ShellSettingForAdminTool.h"

#include "GUISupport.h"
#include "ShellSettingVariant.h"
#include "IPCStudentAPI.h"
#include "SearchResultData.h"
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
    m_TabNavigation.LoadFromFile(CONFIG_DIR + LibTAVData::TAB_NAVIGATION_XML);
    m_Schedule.LoadFromFile(CONFIG_DIR + LibTAVData::LOCK_SCHEDULE_XML);
    m_SystemSetting.LoadFromFile(CONFIG_DIR + LibTAVData::SYSTEM_SETTING_XML);
    ShowTabNavPolicy();
    ShowSchedulePolicy();
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
    int result = 0;
    FetchScheuleData();
    if (m_bScheduleDirty) {
        std::string xml;
        if (m_Schedule.Save2String(xml) != 0 ||
            m_pStudentAPI->SaveLocalSchedulePolicy(xml, result) != 0)
            LogScope::Error("Save Schedule Policy Failure!");
        else
            m_bScheduleDirty = false;
    }
    FetchTabNavData();
    if (m_bTabNavDirty) {
        std::string xml;
        if (m_TabNavigation.Save2String(xml) != 0 ||
            m_pStudentAPI->SaveLocalTabNavPolicy(xml, result) != 0)
            LogScope::Error("Save TabNav Policy Failure!");
        else
            m_bTabNavDirty = false;
    }
    FetchUSBData();
    if (m_bSystemSettingDirty) {
        std::string xml;
        if (m_SystemSetting.Save2String(xml) != 0 ||
            m_pStudentAPI->HardWareControl(xml, result) != 0)
            LogScope::Error("Save USB Policy Failure!");
        else
            m_bSystemSettingDirty = false;
    }
    return result;
}

int CShellSettingForAdminTool::OnAddProgram()
{
    LogScope log("CShellSettingForAdminTool::OnAddProgram()");
    detail::OpenAddProgram(m_pWindow, m_pSearchDlg, m_pAddApplicationWindow, G_CALLBACK(AddProgramCallback), this);
    return 0;
}

void CShellSettingForAdminTool::AddProgramCallback(GtkWidget*, void* dialog)
{
    LogScope log("CShellSettingForAdminTool::AddProgramCallback()");
    if (auto* self = static_cast<CShellSettingForAdminTool*>(dialog))
        detail::AddChosenPrograms(*self, self->m_pAddApplicationWindow);
}

} // namespace LibTAVGUI
