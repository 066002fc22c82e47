#include "IPCTeacherDaemonAPI.h"

#include "DaemonEndpoint.h"

namespace IPCAPI {

namespace {
DaemonEndpoint Endpoint(IPCTeacherDaemonAPI& api)
{
    return DaemonEndpoint::For(kTeacherDaemonRole, api);
}
} // namespace

IPCTeacherDaemonAPI::IPCTeacherDaemonAPI() : m_pRequest(nullptr), m_iRequestType(0)
{
    Initialize();
}

IPCTeacherDaemonAPI::~IPCTeacherDaemonAPI() { UnInitialize(); }

int IPCTeacherDaemonAPI::Initialize() { return Endpoint(*this).Initialize(); }
int IPCTeacherDaemonAPI::UnInitialize() { return Endpoint(*this).UnInitialize(); }

int IPCTeacherDaemonAPI::ReceiveMsg(int&, std::string& message, std::string& payload)
{
    return Endpoint(*this).ReceiveMsg(message, payload);
}

int IPCTeacherDaemonAPI::ReceiveMsg(CIntfData& data) { return Endpoint(*this).ReceiveMsg(data); }
bool IPCTeacherDaemonAPI::IsBlock() { return Endpoint(*this).IsBlock(); }
int IPCTeacherDaemonAPI::WaitForMsg(int timeoutMs) { return Endpoint(*this).WaitForMsg(timeoutMs); }
int IPCTeacherDaemonAPI::GetWaitFD() { return Endpoint(*this).GetWaitFD(); }

int IPCTeacherDaemonAPI::GetRequestSender(unsigned long& uid, unsigned long& pid)
{
    return Endpoint(*this).GetRequestSender(uid, pid);
}
int IPCTeacherDaemonAPI::ReplyMsg(std::string payload) { return Endpoint(*this).ReplyMsg(payload); }
int IPCTeacherDaemonAPI::ReplyMsg(CIntfData* data) { return Endpoint(*this).ReplyMsg(data); }

int IPCTeacherDaemonAPI::SendMsg(int&, std::string message, std::string payload)
{
    return Endpoint(*this).SendMsg(message, payload);
}

int IPCTeacherDaemonAPI::SendMsg(CIntfData* data) { return Endpoint(*this).SendMsg(data); }

} // namespace IPCAPI
