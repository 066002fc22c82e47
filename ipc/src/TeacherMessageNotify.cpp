#include "TeacherMessageNotify.h"

#include "NotifyDispatch.h"

#include <list>
#include <tuple>
#include <utility>

namespace IPCAPI {

namespace {

using Route = NotifyRoute<TeacherMessageNotify>;
using CB = IIPCTeacherAPICallback;

// The unlock notification has its full name, unlike the request
// ("TEACHER_MANUALUNLOCKREMOTESTUDEN"), which is no notification.
const Route kRoutes[] = {
    {Msg::TEACHER_SEARCHPROGRAMCALLBACK, &TeacherMessageNotify::SearchProgramCallBack},
    {Msg::TEACHER_MANUALLOCKREMOTESTUDENTCALLBACK,
     &TeacherMessageNotify::ManualLockRemotStudentCallBack},
    {Msg::TEACHER_MANUALUNLOCKREMOTESTUDENTCALLBACK,
     &TeacherMessageNotify::ManualUnLockRemotStudentCallBack},
    {Msg::TEACHER_KICKOFFSTUDENTCALLBACK, &TeacherMessageNotify::KickOffStudentCallBack},
    {Msg::TEACHER_NOTIFYSTUDENTSTATUSCHANGED, &TeacherMessageNotify::NotifyStudentStatusChanged},
    {Msg::TEACHER_DEPLOYTABNAVPOLICYCALLBACK, &TeacherMessageNotify::DeployTabNavPolicyCallBack},
    {Msg::TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK,
     &TeacherMessageNotify::DeploySchedulePolicyCallBack},
    {Msg::TEACHER_CONTROLNEWSTUDENTCONNECTCALLBACK, &TeacherMessageNotify::NewStudentCallBack},
    {Msg::POSTMESSAGE, &TeacherMessageNotify::OnMessage},
};

// The notifications that answer a request on one student: the student id
// and "iReturn" (or "iStatus").
template <class Method>
int StudentAndNumber(const char* name, const std::string& payload, const char* key,
                     const std::atomic<CB*>& callback, Method method)
{
    return DeliverNotification(
        name, payload, callback,
        [key](NotifyReader& r) { return std::make_tuple(r.StudentID(), r.Number(key)); }, method);
}

// The deployment answers: the student id and "bSuccess".
template <class Method>
int StudentAndSuccess(const char* name, const std::string& payload,
                      const std::atomic<CB*>& callback, Method method)
{
    return DeliverNotification(
        name, payload, callback,
        [](NotifyReader& r) { return std::make_tuple(r.StudentID(), r.Flag(Param::bSuccess)); },
        method);
}

} // namespace

TeacherMessageNotify::TeacherMessageNotify() : m_pCallBack(nullptr) {}

TeacherMessageNotify::~TeacherMessageNotify() = default;

void TeacherMessageNotify::SetCallBack(IIPCTeacherAPICallback* callback) { m_pCallBack = callback; }

int TeacherMessageNotify::DoAction(std::string message, std::string payload, std::string& result)
{
    return RouteNotification("TeacherMessageNotify", *this, kRoutes, std::move(message),
                             std::move(payload), result);
}

int TeacherMessageNotify::SearchProgramCallBack(std::string payload, std::string&)
{
    return DeliverNotification(
        "TeacherMessageNotify::SearchProgramCallBack()", payload, m_pCallBack,
        [](NotifyReader& r) {
            int searchResult = 0;
            r.Data().GetResult(searchResult);
            // A student that failed its search sends no programs worth reading.
            return std::make_tuple(r.StudentID(),
                                   searchResult == 0 ? r.Text(Param::programsXML) : std::string());
        },
        &CB::SearchProgramCallBack);
}

int TeacherMessageNotify::ManualLockRemotStudentCallBack(std::string payload, std::string&)
{
    return StudentAndNumber("TeacherMessageNotify::ManualLockRemotStudentCallBack()", payload,
                            Param::iReturn, m_pCallBack, &CB::ManualLockRemotStudentCallBack);
}

int TeacherMessageNotify::ManualUnLockRemotStudentCallBack(std::string payload, std::string&)
{
    return StudentAndNumber("TeacherMessageNotify::ManualUnLockRemotStudentCallBack()", payload,
                            Param::iReturn, m_pCallBack, &CB::ManualUnLockRemotStudentCallBack);
}

int TeacherMessageNotify::KickOffStudentCallBack(std::string payload, std::string&)
{
    return StudentAndNumber("TeacherMessageNotify::KickOffStudentCallBack()", payload,
                            Param::iReturn, m_pCallBack, &CB::KickOffStudentCallBack);
}

int TeacherMessageNotify::NotifyStudentStatusChanged(std::string payload, std::string&)
{
    return StudentAndNumber("TeacherMessageNotify::NotifyStudentStatusChanged()", payload,
                            Param::iStatus, m_pCallBack, &CB::NotifyStudentStatusChanged);
}

int TeacherMessageNotify::DeployTabNavPolicyCallBack(std::string payload, std::string&)
{
    return StudentAndSuccess("TeacherMessageNotify::DeployTabNavPolicyCallBack()", payload,
                             m_pCallBack, &CB::DeployTabNavPolicyCallBack);
}

int TeacherMessageNotify::DeploySchedulePolicyCallBack(std::string payload, std::string&)
{
    return StudentAndSuccess("TeacherMessageNotify::DeploySchedulePolicyCallBack()", payload,
                             m_pCallBack, &CB::DeploySchedulePolicyCallBack);
}

int TeacherMessageNotify::NewStudentCallBack(std::string payload, std::string&)
{
    static const char* const kName = "TeacherMessageNotify::NewStudentCallBack()";
    LogScope scope(kName);
    CIntfData data;
    if (IPCCommonUtil::LoadString(data, payload) != 0)
        return 1;
    // Unlike the other notifications, no callback without the student.
    std::list<tagStudent_t> students;
    if (!data.m_ParaXml.getStudentInfoList(students) || students.empty()) {
        LogScope::Trace(std::string(kName) + " --No student in the message");
        return 1;
    }
    IIPCTeacherAPICallback* callback = m_pCallBack;
    if (!callback)
        return NoCallBack(kName);
    callback->NewStudentCallBack(students.front());
    return 0;
}

int TeacherMessageNotify::OnMessage(std::string payload, std::string&)
{
    return DeliverNotification(
        "TeacherMessageNotify::OnMessage()", payload, m_pCallBack,
        [](NotifyReader& r) {
            return std::make_tuple(r.Number(Param::MessageID), r.Text(Param::Message));
        },
        &CB::OnMessage);
}

} // namespace IPCAPI
