#include "IPCController.h"

#include "IPCLogging.h"
#include "IPCNames.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace IPCAPI {

IPCController* IPCController::m_Instance = nullptr;
int IPCController::m_IPCCounts = 0;

namespace {

// Holds the connection lock for a scope; release() ends it early.
class ConnLock {
public:
    explicit ConnLock(pthread_mutex_t* m) : m_mutex(m) { pthread_mutex_lock(m_mutex); }
    ~ConnLock() { release(); }
    void release()
    {
        if (m_held) {
            m_held = false;
            pthread_mutex_unlock(m_mutex);
        }
    }
    ConnLock(const ConnLock&) = delete;
    ConnLock& operator=(const ConnLock&) = delete;

private:
    pthread_mutex_t* m_mutex;
    bool m_held = true;
};

// libdbus aborts the process on names or texts it considers invalid, so
// whatever a host passes is checked before it reaches the bus library.
bool validTarget(const char* what, const std::string& prefix, const std::string& busName,
                 const std::string& iface, const std::string& member, const std::string& payload)
{
    const char* bad = nullptr;
    if (!busName.empty() && !dbus_validate_bus_name(busName.c_str(), nullptr))
        bad = "bus name";
    else if (!dbus_validate_interface(iface.c_str(), nullptr))
        bad = "interface";
    else if (!dbus_validate_member(member.c_str(), nullptr))
        bad = "message name";
    else if (payload.find('\0') != std::string::npos ||
             !dbus_validate_utf8(payload.c_str(), nullptr))
        bad = "payload (not valid UTF-8 text)";
    if (!bad)
        return true;
    LogScope::Error(prefix + " " + what + " --Invalid " + bad + ", nothing sent");
    return false;
}

} // namespace

IPCController* IPCController::CreateInstance(std::string busName, std::string matchRule)
{
    LogScope scope("IPCController::CreateInstance()");
    ++m_IPCCounts;
    if (!m_Instance && !busName.empty() && !matchRule.empty())
        m_Instance = new IPCController(busName, matchRule);
    return m_Instance;
}

int IPCController::RemoveAPI(IPCAPIBase* api)
{
    LogScope scope("IPCController::RemoveAPI()");
    if (!m_Instance)
        return 1;
    int result = 1;
    pthread_mutex_lock(&m_Instance->m_ListLock);
    auto it = std::find(m_Instance->m_APIList.begin(), m_Instance->m_APIList.end(), api);
    if (it != m_Instance->m_APIList.end()) {
        m_Instance->m_APIList.erase(it);
        result = 0;
    }
    pthread_mutex_unlock(&m_Instance->m_ListLock);
    if (--m_IPCCounts <= 0) {
        m_IPCCounts = 0;
        LogScope::Trace("Delete Controller!");
        delete m_Instance;
        m_Instance = nullptr;
    }
    return result;
}

