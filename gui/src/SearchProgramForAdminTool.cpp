#include "SearchProgramForAdminTool.h"

#include "GUISupport.h"
#include "GettextMarker.h"
#include "IPCStudentAPI.h"
#include "SearchProgramVariant.h"

namespace LibTAVGUI {

using detail::LogScope;

namespace {
const char* const kSearch = N_("Search");
} // namespace

CSearchProgramForAdminTool::CSearchProgramForAdminTool()
{
    LogScope log("CSearchProgramForAdminTool::CSearchProgramForAdminTool()");
}

CSearchProgramForAdminTool::~CSearchProgramForAdminTool()
{
    LogScope log("CSearchProgramForAdminTool::~CSearchProgramForAdminTool()");
    StopSearching();
    ReleaseAPI();
}

IPCAPI::IPCStudentAPI* CSearchProgramForAdminTool::StudentAPI() const
{
    return dynamic_cast<IPCAPI::IPCStudentAPI*>(m_pAPI);
}

int CSearchProgramForAdminTool::Init()
{
    LogScope log("CSearchProgramForAdminTool::Init()");
    return InitVariant(StudentAPI(), static_cast<CStudentAPICallbackBase*>(this),
                       "CSearchProgramForAdminTool", "student");
}

int CSearchProgramForAdminTool::OnSearchBtnClicked()
{
    LogScope log("CSearchProgramForAdminTool::OnSearchBtnClicked()");
    IPCAPI::IPCStudentAPI* api = StudentAPI();
    if (!BeginSearch(api != nullptr, "CSearchProgramForAdminTool", "student"))
        return -1;
    // The request names its id even when it was not sent: only a sent
    // request makes a running search.
    int operationID = 0;
    if (api->SearchLocalProgram(m_strSearchPath, operationID) != 0) {
        LogScope::Error("SearchLocalProgram Failure!");
        return -1;
    }
    SearchStarted(operationID);
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
