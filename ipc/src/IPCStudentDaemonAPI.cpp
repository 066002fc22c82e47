#include "IPCStudentDaemonAPI.h"

#include "DaemonEndpoint.h"

namespace IPCAPI {

namespace {
DaemonEndpoint Endpoint(IPCStudentDaemonAPI& api)
{
    return DaemonEndpoint::For(kStudentDaemonRole, api);
}
} // namespace

IPCStudentDaemonAPI::IPCStudentDaemonAPI() : m_pRequest(nullptr), m_iRequestType(0)
{
    Initialize();
}

IPCStudentDaemonAPI::~IPCStudentDaemonAPI() { UnInitialize(); }

int IPCStudentDaemonAPI::Initialize() { return Endpoint(*this).Initialize(); }
int IPCStudentDaemonAPI::UnInitialize() { return Endpoint(*this).UnInitialize(); }

int IPCStudentDaemonAPI::ReceiveMsg(int&, std::string& message, std::string& payload)
{
    return Endpoint(*this).ReceiveMsg(message, payload);
}

int IPCStudentDaemonAPI::ReceiveMsg(CIntfData& data) { return Endpoint(*this).ReceiveMsg(data); }
bool IPCStudentDaemonAPI::IsBlock() { return Endpoint(*this).IsBlock(); }
int IPCStudentDaemonAPI::WaitForMsg(int timeoutMs) { return Endpoint(*this).WaitForMsg(timeoutMs); }
int IPCStudentDaemonAPI::GetWaitFD() { return Endpoint(*this).GetWaitFD(); }

int IPCStudentDaemonAPI::GetRequestSender(unsigned long& uid, unsigned long& pid)
{
    return Endpoint(*this).GetRequestSender(uid, pid);
}
int IPCStudentDaemonAPI::ReplyMsg(std::string payload) { return Endpoint(*this).ReplyMsg(payload); }
int IPCStudentDaemonAPI::ReplyMsg(CIntfData* data) { return Endpoint(*this).ReplyMsg(data); }

int IPCStudentDaemonAPI::SendMsg(int&, std::string message, std::string payload)
{
    return Endpoint(*this).SendMsg(message, payload);
}

int IPCStudentDaemonAPI::SendMsg(CIntfData* data) { return Endpoint(*this).SendMsg(data); }

} // namespace IPCAPI