IPCController::IPCController(std::string busName, std::string matchRule)
    : m_DbusConn(nullptr), m_pCurrentMsg(nullptr), m_bRunning(false), m_pBusName(nullptr),
      m_pMatchRule(nullptr), m_WorkerThread(), m_bWorkerStarted(false)
{
    LogScope scope("IPCController::IPCController()");
    dbus_error_init(&m_DbusErr);
    pthread_mutex_init(&m_DbusLock, nullptr);
    pthread_mutex_init(&m_ListLock, nullptr);
    if (!Initial()) {
        LogScope::Error("IPCController::IPCController() --Initial Failed, no bus connection");
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
    if (m_pCurrentMsg) {
        dbus_message_unref(m_pCurrentMsg);
        m_pCurrentMsg = nullptr;
    }
    if (m_pMatchRule) {
        if (Connected()) {
            dbus_bus_remove_match(m_DbusConn, m_pMatchRule, &m_DbusErr);
            ReportError("IPCController::~IPCController() --dbus_bus_remove_match:",
                        LibTAVData::CTAVLog::LOG_WARNING);
        }
        std::free(m_pMatchRule);
        m_pMatchRule = nullptr;
    }
    if (m_pBusName) {
        if (Connected()) {
            dbus_bus_release_name(m_DbusConn, m_pBusName, &m_DbusErr);
            ReportError("IPCController::~IPCController() --dbus_bus_release_name:",
                        LibTAVData::CTAVLog::LOG_WARNING);
        }
        std::free(m_pBusName);
        m_pBusName = nullptr;
    }
    m_APIList.clear();
    // Our reference only: the shared connection stays open in the bus library.
    if (m_DbusConn) {
        dbus_connection_flush(m_DbusConn);
        dbus_connection_unref(m_DbusConn);
        m_DbusConn = nullptr;
    }
    dbus_error_free(&m_DbusErr);
    pthread_mutex_destroy(&m_ListLock);
    pthread_mutex_destroy(&m_DbusLock);
}

void IPCController::ReportError(const std::string& prefix, LibTAVData::CTAVLog::LOGLEVEL level)
{
    if (!dbus_error_is_set(&m_DbusErr))
        return;
    LibTAVData::CTAVLog::WriteLine(prefix + (m_DbusErr.message ? m_DbusErr.message : ""), level,
                                   "", false);
    dbus_error_free(&m_DbusErr);
}

bool IPCController::Connected()
{
    return m_DbusConn && dbus_connection_get_is_connected(m_DbusConn);
}

bool IPCController::Initial()
{
    LogScope scope("IPCController::Initial()");
    if (m_DbusConn) {
        LogScope::Trace("m_DbusConn has been set!");
        return true;
    }
    dbus_threads_init_default();
    dbus_error_free(&m_DbusErr);
    DBusConnection* conn = dbus_bus_get(DBUS_BUS_SYSTEM, &m_DbusErr);
    const bool failed = dbus_error_is_set(&m_DbusErr);
    ReportError("IPCController::Initial() --Name Error dbus_bus_get:", LibTAVData::CTAVLog::LOG_ERROR);
    if (failed || !conn) {
        if (conn)
            dbus_connection_unref(conn);
        return false;
    }
    // A host must survive the bus going away; its requests then fail with 1.
    dbus_connection_set_exit_on_disconnect(conn, FALSE);
    m_DbusConn = conn;
    return true;
}

int IPCController::SetBusName(std::string name)
{
    LogScope scope("IPCController::SetBusName()");
    if (m_pBusName) {
        LogScope::Trace("Bus Name hae been Set");
        return 0;
    }
    m_pBusName = strdup(name.c_str());
    if (!Connected() || !dbus_validate_bus_name(m_pBusName, nullptr)) {
        LogScope::Warning("IPCController::SetBusName() --Name Error: no connection or invalid name");
        return 1;
    }
    int ret = dbus_bus_request_name(m_DbusConn, m_pBusName, DBUS_NAME_FLAG_REPLACE_EXISTING, &m_DbusErr);
    if (dbus_error_is_set(&m_DbusErr)) {
        ReportError("IPCController::SetBusName() --Name Error dbus_bus_request_name:",
                    LibTAVData::CTAVLog::LOG_WARNING);
        return 1;
    }
    if (ret != DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER) {
        LogScope::Warning("IPCController::SetBusName() --Name Error dbus_bus_request_name: "
                          "DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER != ret");
        return 1;
    }
    return 0;
}

int IPCController::AddMatch(std::string rule)
{
    LogScope scope("IPCController::AddMatch()");
    if (m_pMatchRule) {
        LogScope::Trace("Match ha been Set");
        return 0;
    }
    m_pMatchRule = strdup(rule.c_str());
    if (!Connected()) {
        LogScope::Error("IPCController::AddMatch() --Match Error: no connection");
        return 1;
    }
    dbus_bus_add_match(m_DbusConn, m_pMatchRule, &m_DbusErr);
    dbus_connection_flush(m_DbusConn);
    if (dbus_error_is_set(&m_DbusErr)) {
        ReportError("IPCController::AddMatch() --Match Error dbus_bus_add_match:",
                    LibTAVData::CTAVLog::LOG_ERROR);
        return 1;
    }
    return 0;
}

int IPCController::SetAPI(IPCAPIBase* api)
{
    LogScope scope("IPCController::SetAPI()");
    if (!api)
        return 0;
    pthread_mutex_lock(&m_ListLock);
    m_APIList.push_back(api);
    pthread_mutex_unlock(&m_ListLock);
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

bool IPCController::IsStart()
{
    return m_bRunning;
}

pthread_mutex_t* IPCController::GetDBusLock()
{
    return &m_DbusLock;
}

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
            DBusMessage* message = nullptr;
            if (controller->ReceiveMsg(&message) == 0)
                controller->DoAction(message);
            // At most one message per cycle: the pacing hosts rely on.
            controller->PauseWorker(50000);
        } while (controller->m_bRunning);
    }
    LogScope::Trace("IPCController::ControllerWorkerProc() --ControllerWorkerProc Thread End!");
    return nullptr;
}

