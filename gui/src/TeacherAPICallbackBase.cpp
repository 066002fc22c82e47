#include "TeacherAPICallbackBase.h"

#include "GUISupport.h"
#include "IPCAPIManager.h"

namespace LibTAVGUI {

using detail::LogScope;

namespace {
const int kTeacherApplicationRole = 0;
}

CTeacherAPICallbackBase::CTeacherAPICallbackBase() : m_pAPI(nullptr)
{
    LogScope log("CTeacherAPICallbackBase::CTeacherAPICallbackBase()");
    IPCAPI::IPCAPIBase* api = nullptr;
    if (IPCAPI::InitializeTAVLibrary(kTeacherApplicationRole, &api) == 0)
        m_pAPI = api;
    else
        LogScope::Error("CTeacherAPICallbackBase::CTeacherAPICallbackBase() --InitializeTAVLibrary "
                        "Failure!");
}

CTeacherAPICallbackBase::~CTeacherAPICallbackBase()
{
    LogScope log("CTeacherAPICallbackBase::~CTeacherAPICallbackBase()");
    ReleaseAPI();
}

void CTeacherAPICallbackBase::ReleaseAPI()
{
    IPCAPI::IPCAPIBase* api = m_pAPI;
    m_pAPI = nullptr;
    if (api)
        IPCAPI::UninitializeTAVLibrary(api);
}

void CTeacherAPICallbackBase::SearchProgramCallBack(std::string, std::string) {}
void CTeacherAPICallbackBase::ManualLockRemotStudentCallBack(std::string, int) {}
void CTeacherAPICallbackBase::ManualUnLockRemotStudentCallBack(std::string, int) {}
void CTeacherAPICallbackBase::KickOffStudentCallBack(std::string, int) {}
void CTeacherAPICallbackBase::NotifyStudentStatusChanged(std::string, int) {}
void CTeacherAPICallbackBase::DeployTabNavPolicyCallBack(std::string, bool) {}
void CTeacherAPICallbackBase::DeploySchedulePolicyCallBack(std::string, bool) {}
void CTeacherAPICallbackBase::NewStudentCallBack(const IPCAPI::tagStudent_t&) {}
void CTeacherAPICallbackBase::OnMessage(int, std::string) {}

} // namespace LibTAVGUI
