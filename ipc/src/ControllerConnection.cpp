// The controller's bus connection: getting it, the bus name and match rule
// (again after the bus came back), reading the socket, and what the bus
// says about a sender.
#include "IPCController.h"

#include "BusCalls.h"
#include "ControllerInternal.h"
#include "DBusHandles.h"
#include "IPCLogging.h"
#include "IPCNames.h"
#include "InboundMessage.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace IPCAPI {

using namespace detail;

namespace {

// What the bus told about one sender, kept with the message.
struct SenderCredentials {
    bool known = false;
    unsigned long uid = 0;
    unsigned long pid = 0;
};

void freeCredentials(void* data) { delete static_cast<SenderCredentials*>(data); }

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
    if (!dbus_message_iter_init(reply, &top) ||
        dbus_message_iter_get_arg_type(&top) != DBUS_TYPE_ARRAY)
        return c;
    dbus_message_iter_recurse(&top, &dict);
    for (; dbus_message_iter_get_arg_type(&dict) == DBUS_TYPE_DICT_ENTRY;
         dbus_message_iter_next(&dict)) {
        DBusMessageIter entry, variant;
        dbus_message_iter_recurse(&dict, &entry);
        if (dbus_message_iter_get_arg_type(&entry) != DBUS_TYPE_STRING)
            continue;
        const char* key = nullptr;
        dbus_message_iter_get_basic(&entry, &key);
        if (!dbus_message_iter_next(&entry) ||
            dbus_message_iter_get_arg_type(&entry) != DBUS_TYPE_VARIANT)
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
    std::unique_ptr<DBusConnection, ConnectionRelease> conn(
        Bus().bus_get(DBUS_BUS_SYSTEM, &m_DbusErr));
    const bool failed = dbus_error_is_set(&m_DbusErr);
    ReportError("IPCController::Initial() --Name Error dbus_bus_get:",
                LibTAVData::CTAVLog::LOG_ERROR);
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
        LogScope::Warning(
            "IPCController::SetBusName() --Name Error: no connection or invalid name");
        return 1;
    }
    const int ret = Bus().bus_request_name(m_DbusConn.get(), m_pBusName.get(),
                                           DBUS_NAME_FLAG_REPLACE_EXISTING, &m_DbusErr);
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
        ReportError("IPCController::AddMatch() --Match Error dbus_bus_add_match:",
                    LibTAVData::CTAVLog::LOG_ERROR);
        return 1;
    }
    return 0;
}

bool IPCController::MatchRefused() const { return m_bMatchRefused; }

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
        if (waiting > 0 && (!Bus().connection_get_is_connected(conn) ||
                            ioctl(fd, FIONREAD, &left) != 0 || left == waiting))
            return;
    }
}

int IPCController::GetSenderCredentials(DBusMessage* message, unsigned long& uid,
                                        unsigned long& pid)
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
            MessagePtr ask(Bus().message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS,
                                                         DBUS_INTERFACE_DBUS,
                                                         "GetConnectionCredentials"));
            if (ask && Bus().message_append_args(ask.get(), DBUS_TYPE_STRING, &sender,
                                                 DBUS_TYPE_INVALID)) {
                MessagePtr answer(Bus().connection_send_with_reply_and_block(
                    m_DbusConn.get(), ask.get(), 5000, &m_DbusErr));
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