int IPCController::ReceiveMsg(DBusMessage** message)
{
    ConnLock lock(&m_DbusLock);
    if (m_pCurrentMsg) {
        dbus_message_unref(m_pCurrentMsg);
        m_pCurrentMsg = nullptr;
    }
    if (!message || !Connected())
        return 1;
    dbus_connection_read_write(m_DbusConn, 0);
    DBusMessage* msg = dbus_connection_pop_message(m_DbusConn);
    if (!msg)
        return 1;
    const int type = dbus_message_get_type(msg);
    if (type == DBUS_MESSAGE_TYPE_INVALID || type == DBUS_MESSAGE_TYPE_METHOD_RETURN ||
        type == DBUS_MESSAGE_TYPE_ERROR) {
        dbus_message_unref(msg);
        return 1;
    }
    m_pCurrentMsg = msg;
    *message = msg;
    return 0;
}

int IPCController::DoAction(DBusMessage* message)
{
    if (!message)
        return 1;
    // Our own reference: the next ReceiveMsg may drop the current message.
    dbus_message_ref(message);
    const char* member = dbus_message_get_member(message);
    DBusMessageIter iter;
    if (!dbus_message_iter_init(message, &iter) ||
        dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_STRING) {
        dbus_message_unref(message);
        return 1;
    }
    const char* arg = nullptr;
    dbus_message_iter_get_basic(&iter, &arg);
    const std::string name = member ? member : "";
    const std::string payload = arg ? arg : "";
    dbus_message_unref(message);

    pthread_mutex_lock(&m_ListLock);
    for (IPCAPIBase* api : m_APIList) {
        if (!api)
            continue;
        std::string result;
        api->DoAction(name, payload, result);
    }
    pthread_mutex_unlock(&m_ListLock);
    return 0;
}

int IPCController::SendMsg(std::string interfaceName, std::string msgName, std::string payload)
{
    LogScope scope("IPCController::SendMsg()");
    try {
        LogScope::Trace("IPCController::SendMsg() [Async] --send message = " + LoggedPayload(payload));
        LogScope::Trace("IPCController::SendMsg() [Async] --interface = " + interfaceName +
                        ", member = " + msgName);
        if (!validTarget("[Async]", "IPCController::SendMsg()", "", interfaceName, msgName, payload))
            return 1;
        ConnLock held(&m_DbusLock);
        if (!Connected()) {
            LogScope::Error("IPCController::SendMsg() [Async] --Not connected to the bus");
            return 1;
        }
        DBusMessage* msg = dbus_message_new_signal(kObjectPath, interfaceName.c_str(), msgName.c_str());
        if (!msg) {
            LogScope::Error("IPCController::SendMsg() [Async] --Message Null.dbus_message_new_signal");
            return 1;
        }
        DBusMessageIter args;
        dbus_message_iter_init_append(msg, &args);
        const char* text = payload.c_str();
        if (!dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &text)) {
            LogScope::Error("IPCController::SendMsg() [Async] --Out Of Memory!dbus_message_iter_init_append");
            dbus_message_unref(msg);
            return 1;
        }
        if (!dbus_connection_send(m_DbusConn, msg, nullptr)) {
            LogScope::Error("IPCController::SendMsg() [Async] --Out Of Memory!dbus_connection_send");
            dbus_message_unref(msg);
            return 1;
        }
        dbus_connection_flush(m_DbusConn);
        held.release();
        dbus_message_unref(msg);
        return 0;
    } catch (const std::exception& e) {
        LogScope::Error(std::string("IPCController::SendMsg() [Async] --Exception: ") + e.what());
        return 1;
    }
}

