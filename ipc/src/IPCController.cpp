// The controller's life: the one instance and its count, construction and
// tear-down, the registered API objects and the worker thread that delivers
// to them. Its bus connection is in ControllerConnection.cpp, what travels
// over it in ControllerTraffic.cpp.
#include "IPCController.h"

#include "BusCalls.h"
#include "ControllerInternal.h"
#include "DBusHandles.h"
#include "IPCLogging.h"
#include "IPCNames.h"
#include "InboundMessage.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace IPCAPI {

IPCController* IPCController::m_Instance = nullptr;
int IPCController::m_IPCCounts = 0;

using namespace detail;

void IPCController::ConnectionRelease::operator()(DBusConnection* c) const
{
    // Our reference only: the shared connection belongs to the bus library.
    dbus_connection_unref(c);
}

void IPCController::MessageRelease::operator()(DBusMessage* m) const { dbus_message_unref(m); }

void IPCController::TextRelease::operator()(char* t) const { std::free(t); }

IPCController* IPCController::CreateInstance(std::string busName, std::string matchRule)
{
    LogScope scope("IPCController::CreateInstance()");
    if (!m_Instance && !busName.empty() && !matchRule.empty())
        m_Instance = new IPCController(busName, matchRule);
    // Only a caller that got the controller holds a count: its RemoveAPI
    // gives it back.
    if (m_Instance)
        ++m_IPCCounts;
    else
        LogScope::Error(
            "IPCController::CreateInstance() --No controller: empty bus name or match rule");
    return m_Instance;
}

int IPCController::RemoveAPI(IPCAPIBase* api)
{
    LogScope scope("IPCController::RemoveAPI()");
    if (!m_Instance)
        return 1;
    int result = 1;
    {
        ScopedLock list(&m_Instance->m_ListLock);
        auto it = std::find(m_Instance->m_APIList.begin(), m_Instance->m_APIList.end(), api);
        if (it != m_Instance->m_APIList.end()) {
            m_Instance->m_APIList.erase(it);
            result = 0;
        }
        if (std::find(m_Instance->m_APIList.begin(), m_Instance->m_APIList.end(), api) ==
            m_Instance->m_APIList.end())
            m_Instance->m_AcceptedInterface.erase(api);
    }
    if (--m_IPCCounts <= 0) {
        m_IPCCounts = 0;
        LogScope::Trace("Delete Controller!");
        delete m_Instance;
        m_Instance = nullptr;
    }
    return result;
}

IPCController::IPCController(std::string busName, std::string matchRule)
    : m_bRunning(false), m_WorkerThread(), m_bWorkerStarted(false),
      m_ReconnectWait(kFirstReconnectWait), m_bMatchRefused(false)
{
    LogScope scope("IPCController::IPCController()");
    dbus_error_init(&m_DbusErr);
    pthread_mutex_init(&m_DbusLock, nullptr);
    pthread_mutex_init(&m_ListLock, nullptr);
    if (!Initial()) {
        LogScope::Error("IPCController::IPCController() --Initial Failed, no bus connection");
        // Kept for when the bus appears: the name and rule are set up then.
        m_pBusName.reset(strdup(busName.c_str()));
        m_pMatchRule.reset(strdup(matchRule.c_str()));
        m_NextReconnect = Clock::now() + m_ReconnectWait;
        return;
    }
    SetBusName(busName);
    if (AddMatch(matchRule) != 0)
        LogScope::Error("IPCController::IPCController() --AddMatch Failed");
}

