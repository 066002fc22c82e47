#include "IPCController.h"

#include "BusCalls.h"
#include "DBusHandles.h"
#include "IPCLogging.h"
#include "IPCNames.h"
#include "InboundMessage.h"
#include "InputLimits.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <thread>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace IPCAPI {

IPCController* IPCController::m_Instance = nullptr;
int IPCController::m_IPCCounts = 0;

namespace {

using Clock = std::chrono::steady_clock;

// The largest message the bus library reads: an envelope at the document
// limit plus room for the message header. A larger one is refused from its
// header alone, before its body is read, and the bus library then drops the
// connection (it cannot skip a body); the controller connects again at once
// and asks for its name while the bus still counts the old connection, so
// the name passes straight to the new one. Measured on a private bus with a
// 33 MB envelope: the receiver's peak memory stays within 0.1 MiB of idle
// (a 1 MB envelope that is read costs 3 to 7 MiB); the daemon's name has no
// owner for under 1 ms (and only root may own it meanwhile); a request that
// reached the daemon behind the oversized message gets an error reply (its
// blocking call returns 1), the next one is answered. Without this limit
// the bus library would hold each such message whole (up to 32 MiB) before
// any check of ours could run.
constexpr long kMaxMessageBytes = static_cast<long>(TavInternal::kMaxDocumentBytes) + 64 * 1024;

// One call of the bus library's read reads a few KiB; the socket is read
// until empty, at most this many times and this long per cycle, waiting
// up to kPieceWaitMs for the next piece of a message being written.
constexpr int kDrainReadsPerCycle = 4096;
constexpr std::chrono::milliseconds kDrainTimePerCycle(25);
constexpr int kPieceWaitMs = 2;

// Messages a worker cycle may skip (not for any registered object) before
// it gives up the cycle; at most one is delivered either way.
constexpr int kSkipsPerCycle = 256;

// Polls retry a lost bus after 100 ms, then at doubling intervals up to 1 s.
constexpr std::chrono::milliseconds kFirstReconnectWait(100);
constexpr std::chrono::milliseconds kLongestReconnectWait(1000);

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
    else if (!TextIsSendable(payload))
        bad = "payload (not valid UTF-8 text)";
    if (!bad)
        return true;
    LogScope::Error(prefix + " " + what + " --Invalid " + bad + ", nothing sent");
    return false;
}

std::string text(const char* s)
{
    return s ? s : "";
}

// What the bus told about one sender, kept with the message.
struct SenderCredentials {
    bool known = false;
    unsigned long uid = 0;
    unsigned long pid = 0;
};

void freeCredentials(void* data)
{
    delete static_cast<SenderCredentials*>(data);
}

dbus_int32_t credentialsSlot()
{
    // Allocated once for the process; the bus library serialises this.
    static dbus_int32_t slot = [] {
        dbus_int32_t s = -1;
        dbus_message_allocate_data_slot(&s);
        return s;
    }();
    return slot;
}

// Reads "UnixUserID" and "ProcessID" from a GetConnectionCredentials reply
// (a{sv}).
SenderCredentials parseCredentials(DBusMessage* reply)
{
    SenderCredentials c;
    bool haveUid = false, havePid = false;
    DBusMessageIter top, dict;
    if (!dbus_message_iter_init(reply, &top) || dbus_message_iter_get_arg_type(&top) != DBUS_TYPE_ARRAY)
        return c;
    dbus_message_iter_recurse(&top, &dict);
    for (; dbus_message_iter_get_arg_type(&dict) == DBUS_TYPE_DICT_ENTRY; dbus_message_iter_next(&dict)) {
        DBusMessageIter entry, variant;
        dbus_message_iter_recurse(&dict, &entry);
        if (dbus_message_iter_get_arg_type(&entry) != DBUS_TYPE_STRING)
            continue;
        const char* key = nullptr;
        dbus_message_iter_get_basic(&entry, &key);
        if (!dbus_message_iter_next(&entry) || dbus_message_iter_get_arg_type(&entry) != DBUS_TYPE_VARIANT)
            continue;
        dbus_message_iter_recurse(&entry, &variant);
        if (dbus_message_iter_get_arg_type(&variant) != DBUS_TYPE_UINT32)
            continue;
        dbus_uint32_t value = 0;
        dbus_message_iter_get_basic(&variant, &value);
        if (std::strcmp(key, "UnixUserID") == 0) {
            c.uid = value;
            haveUid = true;
        } else if (std::strcmp(key, "ProcessID") == 0) {
            c.pid = value;
            havePid = true;
        }
    }
    c.known = haveUid && havePid;
    return c;
}

} // namespace