int IPCController::SendMsg(std::string serverName, std::string interfaceName, std::string msgName,
                           std::string payload, std::string& reply)
{
    LogScope scope("IPCController::SendMsg()");
    try {
        LogScope::Trace("IPCController::SendMsg() [Sync] --Send message = " + LoggedPayload(payload));
        LogScope::Trace("IPCController::SendMsg() [Sync] --destination = " + serverName +
                        ", interface = " + interfaceName + ", member = " + msgName);
        if (serverName.empty() ||
            !validTarget("[Sync]", "IPCController::SendMsg()", serverName, interfaceName, msgName, payload))
            return 1;
        ConnLock held(&m_DbusLock);
        if (!Connected()) {
            LogScope::Error("IPCController::SendMsg() [Sync] --Not connected to the bus");
            return 1;
        }
        DBusMessage* msg = dbus_message_new_method_call(serverName.c_str(), kObjectPath,
                                                        interfaceName.c_str(), msgName.c_str());
        if (!msg) {
            LogScope::Error("IPCController::SendMsg() [Sync] --Message Null.dbus_message_new_method_call");
            return 1;
        }
        DBusMessageIter args;
        dbus_message_iter_init_append(msg, &args);
        const char* text = payload.c_str();
        if (!dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &text)) {
            LogScope::Error("IPCController::SendMsg() [Sync] --Out Of Memory!dbus_message_iter_append_basic");
            dbus_message_unref(msg);
            return 1;
        }
        DBusPendingCall* pending = nullptr;
        if (!dbus_connection_send_with_reply(m_DbusConn, msg, &pending, -1)) {
            LogScope::Error("IPCController::SendMsg() [Sync] --Time Out!dbus_connection_send_with_reply");
            dbus_message_unref(msg);
            return 1;
        }
        if (!pending) {
            LogScope::Error("IPCController::SendMsg() [Sync] --Pending Call Null");
            dbus_message_unref(msg);
            return 1;
        }
        dbus_connection_flush(m_DbusConn);
        dbus_message_unref(msg);
        dbus_pending_call_block(pending);
        DBusMessage* answer = dbus_pending_call_steal_reply(pending);
        dbus_pending_call_unref(pending);
        held.release();
        if (!answer) {
            LogScope::Error("IPCController::SendMsg() [Sync] --Time Out!dbus_connection_send_with_reply");
            return 1;
        }
        const int type = dbus_message_get_type(answer);
        if (type == DBUS_MESSAGE_TYPE_ERROR) {
            dbus_message_unref(answer);
            return 3;
        }
        if (type != DBUS_MESSAGE_TYPE_METHOD_RETURN) {
            dbus_message_unref(answer);
            return 1;
        }
        DBusMessageIter iter;
        if (!dbus_message_iter_init(answer, &iter) ||
            dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_STRING) {
            dbus_message_unref(answer);
            LogScope::Error("IPCController::SendMsg() [Sync] --Argument is not string!");
            return 1;
        }
        const char* value = nullptr;
        dbus_message_iter_get_basic(&iter, &value);
        reply += value ? value : "";
        dbus_message_unref(answer);
        LogScope::Trace("IPCController::SendMsg() [Sync] --IPCController Sync SendMsg Get Reply:" +
                        LoggedPayload(reply));
        return 0;
    } catch (const std::exception& e) {
        LogScope::Error(std::string("IPCController::SendMsg() [Sync] --Exception: ") + e.what());
        return 1;
    }
}

// The reply is released on failure too: the daemon API hands it over for good.
int IPCController::SendMsg(DBusMessage* reply)
{
    LogScope scope("IPCController::SendMsg()");
    if (!reply)
        return 1;
    ConnLock held(&m_DbusLock);
    if (!Connected() || !dbus_connection_send(m_DbusConn, reply, nullptr)) {
        LogScope::Error("IPCController::SendMsg() [Reply] --Out Of Memory!dbus_connection_send");
        held.release();
        dbus_message_unref(reply);
        return 1;
    }
    dbus_connection_flush(m_DbusConn);
    held.release();
    dbus_message_unref(reply);
    return 0;
}

} // namespace IPCAPI
