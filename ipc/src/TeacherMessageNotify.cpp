#include "TeacherMessageNotify.h"

#include "IPCCommonUtil.h"
#include "IPCLogging.h"
#include "IntfData.h"

#include <exception>
#include <list>
#include <utility>

namespace IPCAPI {

namespace {

using Handler = int (TeacherMessageNotify::*)(std::string, std::string&);

struct Route {
    const char* message;
    Handler handler;
};

// The unlock notification has its full name, unlike the request
// ("TEACHER_MANUALUNLOCKREMOTESTUDEN"), which is no notification.
const Route kRoutes[] = {
    {"TEACHER_SEARCHPROGRAMCALLBACK", &TeacherMessageNotify::SearchProgramCallBack},
    {"TEACHER_MANUALLOCKREMOTESTUDENTCALLBACK", &TeacherMessageNotify::ManualLockRemotStudentCallBack},
    {"TEACHER_MANUALUNLOCKREMOTESTUDENTCALLBACK",
     &TeacherMessageNotify::ManualUnLockRemotStudentCallBack},
    {"TEACHER_KICKOFFSTUDENTCALLBACK", &TeacherMessageNotify::KickOffStudentCallBack},
    {"TEACHER_NOTIFYSTUDENTSTATUSCHANGED", &TeacherMessageNotify::NotifyStudentStatusChanged},
    {"TEACHER_DEPLOYTABNAVPOLICYCALLBACK", &TeacherMessageNotify::DeployTabNavPolicyCallBack},
    {"TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK", &TeacherMessageNotify::DeploySchedulePolicyCallBack},
    {"TEACHER_CONTROLNEWSTUDENTCONNECTCALLBACK", &TeacherMessageNotify::NewStudentCallBack},
    {"POSTMESSAGE", &TeacherMessageNotify::OnMessage},
};

// Reads parameters in order; a missing one reads as empty text or 0 and
// makes the handler's result 1.
struct Reader {
    CParaXml& xml;
    int result;

