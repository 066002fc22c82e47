#include "SearchProgramForAdminTool.h"

#include "GUISupport.h"
#include "IPCStudentAPI.h"

namespace LibTAVGUI {

using detail::LogScope;

namespace {
// Marks a text for the message template; it is translated where shown.
#define N_(text) text
const char* const kSearch = N_("Search");
const char* const kCancel = N_("Cancel");
} // namespace

CSearchProgramForAdminTool::CSearchProgramForAdminTool()
{
    LogScope log("CSearchProgramForAdminTool::CSearchProgramForAdminTool()");
}

CSearchProgramForAdminTool::~CSearchProgramForAdminTool()
{
    LogScope log("CSearchProgramForAdminTool::~CSearchProgramForAdminTool()");
    // Going away is closing too: the daemon need not search on.
    if (m_iOperationID != 0)
        CancelSearch();
    StopCallbacks();
    ReleaseAPI();
}

IPCAPI::IPCStudentAPI* CSearchProgramForAdminTool::StudentAPI() const
{
    return dynamic_cast<IPCAPI::IPCStudentAPI*>(m_pAPI);
}

int CSearchProgramForAdminTool::Init()
{
    LogScope log("CSearchProgramForAdminTool::Init()");
    detail::SetUpTextDomain();
    AttachBaseClassGTKHandler(this);
    if (IPCAPI::IPCStudentAPI* api = StudentAPI())
        api->RegisterCallBack(static_cast<CStudentAPICallbackBase*>(this));
    else
        LogScope::Error("CSearchProgramForAdminTool::Init() --No student API object: searching "
                        "is not available!");
    m_bBuilt = true;
    return 0;
}

int CSearchProgramForAdminTool::OnSearchBtnClicked()
{
    LogScope log("CSearchProgramForAdminTool::OnSearchBtnClicked()");
    if (m_iOperationID != 0) {
        // The label goes back only when the search really stopped; else
        // the next press tries to cancel again, as the label says.
        if (CancelSearch() > 0) {
            SetButtonLabel(kSearch);
            SetProgress(0.0);
        }
        return -1;
    }
    m_strSearchPath = ReadSearchPath();
    if (m_strSearchPath.empty()) {
        ShowInformation(N_("Please input search path first!"));
        return -1;
    }
    IPCAPI::IPCStudentAPI* api = StudentAPI();
    if (!api) {
        LogScope::Error("CSearchProgramForAdminTool::OnSearchBtnClicked() --No student API object, "
                        "search refused!");
        detail::RunMessageBox(m_pWindow, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK,
                              detail::Tr("Cannot search: the search service is not available!"));
        return -1;
    }
    // The request names its id even when it was not sent: only a sent
    // request makes a running search.
    int operationID = 0;
    if (api->SearchLocalProgram(m_strSearchPath, operationID) != 0) {
        LogScope::Error("SearchLocalProgram Failure!");
        return -1;
    }
    m_iOperationID = operationID;
    SetButtonLabel(kCancel);
    SetProgress(0.0);
    return 0;
}

int CSearchProgramForAdminTool::CancelSearch()
{
    LogScope log("CSearchProgramForAdminTool::CancelSearch()");
    return detail::CancelRunningSearch(StudentAPI(), m_iOperationID);
}

void CSearchProgramForAdminTool::SearchLocalProgramCallBack(std::string programsXML)
{
    LogScope log("CSearchProgramForAdminTool::SearchLocalProgramCallBack()");
    if (!EnterCallback())
        return;
    if (m_iOperationID != 0) {
        if (!programsXML.empty()) {
            if (m_SearchResult.LoadFromString(programsXML) != 0)
                LogScope::Warning("CSearchProgramForAdminTool::SearchLocalProgramCallBack() --the "
                                  "answer holds no programs");
            SetProgress(1.0);
        }
        SetButtonLabel(kSearch);
        SetSearchButtonSensitive(true);
        m_iOperationID = 0;
    }
    LeaveCallback();
}

} // namespace LibTAVGUI
