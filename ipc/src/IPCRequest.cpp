#include "IPCRequest.h"

#include "IPCAPIBase.h"
#include "IPCCommonUtil.h"
#include "IPCController.h"
#include "IPCNames.h"

#include <cstring>
#include <utility>

namespace IPCAPI {

const RequestSide kStudentSide = {kStudentDaemonName, kStudentAppIface, kStudentDaemonIface,
                                  Param::iReturn};
const RequestSide kTeacherSide = {kTeacherDaemonName, kTeacherAppIface, kTeacherDaemonIface,
                                  "errCode"};

IPCRequest::IPCRequest(const RequestSide& side, IPCController* controller, const char* op,
                       const char* message)
    : m_side(side), m_pController(controller), m_op(op), m_message(message),
      m_iOPID(IPCAPIBase::GetOPID())
{
    m_data.SetOperationID(m_iOPID);
    m_data.SetMessage(message);
    m_data.SetStudentID(kNoStudent);
}

IPCRequest& IPCRequest::StudentID(const std::string& id)
{
    if (!id.empty())
        LogScope::Trace(std::string(m_op) + " --studentID = " + id);
    m_data.SetStudentID(id);
    return *this;
}

IPCRequest& IPCRequest::Int(const char* name, int value)
{
    m_data.m_ParaXml.setInt(name, value);
    return *this;
}

IPCRequest& IPCRequest::Text(const char* name, const std::string& value)
{
    if (!IsSecretParameter(name))
        LogScope::Trace(PayloadLine(LogScope::Join(m_op, " --", name, " = "), value));
    m_data.m_ParaXml.setString(name, value);
    return *this;
}

IPCRequest& IPCRequest::List(std::list<std::string>& entries)
{
    m_data.m_ParaXml.setListPara(entries);
    return *this;
}

bool IPCRequest::Print(std::string& text) const
{
    if (!m_pController) {
        LogScope::Error(std::string(m_op) + " --No Controller, nothing sent");
        return false;
    }
    // Fails for a student id longer than its 64-character field.
    if (!m_data.toString(text)) {
        LogScope::Error(std::string(m_op) + " --Build Message Failure, nothing sent");
        return false;
    }
    return true;
}

int IPCRequest::Send(const char* iface)
{
    std::string text;
    if (!Print(text))
        return 1;
    return m_pController->SendMsg(iface, m_message, std::move(text));
}

int IPCRequest::Signal() { return Send(m_side.appIface); }

int IPCRequest::Broadcast() { return Send(m_side.daemonIface); }

int IPCRequest::Call(CIntfData& reply)
{
    std::string text;
    if (!Print(text))
        return 1;
    std::string answer;
    const int code = m_pController->SendMsg(m_side.daemonName, m_side.appIface, m_message,
                                            std::move(text), answer);
    if (code != 0) {
        LogScope::Error(std::string(m_op) + " --Send Message to DBUs Failure Error Code : " +
                        IPCCommonUtil::ParseInt2String(code));
        return 1;
    }
    if (IPCCommonUtil::LoadString(reply, std::move(answer)) != 0) {
        LogScope::Error(std::string(m_op) + " --Load Result Failure");
        return 1;
    }
    return 0;
}

int IPCRequest::CallForResult(int& ret, bool traceResult)
{
    CIntfData reply;
    if (Call(reply) != 0)
        return 1;
    int result = 0;
    reply.GetResult(result);
    ret = result;
    if (traceResult)
        TraceResult(ret);
    return 0;
}

void IPCRequest::TraceResult(int ret) const
{
    LogScope::Trace(LogScope::Join(m_op, " --", m_side.resultLabel, " = ", std::to_string(ret)));
}

} // namespace IPCAPI