IPCController::~IPCController()
{
    LogScope scope("IPCController::~IPCController()");
    if (m_bRunning)
        End();
    // No dispatch may run during tear-down: wait for the worker to leave.
    if (m_bWorkerStarted) {
        if (pthread_equal(pthread_self(), m_WorkerThread))
            pthread_detach(m_WorkerThread);
        else
            pthread_join(m_WorkerThread, nullptr);
        m_bWorkerStarted = false;
    }
    m_pCurrentMsg.reset();
    if (m_pMatchRule && Connected()) {
        Bus().bus_remove_match(m_DbusConn.get(), m_pMatchRule.get(), &m_DbusErr);
        ReportError("IPCController::~IPCController() --dbus_bus_remove_match:",
                    LibTAVData::CTAVLog::LOG_WARNING);
    }
    m_pMatchRule.reset();
    if (m_pBusName && Connected()) {
        Bus().bus_release_name(m_DbusConn.get(), m_pBusName.get(), &m_DbusErr);
        ReportError("IPCController::~IPCController() --dbus_bus_release_name:",
                    LibTAVData::CTAVLog::LOG_WARNING);
    }
    m_pBusName.reset();
    m_APIList.clear();
    m_AcceptedInterface.clear();
    if (m_DbusConn) {
        Bus().connection_flush(m_DbusConn.get());
        m_DbusConn.reset();
    }
    dbus_error_free(&m_DbusErr);
    pthread_mutex_destroy(&m_ListLock);
    pthread_mutex_destroy(&m_DbusLock);
}

int IPCController::SetAPI(IPCAPIBase* api)
{
    LogScope scope("IPCController::SetAPI()");
    if (!api)
        return 0;
    ScopedLock list(&m_ListLock);
    m_APIList.push_back(api);
    return 0;
}

int IPCController::SetAPI(IPCAPIBase* api, const std::string& acceptedInterface)
{
    LogScope scope("IPCController::SetAPI()");
    if (!api)
        return 0;
    ScopedLock list(&m_ListLock);
    m_APIList.push_back(api);
    m_AcceptedInterface[api] = acceptedInterface;
    return 0;
}

bool IPCController::Start()
{
    LogScope scope("IPCController::Start()");
    if (m_bRunning)
        return true;
    // A worker ended by End() may still be finishing its cycle.
    if (m_bWorkerStarted && !pthread_equal(pthread_self(), m_WorkerThread)) {
        pthread_join(m_WorkerThread, nullptr);
        m_bWorkerStarted = false;
    }
    m_bRunning = true;
    if (pthread_create(&m_WorkerThread, nullptr, ControllerWorkerProc, this) != 0) {
        m_bRunning = false;
        LogScope::Trace("IPCController::Start() --ControllerWorkerProc Thread Start Failure!");
        return false;
    }
    m_bWorkerStarted = true;
    LogScope::Trace("IPCController::Start() --ControllerWorkerProc Thread Start Success!");
    return true;
}

bool IPCController::End()
{
    LogScope scope("IPCController::End()");
    {
        std::lock_guard<std::mutex> lock(m_PauseMutex);
        m_bRunning = false;
    }
    m_PauseCond.notify_all();
    return true;
}

bool IPCController::IsStart() { return m_bRunning; }

pthread_mutex_t* IPCController::GetDBusLock() { return &m_DbusLock; }

int IPCController::SaftReturn(APIResult result)
{
    pthread_mutex_unlock(&m_DbusLock);
    return result;
}

void IPCController::PauseWorker(long usec)
{
    std::unique_lock<std::mutex> lock(m_PauseMutex);
    m_PauseCond.wait_for(lock, std::chrono::microseconds(usec), [this] { return !m_bRunning; });
}

void* IPCController::ControllerWorkerProc(void* arg)
{
    auto* controller = static_cast<IPCController*>(arg);
    LogScope::Trace("IPCController::ControllerWorkerProc() --ControllerWorkerProc Thread start!");
    if (controller) {
        controller->PauseWorker(1000000);
        controller->PauseWorker(50000);
    }
    if (controller && controller->m_bRunning) {
        do {
            controller->DeliverOne();
            // At most one delivery per cycle: the pacing hosts rely on.
            controller->PauseWorker(50000);
        } while (controller->m_bRunning);
    }
    LogScope::Trace("IPCController::ControllerWorkerProc() --ControllerWorkerProc Thread End!");
    return nullptr;
}

void IPCController::DeliverOne()
{
    for (int i = 0; i < kSkipsPerCycle; ++i) {
        DBusMessage* message = nullptr;
        if (ReceiveMsg(&message) != 0)
            return;
        if (Dispatch(message) > 0)
            return;
    }
}

} // namespace IPCAPI
