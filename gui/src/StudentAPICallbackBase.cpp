#include "StudentAPICallbackBase.h"

#include "GUISupport.h"
#include "IPCAPIManager.h"

namespace LibTAVGUI {

using detail::LogScope;

namespace {
const int kStudentApplicationRole = 1;
}

CStudentAPICallbackBase::CStudentAPICallbackBase() : m_pAPI(nullptr)
{
    LogScope log("CStudentAPICallbackBase::CStudentAPICallbackBase()");
    IPCAPI::IPCAPIBase* api = nullptr;
    if (IPCAPI::InitializeTAVLibrary(kStudentApplicationRole, &api) == 0)
        m_pAPI = api;
    else
        LogScope::Error("CStudentAPICallbackBase::CStudentAPICallbackBase() --InitializeTAVLibrary "
                        "Failure!");
}

CStudentAPICallbackBase::~CStudentAPICallbackBase()
{
    LogScope log("CStudentAPICallbackBase::~CStudentAPICallbackBase()");
    ReleaseAPI();
}

void CStudentAPICallbackBase::ReleaseAPI()
{
    IPCAPI::IPCAPIBase* api = m_pAPI;
    m_pAPI = nullptr;
    if (api)
        IPCAPI::UninitializeTAVLibrary(api);
}

void CStudentAPICallbackBase::ConnectTeacherCallBack(std::string, int) {}
void CStudentAPICallbackBase::SearchTeacherCallBack(const std::list<std::string>&) {}
void CStudentAPICallbackBase::NotifyLockStatusChanged(bool) {}
void CStudentAPICallbackBase::NotifyTabNavPolicyChanged() {}
void CStudentAPICallbackBase::NotifySchedulePolicyChanged() {}
void CStudentAPICallbackBase::NotifyTeacherStatusChanged(std::string, int) {}
void CStudentAPICallbackBase::SearchLocalProgramCallBack(std::string) {}
void CStudentAPICallbackBase::OnMessage(int, std::string) {}

} // namespace LibTAVGUI