void IPCController::ConnectionRelease::operator()(DBusConnection* c) const
{
    // Our reference only: the shared connection belongs to the bus library.
    dbus_connection_unref(c);
}

void IPCController::MessageRelease::operator()(DBusMessage* m) const
{
    dbus_message_unref(m);
}

void IPCController::TextRelease::operator()(char* t) const
{
    std::free(t);
}

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
        LogScope::Error("IPCController::CreateInstance() --No controller: empty bus name or match rule");
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
    : m_bRunning(false), m_WorkerThread(), m_bWorkerStarted(false), m_ReconnectWait(kFirstReconnectWait),
      m_bMatchRefused(false)
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
        ReportError("IPCController::~IPCController() --dbus_bus_remove_match:", LibTAVData::CTAVLog::LOG_WARNING);
    }
    m_pMatchRule.reset();
    if (m_pBusName && Connected()) {
        Bus().bus_release_name(m_DbusConn.get(), m_pBusName.get(), &m_DbusErr);
        ReportError("IPCController::~IPCController() --dbus_bus_release_name:", LibTAVData::CTAVLog::LOG_WARNING);
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

void IPCController::ReportError(const std::string& prefix, LibTAVData::CTAVLog::LOGLEVEL level)
{
    if (!dbus_error_is_set(&m_DbusErr))
        return;
    LibTAVData::CTAVLog::WriteLine(prefix + text(m_DbusErr.message), level, "", false);
    dbus_error_free(&m_DbusErr);
}

bool IPCController::Connected()
{
    return m_DbusConn && Bus().connection_get_is_connected(m_DbusConn.get());
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
    std::unique_ptr<DBusConnection, ConnectionRelease> conn(Bus().bus_get(DBUS_BUS_SYSTEM, &m_DbusErr));
    const bool failed = dbus_error_is_set(&m_DbusErr);
    ReportError("IPCController::Initial() --Name Error dbus_bus_get:", LibTAVData::CTAVLog::LOG_ERROR);
    if (failed || !conn || !Bus().connection_get_is_connected(conn.get()))
        return false;
    // A host must survive the bus going away; its requests then fail with 1.
    dbus_connection_set_exit_on_disconnect(conn.get(), FALSE);
    dbus_connection_set_max_message_size(conn.get(), kMaxMessageBytes);
    m_DbusConn = std::move(conn);
    return true;
}

int IPCController::SetBusName(std::string name)
{
    LogScope scope("IPCController::SetBusName()");
    if (m_pBusName) {
        LogScope::Trace("Bus Name hae been Set");
        return 0;
    }
    m_pBusName.reset(strdup(name.c_str()));
    return RequestName();
}

int IPCController::RequestName()
{
    if (!m_pBusName || !Connected() || !dbus_validate_bus_name(m_pBusName.get(), nullptr)) {
        LogScope::Warning("IPCController::SetBusName() --Name Error: no connection or invalid name");
        return 1;
    }
    const int ret = Bus().bus_request_name(m_DbusConn.get(), m_pBusName.get(), DBUS_NAME_FLAG_REPLACE_EXISTING,
                                          &m_DbusErr);
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
    m_pMatchRule.reset(strdup(rule.c_str()));
    return InstallMatch();
}

int IPCController::InstallMatch()
{
    if (!m_pMatchRule || !Connected()) {
        LogScope::Error("IPCController::AddMatch() --Match Error: no connection");
        return 1;
    }
    Bus().bus_add_match(m_DbusConn.get(), m_pMatchRule.get(), &m_DbusErr);
    Bus().connection_flush(m_DbusConn.get());
    const bool refused = dbus_error_is_set(&m_DbusErr);
    m_bMatchRefused = refused;
    if (refused) {
        ReportError("IPCController::AddMatch() --Match Error dbus_bus_add_match:", LibTAVData::CTAVLog::LOG_ERROR);
        return 1;
    }
    return 0;
}

bool IPCController::MatchRefused() const
{
    return m_bMatchRefused;
}

bool IPCController::EnsureConnected(bool urgent)
{
    // A send first notices a hang-up not read yet, or it would go to a dead
    // socket.
    if (urgent && Connected())
        Bus().connection_read_write(m_DbusConn.get(), 0);
    if (Connected())
        return true;
    const Clock::time_point now = Clock::now();
    if (m_DbusConn) {
        LogScope::Warning("IPCController --Connection to the bus lost, connecting again");
        // Once the bus library has seen the loss it forgets the dead shared
        // connection, so that the next dbus_bus_get makes a new one; what it
        // still queues is freed.
        Bus().connection_read_write(m_DbusConn.get(), 0);
        while (MessagePtr stale{Bus().connection_pop_message(m_DbusConn.get())}) {
        }
        m_pCurrentMsg.reset();
        m_DbusConn.reset();
        m_ReconnectWait = kFirstReconnectWait;
        m_NextReconnect = now;
    }
    if (!m_pBusName && !m_pMatchRule)
        return false;
    if (!urgent && now < m_NextReconnect)
        return false;
    if (!Initial()) {
        m_NextReconnect = now + m_ReconnectWait;
        m_ReconnectWait = std::min(m_ReconnectWait * 2, kLongestReconnectWait);
        return false;
    }
    m_ReconnectWait = kFirstReconnectWait;
    // A name still held by the lost connection is queued for us and passes
    // to us as soon as the bus notices the loss.
    RequestName();
    InstallMatch();
    LogScope::Trace("IPCController --Connected to the bus again");
    return true;
}

void IPCController::DrainSocket()
{
    DBusConnection* conn = m_DbusConn.get();
    // Once at least: it also writes what is queued and notices a hang-up.
    Bus().connection_read_write(conn, 0);
    const Clock::time_point deadline = Clock::now() + kDrainTimePerCycle;
    bool streaming = false;
    int fd = -1;
    for (int i = 0; i < kDrainReadsPerCycle && Clock::now() < deadline; ++i) {
        int waiting = 0;
        if (!Bus().connection_get_is_connected(conn) || !Bus().connection_get_socket(conn, &fd) ||
            ioctl(fd, FIONREAD, &waiting) != 0)
            return;
        if (waiting <= 0) {
            // A large message comes in pieces of the socket's buffer: the
            // bus writes the next one as soon as we have read this one.
            pollfd ready{fd, POLLIN, 0};
            if (!streaming || poll(&ready, 1, kPieceWaitMs) <= 0)
                return;
        }
        Bus().connection_read_write(conn, 0);
        streaming = true;
        // Nothing taken: the bus library's receive queue is full, and it
        // reads again once messages are popped.
        int left = 0;
        if (waiting > 0 &&
            (!Bus().connection_get_is_connected(conn) || ioctl(fd, FIONREAD, &left) != 0 || left == waiting))
            return;
    }
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

IPCController::ReadyDescriptor::~ReadyDescriptor()
{
    if (fd >= 0)
        close(fd);
}

int IPCController::GetWaitFD()
{
    ScopedLock lock(&m_DbusLock);
    int fd = -1;
    if (!EnsureConnected(false) || !Bus().connection_get_socket(m_DbusConn.get(), &fd))
        return -1;
    // A send or a flush also reads from the socket: what it read waits in
    // the queue, and the socket would not wake the host for it.
    if (Bus().connection_get_dispatch_status(m_DbusConn.get()) == DBUS_DISPATCH_DATA_REMAINS) {
        if (m_ReadyFd.fd < 0)
            m_ReadyFd.fd = eventfd(1, EFD_CLOEXEC | EFD_NONBLOCK);
        if (m_ReadyFd.fd >= 0)
            return m_ReadyFd.fd;
    }
    return fd;
}

int IPCController::WaitForMessage(int timeoutMs)
{
    const bool forever = timeoutMs < 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : timeoutMs);
    for (;;) {
        int fd = -1;
        {
            ScopedLock lock(&m_DbusLock);
            if (EnsureConnected(false)) {
                // Read but not yet taken: nothing more will arrive on the
                // socket for it.
                if (Bus().connection_get_dispatch_status(m_DbusConn.get()) == DBUS_DISPATCH_DATA_REMAINS)
                    return 0;
                if (!Bus().connection_get_socket(m_DbusConn.get(), &fd))
                    fd = -1;
            }
        }
        long left = -1;
        if (!forever) {
            left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left < 0)
                left = 0;
        }
        if (fd < 0) {
            // No bus: try again at the reconnection pace.
            const long pause = forever ? kFirstReconnectWait.count() : std::min<long>(left, kFirstReconnectWait.count());
            std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        } else {
            pollfd ready{fd, POLLIN, 0};
            const int got = poll(&ready, 1, static_cast<int>(left));
            // A hang-up or error is news too: ReceiveMsg connects again. A
            // signal ends the wait, so that a host can stop at once.
            if (got > 0)
                return 0;
            if (got < 0)
                return 1;
        }
        if (!forever && Clock::now() >= deadline)
            return 1;
    }
}

