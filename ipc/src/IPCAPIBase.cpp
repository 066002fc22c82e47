#include "IPCAPIBase.h"

#include "IPCLogging.h"

#include <mutex>

namespace IPCAPI {

int IPCAPIBase::m_iOPID = 0;

namespace {
std::mutex& opidMutex()
{
    static std::mutex* m = new std::mutex; // never destroyed: usable at exit
    return *m;
}
} // namespace

IPCAPIBase::IPCAPIBase() : m_pController(nullptr) {}
IPCAPIBase::~IPCAPIBase() = default;

int IPCAPIBase::DoAction(std::string, std::string, std::string&) { return 0; }
int IPCAPIBase::SendMsg(int&, std::string, std::string) { return 0; }
int IPCAPIBase::ReceiveMsg(int&, std::string&, std::string&) { return 0; }
bool IPCAPIBase::IsBlock() { return false; }
int IPCAPIBase::ReplyMsg(std::string) { return 0; }

int IPCAPIBase::GetOPID()
{
    LogScope scope("IPCAPIBase::GetOPID()");
    int id;
    {
        // The wrap test and the increment are one step for all threads.
        std::lock_guard<std::mutex> lock(opidMutex());
        if (m_iOPID > 0xFFFE)
            m_iOPID = 0;
        id = ++m_iOPID;
    }
    LogScope::Trace("IPCAPIBase::GetOPID() --Operation ID = " + std::to_string(id));
    return id;
}

} // namespace IPCAPI
