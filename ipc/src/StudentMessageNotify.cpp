#include "StudentMessageNotify.h"

#include "IPCCommonUtil.h"
#include "IPCLogging.h"
#include "IntfData.h"

#include <exception>
#include <list>
#include <utility>

namespace IPCAPI {

namespace {

using Handler = int (StudentMessageNotify::*)(std::string, std::string&);

struct Route {
    const char* message;
    Handler handler;
};

const Route kRoutes[] = {
    {"CONNECTTEACHERCALLBACK", &StudentMessageNotify::ConnectTeacherCallBack},
    {"SEARCHTEACHERCALLBACK", &StudentMessageNotify::SearchTeacherCallBack},
    {"NOTIFYLOCKSTATUSCHANGED", &StudentMessageNotify::NotifyLockStatusChanged},
    {"NOTIFYTABNAVPOLICYCHANGED", &StudentMessageNotify::NotifyTabNavPolicyChanged},
    {"NOTIFYSCHEDULEPOLICYCHANGED", &StudentMessageNotify::NotifySchedulePolicyChanged},
    {"NOTIFYTEACHERSTATUSCHANGED", &StudentMessageNotify::NotifyTeacherStatusChanged},
    {"SEARCHLOCALPROGRAMCALLBACK", &StudentMessageNotify::SearchLocalProgramCallBack},
    {"POSTMESSAGE", &StudentMessageNotify::OnMessage},
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

// Nobody listens: the notification is dropped and the handler reports 1.
int NoCallBack(const char* handler)
{
    LogScope::Trace(std::string(handler) + " --No CallBack registered");
    return 1;
}

} // namespace

StudentMessageNotify::StudentMessageNotify() : m_pCallBack(nullptr) {}

StudentMessageNotify::~StudentMessageNotify() = default;

void StudentMessageNotify::SetCallBack(IIPCStudentAPICallback* callback)
{
    m_pCallBack = callback;
}

int StudentMessageNotify::DoAction(std::string message, std::string payload, std::string& result)
{
    LogScope scope("StudentMessageNotify::DoAction()");
    try {
        LogScope::Trace("StudentMessageNotify Receive Msg:" + RedactSecrets(payload));
        for (const Route& route : kRoutes)
            if (message == route.message)
                return (this->*route.handler)(std::move(payload), result);
    } catch (const std::exception& e) {
        // Also what a host callback throws: the worker thread must live on.
        LogScope::Error(std::string("StudentMessageNotify::DoAction() --Exception: ") + e.what());
    }
    return 1;
}

int StudentMessageNotify::ConnectTeacherCallBack(std::string payload, std::string&)
{
    static const char* const kName = "StudentMessageNotify::ConnectTeacherCallBack()";
    LogScope scope(kName);
    CIntfData data;
    if (IPCCommonUtil::LoadString(data, payload) != 0)
        return 1;
    Reader read{data.m_ParaXml, 0};
    const std::string teacherID = read.Text("strTeacherID");
    const int ret = read.Number("iReturn");
    IIPCStudentAPICallback* callback = m_pCallBack;
    if (!callback)
        return NoCallBack(kName);
    callback->ConnectTeacherCallBack(teacherID, ret);
    return read.result;
}

int StudentMessageNotify::SearchTeacherCallBack(std::string payload, std::string&)
{
    static const char* const kName = "StudentMessageNotify::SearchTeacherCallBack()";
    LogScope scope(kName);
    CIntfData data;
    if (IPCCommonUtil::LoadString(data, payload) != 0)
        return 1;
    std::list<std::string> teachers;
    const int result = data.m_ParaXml.getListPara(teachers) ? 0 : 1;
    IIPCStudentAPICallback* callback = m_pCallBack;
    if (!callback)
        return NoCallBack(kName);
    callback->SearchTeacherCallBack(teachers);
    return result;
}

int StudentMessageNotify::NotifyLockStatusChanged(std::string payload, std::string&)
{
    static const char* const kName = "StudentMessageNotify::NotifyLockStatusChanged()";
    LogScope scope(kName);
    CIntfData data;
    if (IPCCommonUtil::LoadString(data, payload) != 0)
        return 1;
    Reader read{data.m_ParaXml, 0};
    // Only the exact text "TRUE" means locked.
    const bool locked = read.Text("bLock") == "TRUE";
    IIPCStudentAPICallback* callback = m_pCallBack;
    if (!callback)
        return NoCallBack(kName);
    callback->NotifyLockStatusChanged(locked);
    return read.result;
}

int StudentMessageNotify::NotifyTabNavPolicyChanged(std::string payload, std::string&)
{
    static const char* const kName = "StudentMessageNotify::NotifyTabNavPolicyChanged()";
    LogScope scope(kName);
    CIntfData data;
    if (IPCCommonUtil::LoadString(data, payload) != 0)
        return 1;
    IIPCStudentAPICallback* callback = m_pCallBack;
    if (!callback)
        return NoCallBack(kName);
    callback->NotifyTabNavPolicyChanged();
    return 0;
}

int StudentMessageNotify::NotifySchedulePolicyChanged(std::string payload, std::string&)
{
    static const char* const kName = "StudentMessageNotify::NotifySchedulePolicyChanged()";
    LogScope scope(kName);
    CIntfData data;
    if (IPCCommonUtil::LoadString(data, payload) != 0)
        return 1;
    IIPCStudentAPICallback* callback = m_pCallBack;
    if (!callback)
        return NoCallBack(kName);
    callback->NotifySchedulePolicyChanged();
    return 0;
}

int StudentMessageNotify::NotifyTeacherStatusChanged(std::string payload, std::string&)
{
    static const char* const kName = "StudentMessageNotify::NotifyTeacherStatusChanged()";
    LogScope scope(kName);
    CIntfData data;
    if (IPCCommonUtil::LoadString(data, payload) != 0)
        return 1;
    Reader read{data.m_ParaXml, 0};
    const std::string teacherID = read.Text("strTeacherID");
    const int state = read.Number("iState");
    IIPCStudentAPICallback* callback = m_pCallBack;
    if (!callback)
        return NoCallBack(kName);
    callback->NotifyTeacherStatusChanged(teacherID, state);
    return read.result;
}

int StudentMessageNotify::SearchLocalProgramCallBack(std::string payload, std::string&)
{
    static const char* const kName = "StudentMessageNotify::SearchLocalProgramCallBack()";
    LogScope scope(kName);
    CIntfData data;
    if (IPCCommonUtil::LoadString(data, payload) != 0)
        return 1;
    Reader read{data.m_ParaXml, 0};
    const std::string programsXML = read.Text("programsXML");
    IIPCStudentAPICallback* callback = m_pCallBack;
    if (!callback)
        return NoCallBack(kName);
    callback->SearchLocalProgramCallBack(programsXML);
    return read.result;
}

int StudentMessageNotify::OnMessage(std::string payload, std::string&)
{
    static const char* const kName = "StudentMessageNotify::OnMessage()";
    LogScope scope(kName);
    CIntfData data;
    if (IPCCommonUtil::LoadString(data, payload) != 0)
        return 1;
    Reader read{data.m_ParaXml, 0};
    const std::string text = read.Text("Message");
    const int id = read.Number("MessageID");
    IIPCStudentAPICallback* callback = m_pCallBack;
    if (!callback)
        return NoCallBack(kName);
    callback->OnMessage(id, text);
    return read.result;
}

} // namespace IPCAPI