int IPCController::ReceiveMsg(DBusMessage** message)
{
    ScopedLock lock(&m_DbusLock);
    m_pCurrentMsg.reset();
    if (!message || !EnsureConnected(false))
        return 1;
    DrainSocket();
    for (;;) {
        MessagePtr msg(Bus().connection_pop_message(m_DbusConn.get()));
        if (!msg)
            return 1;
        if (dbus_message_is_signal(msg.get(), DBUS_INTERFACE_LOCAL, "Disconnected")) {
            // Connects again now if the bus is there; the next call reads
            // from the new connection.
            msg.reset();
            EnsureConnected(false);
            return 1;
        }
        const int type = dbus_message_get_type(msg.get());
        // Returns and errors nobody waits for are dropped.
        if (type == DBUS_MESSAGE_TYPE_INVALID || type == DBUS_MESSAGE_TYPE_METHOD_RETURN ||
            type == DBUS_MESSAGE_TYPE_ERROR)
            continue;
        m_pCurrentMsg.reset(msg.release());
        *message = m_pCurrentMsg.get();
        return 0;
    }
}

int IPCController::DoAction(DBusMessage* message)
{
    return Dispatch(message) < 0 ? 1 : 0;
}

int IPCController::Dispatch(DBusMessage* message)
{
    if (!message)
        return -1;
    // Our own reference: the next ReceiveMsg may drop the current message.
    MessagePtr held(dbus_message_ref(message));
    const bool isSignal = dbus_message_get_type(message) == DBUS_MESSAGE_TYPE_SIGNAL;
    const char* iface = dbus_message_get_interface(message);
    auto accepts = [&](IPCAPIBase* api) {
        auto it = m_AcceptedInterface.find(api);
        return it == m_AcceptedInterface.end() || (isSignal && iface && it->second == iface);
    };
    ScopedLock list(&m_ListLock);
    const bool anyone = std::any_of(m_APIList.begin(), m_APIList.end(),
                                    [&](IPCAPIBase* api) { return api && accepts(api); });
    if (!anyone) {
        // Signals sent to our name directly bypass the match rule; only
        // notifications on the interface an object listens to reach it.
        const std::string sender = text(dbus_message_get_sender(message));
        const std::string line = "IPCController::DoAction() --Dropped " +
                                 std::string(isSignal ? "signal " : "message of type ") +
                                 (isSignal ? "" : std::to_string(dbus_message_get_type(message)) + " ") +
                                 text(iface) + "." + text(dbus_message_get_member(message)) + " from " + sender +
                                 ": not a notification this process listens to";
        if (sender == DBUS_SERVICE_DBUS)
            LogScope::Trace(line);
        else
            LogScope::Warning(line);
        return 0;
    }
    const EnvelopeArg arg = ReadEnvelopeArg(message);
    if (arg.status == EnvelopeArg::Oversized)
        LogScope::Error("IPCController::DoAction() --Refused " +
                        DescribeOversized(dbus_message_get_member(message), arg));
    if (arg.status != EnvelopeArg::Ok)
        return -1;
    const std::string name = text(dbus_message_get_member(message));
    const std::string payload(arg.text, arg.size);
    held.reset();

    int delivered = 0;
    for (IPCAPIBase* api : m_APIList) {
        if (!api || !accepts(api))
            continue;
        std::string result;
        api->DoAction(name, payload, result);
        ++delivered;
    }
    return delivered;
}