    std::string Text(const char* name)
    {
        std::string value;
        if (!xml.getString(name, value))
            result = 1;
        return value;
    }
    int Number(const char* name)
    {
        int value = 0;
        if (!xml.getInt(name, value))
            result = 1;
        return value;
    }
};

int NoCallBack(const char* handler)
{
    LogScope::Trace(std::string(handler) + " --No CallBack registered");
    return 1;
}

// The notifications that answer a request on one student: the student id
// and "iReturn" (or "iStatus").
template <class Call>
int StudentAndNumber(const char* name, const std::string& payload, const char* key,
                     IIPCTeacherAPICallback* callback, Call call)
{
    LogScope scope(name);
    CIntfData data;
    if (IPCCommonUtil::LoadString(data, payload) != 0)
        return 1;
    std::string studentID;
    data.GetStudentID(studentID);
    Reader read{data.m_ParaXml, 0};
    const int value = read.Number(key);
    if (!callback)
        return NoCallBack(name);
    call(callback, studentID, value);
    return read.result;
}

// The deployment answers: the student id and "bSuccess", true only for the
// exact text "TRUE".
template <class Call>
int StudentAndSuccess(const char* name, const std::string& payload, IIPCTeacherAPICallback* callback,
                      Call call)
{
    LogScope scope(name);
    CIntfData data;
    if (IPCCommonUtil::LoadString(data, payload) != 0)
        return 1;
    std::string studentID;
    data.GetStudentID(studentID);
    Reader read{data.m_ParaXml, 0};
    const bool success = read.Text("bSuccess") == "TRUE";
    if (!callback)
        return NoCallBack(name);
    call(callback, studentID, success);
    return read.result;
}

} // namespace

TeacherMessageNotify::TeacherMessageNotify() : m_pCallBack(nullptr) {}

TeacherMessageNotify::~TeacherMessageNotify() = default;

void TeacherMessageNotify::SetCallBack(IIPCTeacherAPICallback* callback)
{
    m_pCallBack = callback;
}

int TeacherMessageNotify::DoAction(std::string message, std::string payload, std::string& result)
{
    LogScope scope("TeacherMessageNotify::DoAction()");
    try {
        LogScope::Trace("TeacherMessageNotify Receive Msg:" + RedactSecrets(payload));
        for (const Route& route : kRoutes)
            if (message == route.message)
                return (this->*route.handler)(std::move(payload), result);
    } catch (const std::exception& e) {
        // Also what a host callback throws: the worker thread must live on.
        LogScope::Error(std::string("TeacherMessageNotify::DoAction() --Exception: ") + e.what());
    }
    return 1;
}

int TeacherMessageNotify::SearchProgramCallBack(std::string payload, std::string&)
{
    static const char* const kName = "TeacherMessageNotify::SearchProgramCallBack()";
    LogScope scope(kName);
    CIntfData data;
    if (IPCCommonUtil::LoadString(data, payload) != 0)
        return 1;
    std::string studentID;
    data.GetStudentID(studentID);
    int searchResult = 0;
    data.GetResult(searchResult);
    // A student that failed its search sends no programs worth reading.
    Reader read{data.m_ParaXml, 0};
    const std::string programsXML = searchResult == 0 ? read.Text("programsXML") : std::string();
    IIPCTeacherAPICallback* callback = m_pCallBack;
    if (!callback)
        return NoCallBack(kName);
    callback->SearchProgramCallBack(studentID, programsXML);
    return read.result;
}

int TeacherMessageNotify::ManualLockRemotStudentCallBack(std::string payload, std::string&)
{
    return StudentAndNumber("TeacherMessageNotify::ManualLockRemotStudentCallBack()", payload,
                            "iReturn", m_pCallBack,
                            [](IIPCTeacherAPICallback* cb, const std::string& id, int value) {
                                cb->ManualLockRemotStudentCallBack(id, value);
                            });
}

int TeacherMessageNotify::ManualUnLockRemotStudentCallBack(std::string payload, std::string&)
{
    return StudentAndNumber("TeacherMessageNotify::ManualUnLockRemotStudentCallBack()", payload,
                            "iReturn", m_pCallBack,
                            [](IIPCTeacherAPICallback* cb, const std::string& id, int value) {
                                cb->ManualUnLockRemotStudentCallBack(id, value);
                            });
}

int TeacherMessageNotify::KickOffStudentCallBack(std::string payload, std::string&)
{
    return StudentAndNumber("TeacherMessageNotify::KickOffStudentCallBack()", payload, "iReturn",
                            m_pCallBack,
                            [](IIPCTeacherAPICallback* cb, const std::string& id, int value) {
                                cb->KickOffStudentCallBack(id, value);
                            });
}

int TeacherMessageNotify::NotifyStudentStatusChanged(std::string payload, std::string&)
{
    return StudentAndNumber("TeacherMessageNotify::NotifyStudentStatusChanged()", payload, "iStatus",
                            m_pCallBack,
                            [](IIPCTeacherAPICallback* cb, const std::string& id, int value) {
                                cb->NotifyStudentStatusChanged(id, value);
                            });
}

int TeacherMessageNotify::DeployTabNavPolicyCallBack(std::string payload, std::string&)
{
    return StudentAndSuccess("TeacherMessageNotify::DeployTabNavPolicyCallBack()", payload,
                             m_pCallBack,
                             [](IIPCTeacherAPICallback* cb, const std::string& id, bool success) {
                                 cb->DeployTabNavPolicyCallBack(id, success);
                             });
}

int TeacherMessageNotify::DeploySchedulePolicyCallBack(std::string payload, std::string&)
{
    return StudentAndSuccess("TeacherMessageNotify::DeploySchedulePolicyCallBack()", payload,
                             m_pCallBack,
                             [](IIPCTeacherAPICallback* cb, const std::string& id, bool success) {
                                 cb->DeploySchedulePolicyCallBack(id, success);
                             });
}

int TeacherMessageNotify::NewStudentCallBack(std::string payload, std::string&)
{
    static const char* const kName = "TeacherMessageNotify::NewStudentCallBack()";
    LogScope scope(kName);
    CIntfData data;
    if (IPCCommonUtil::LoadString(data, payload) != 0)
        return 1;
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
    static const char* const kName = "TeacherMessageNotify::OnMessage()";
    LogScope scope(kName);
    CIntfData data;
    if (IPCCommonUtil::LoadString(data, payload) != 0)
        return 1;
    Reader read{data.m_ParaXml, 0};
    const std::string text = read.Text("Message");
    const int id = read.Number("MessageID");
    IIPCTeacherAPICallback* callback = m_pCallBack;
    if (!callback)
        return NoCallBack(kName);
    callback->OnMessage(id, text);
    return read.result;
}

} // namespace IPCAPI
