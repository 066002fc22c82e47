#include "SearchProgramForShellController.h"

#include "GUISupport.h"
#include "GettextMarker.h"
#include "IPCTeacherAPI.h"
#include "SearchProgramVariant.h"
#include "TAVLayout.h"

#include <list>

namespace LibTAVGUI {

using detail::LogScope;

namespace {
const char* const kSearch = N_("Search");
} // namespace

CSearchProgramForShellController::CSearchProgramForShellController()
    : m_iAnswersReceived(0), m_iAnswersExpected(0)
{
    LogScope log("CSearchProgramForShellController::CSearchProgramForShellController()");
}

CSearchProgramForShellController::~CSearchProgramForShellController()
{
    LogScope log("CSearchProgramForShellController::~CSearchProgramForShellController()");
    StopSearching();
    ReleaseAPI();
}

IPCAPI::IPCTeacherAPI* CSearchProgramForShellController::TeacherAPI() const
{
    return dynamic_cast<IPCAPI::IPCTeacherAPI*>(m_pAPI);
}

int CSearchProgramForShellController::Init()
{
    LogScope log("CSearchProgramForShellController::Init()");
    return InitVariant(TeacherAPI(), static_cast<CTeacherAPICallbackBase*>(this),
                       "CSearchProgramForShellController", "teacher");
}

int CSearchProgramForShellController::OnSearchBtnClicked()
{
    LogScope log("CSearchProgramForShellController::OnSearchBtnClicked()");
    IPCAPI::IPCTeacherAPI* api = TeacherAPI();
    if (!BeginSearch(api != nullptr, "CSearchProgramForShellController", "teacher"))
        return -1;
    std::list<IPCAPI::tagStudent_t> students;
    int ret = 0;
    if (api->GetStudentList(students, ret) != 0)
        LogScope::Error("CSearchProgramForShellController::OnSearchBtnClicked() --GetStudentList "
                        "Failure!");
    if (students.empty()) {
        m_iAnswersExpected = 0;
        ShowInformation(N_("No student is online!"));
        return -1;
    }
    m_iAnswersExpected = static_cast<int>(students.size());
    // Answers of an earlier, cancelled search do not count for this one.
    m_iAnswersReceived = 0;
    // The request names its id even when it was not sent: only a sent
    // request makes a running search.
    int operationID = 0;
    if (api->SearchProgram(m_strSearchPath, operationID) == 0) {
        SearchStarted(operationID);
        return 0;
    }
    LogScope::Error("Cannot start search!");
    return -1;
}

int CSearchProgramForShellController::CancelSearch()
{
    LogScope log("CSearchProgramForShellController::CancelSearch()");
    return detail::CancelRunningSearch(TeacherAPI(), m_iOperationID);
}

void CSearchProgramForShellController::SearchProgramCallBack(std::string studentID,
                                                             std::string programsXML)
{
    LogScope log("CSearchProgramForShellController::SearchProgramCallBack()");
    if (!EnterCallback())
        return;
    if (studentID.empty()) {
        SetProgress(1.0);
        SetButtonLabel(kSearch);
        m_iAnswersReceived = 0;
        m_iAnswersExpected = 0;
        m_iOperationID = 0;
    } else if (m_iOperationID == 0 || m_iAnswersExpected <= 0) {
        // Late answer of a search that was cancelled (or never ran here):
        // it must not count towards the next search.
        LogScope::Trace("CSearchProgramForShellController::SearchProgramCallBack() --no search "
                        "runs, answer of " +
                        studentID + " dropped");
    } else {
        ++m_iAnswersReceived;
        SetProgress(static_cast<double>(m_iAnswersReceived) / m_iAnswersExpected);
        if (!programsXML.empty()) {
            m_SearchResult.AddApplications(programsXML);
            if (m_SearchResult.Save2File(LibTAVData::CONFIG_DIR + LibTAVData::SEARCH_RESULT_XML) !=
                0)
                LogScope::Error("CSearchProgramForShellController::SearchProgramCallBack() --Save "
                                "SearchResult.xml Failure!");
        }
        if (m_iAnswersReceived >= m_iAnswersExpected) {
            SetButtonLabel(kSearch);
            m_iAnswersReceived = 0;
            m_iAnswersExpected = 0;
            m_iOperationID = 0;
            LogScope::Trace("All Students have been searched.");
        }
    }
    LeaveCallback();
}

} // namespace LibTAVGUI