int IPCController::SendMsg(std::string interfaceName, std::string msgName, std::string payload)
{
    LogScope scope("IPCController::SendMsg()");
    try {
        LogScope::Trace(PayloadLine("IPCController::SendMsg() [Async] --send message = ", payload));
        LogScope::Trace(LogScope::Join("IPCController::SendMsg() [Async] --interface = ", interfaceName,
                                       ", member = ", msgName));
        if (!validTarget("[Async]", "IPCController::SendMsg()", "", interfaceName, msgName, payload))
            return 1;
        ScopedLock held(&m_DbusLock);
        if (!EnsureConnected(true)) {
            LogScope::Error("IPCController::SendMsg() [Async] --Not connected to the bus");
            return 1;
        }
        MessagePtr msg(Bus().message_new_signal(kObjectPath, interfaceName.c_str(), msgName.c_str()));
        if (!msg) {
            LogScope::Error("IPCController::SendMsg() [Async] --Message Null.dbus_message_new_signal");
            return 1;
        }
        DBusMessageIter args;
        dbus_message_iter_init_append(msg.get(), &args);
        const char* arg = payload.c_str();
        if (!Bus().message_iter_append_basic(&args, DBUS_TYPE_STRING, &arg)) {
            LogScope::Error("IPCController::SendMsg() [Async] --Out Of Memory!dbus_message_iter_init_append");
            return 1;
        }
        if (!Bus().connection_send(m_DbusConn.get(), msg.get(), nullptr)) {
            LogScope::Error("IPCController::SendMsg() [Async] --Out Of Memory!dbus_connection_send");
            return 1;
        }
        Bus().connection_flush(m_DbusConn.get());
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
        LogScope::Trace(PayloadLine("IPCController::SendMsg() [Sync] --Send message = ", payload));
        LogScope::Trace(LogScope::Join("IPCController::SendMsg() [Sync] --destination = ", serverName,
                                       ", interface = ", interfaceName, ", member = ", msgName));
        if (serverName.empty() ||
            !validTarget("[Sync]", "IPCController::SendMsg()", serverName, interfaceName, msgName, payload))
            return 1;
        ScopedLock held(&m_DbusLock);
        if (!EnsureConnected(true)) {
            LogScope::Error("IPCController::SendMsg() [Sync] --Not connected to the bus");
            return 1;
        }
        MessagePtr msg(Bus().message_new_method_call(serverName.c_str(), kObjectPath, interfaceName.c_str(),
                                                    msgName.c_str()));
        if (!msg) {
            LogScope::Error("IPCController::SendMsg() [Sync] --Message Null.dbus_message_new_method_call");
            return 1;
        }
        DBusMessageIter args;
        dbus_message_iter_init_append(msg.get(), &args);
        const char* arg = payload.c_str();
        if (!Bus().message_iter_append_basic(&args, DBUS_TYPE_STRING, &arg)) {
            LogScope::Error("IPCController::SendMsg() [Sync] --Out Of Memory!dbus_message_iter_append_basic");
            return 1;
        }
        DBusPendingCall* rawPending = nullptr;
        if (!Bus().connection_send_with_reply(m_DbusConn.get(), msg.get(), &rawPending, -1)) {
            LogScope::Error("IPCController::SendMsg() [Sync] --Time Out!dbus_connection_send_with_reply");
            return 1;
        }
        PendingCallPtr pending(rawPending);
        if (!pending) {
            LogScope::Error("IPCController::SendMsg() [Sync] --Pending Call Null");
            return 1;
        }
        Bus().connection_flush(m_DbusConn.get());
        msg.reset();
        Bus().pending_call_block(pending.get());
        MessagePtr answer(Bus().pending_call_steal_reply(pending.get()));
        pending.reset();
        held.release();
        if (!answer) {
            LogScope::Error("IPCController::SendMsg() [Sync] --Time Out!dbus_connection_send_with_reply");
            return 1;
        }
        const int type = dbus_message_get_type(answer.get());
        if (type == DBUS_MESSAGE_TYPE_ERROR)
            return 3;
        if (type != DBUS_MESSAGE_TYPE_METHOD_RETURN)
            return 1;
        const EnvelopeArg value = ReadEnvelopeArg(answer.get());
        if (value.status == EnvelopeArg::Oversized) {
            LogScope::Error("IPCController::SendMsg() [Sync] --Refused the reply to " +
                            DescribeOversized(msgName.c_str(), value));
            return 1;
        }
        if (value.status != EnvelopeArg::Ok) {
            LogScope::Error("IPCController::SendMsg() [Sync] --Argument is not string!");
            return 1;
        }
        reply.append(value.text, value.size);
        answer.reset();
        LogScope::Trace(PayloadLine("IPCController::SendMsg() [Sync] --IPCController Sync SendMsg Get Reply:", reply));
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
    MessagePtr owned(reply);
    if (!owned)
        return 1;
    ScopedLock held(&m_DbusLock);
    if (!EnsureConnected(true) || !Bus().connection_send(m_DbusConn.get(), owned.get(), nullptr)) {
        LogScope::Error("IPCController::SendMsg() [Reply] --Out Of Memory!dbus_connection_send");
        return 1;
    }
    Bus().connection_flush(m_DbusConn.get());
    return 0;
}

int IPCController::GetSenderCredentials(DBusMessage* message, unsigned long& uid, unsigned long& pid)
{
    const dbus_int32_t slot = credentialsSlot();
    if (!message || slot < 0)
        return 1;
    auto* known = static_cast<SenderCredentials*>(dbus_message_get_data(message, slot));
    if (!known) {
        auto found = std::make_unique<SenderCredentials>();
        const char* sender = dbus_message_get_sender(message);
        ScopedLock held(&m_DbusLock);
        if (sender && EnsureConnected(true)) {
            MessagePtr ask(Bus().message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS,
                                                        "GetConnectionCredentials"));
            if (ask && Bus().message_append_args(ask.get(), DBUS_TYPE_STRING, &sender, DBUS_TYPE_INVALID)) {
                MessagePtr answer(
                    Bus().connection_send_with_reply_and_block(m_DbusConn.get(), ask.get(), 5000, &m_DbusErr));
                ReportError("IPCController::GetSenderCredentials() --GetConnectionCredentials:",
                            LibTAVData::CTAVLog::LOG_WARNING);
                if (answer)
                    *found = parseCredentials(answer.get());
            }
        }
        held.release();
        if (!dbus_message_set_data(message, slot, found.get(), freeCredentials))
            return 1;
        known = found.release();
    }
    if (!known->known)
        return 1;
    uid = known->uid;
    pid = known->pid;
    return 0;
}

} // namespace IPCAPI
