// What travels over the controller's connection: waiting for and taking
// messages, handing them to the registered objects, and the three ways of
// sending (signal, blocking call, reply).
#include "IPCController.h"

#include "BusCalls.h"
#include "ControllerInternal.h"
#include "DBusHandles.h"
#include "IPCLogging.h"
#include "IPCNames.h"
#include "InboundMessage.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <thread>

namespace IPCAPI {

using namespace detail;

namespace {

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

} // namespace

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
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(forever ? 0 : timeoutMs);
    for (;;) {
        int fd = -1;
        {
            ScopedLock lock(&m_DbusLock);
            if (EnsureConnected(false)) {
                // Read but not yet taken: nothing more will arrive on the
                // socket for it.
                if (Bus().connection_get_dispatch_status(m_DbusConn.get()) ==
                    DBUS_DISPATCH_DATA_REMAINS)
                    return 0;
                if (!Bus().connection_get_socket(m_DbusConn.get(), &fd))
                    fd = -1;
            }
        }
        long left = -1;
        if (!forever) {
            left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                       .count();
            if (left < 0)
                left = 0;
        }
        if (fd < 0) {
            // No bus: try again at the reconnection pace.
            const long pause = forever ? kFirstReconnectWait.count()
                                       : std::min<long>(left, kFirstReconnectWait.count());
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

int IPCController::DoAction(DBusMessage* message) { return Dispatch(message) < 0 ? 1 : 0; }

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
        const std::string line =
            "IPCController::DoAction() --Dropped " +
            std::string(isSignal ? "signal " : "message of type ") +
            (isSignal ? "" : std::to_string(dbus_message_get_type(message)) + " ") + text(iface) +
            "." + text(dbus_message_get_member(message)) + " from " + sender +
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
        LogScope::Trace(LogScope::Join("IPCController::SendMsg() [Async] --interface = ",
                                       interfaceName, ", member = ", msgName));
        if (!validTarget("[Async]", "IPCController::SendMsg()", "", interfaceName, msgName,
                         payload))
            return 1;
        ScopedLock held(&m_DbusLock);
        if (!EnsureConnected(true)) {
            LogScope::Error("IPCController::SendMsg() [Async] --Not connected to the bus");
            return 1;
        }
        MessagePtr msg(
            Bus().message_new_signal(kObjectPath, interfaceName.c_str(), msgName.c_str()));
        if (!msg) {
            LogScope::Error(
                "IPCController::SendMsg() [Async] --Message Null.dbus_message_new_signal");
            return 1;
        }
        DBusMessageIter args;
        dbus_message_iter_init_append(msg.get(), &args);
        const char* arg = payload.c_str();
        if (!Bus().message_iter_append_basic(&args, DBUS_TYPE_STRING, &arg)) {
            LogScope::Error(
                "IPCController::SendMsg() [Async] --Out Of Memory!dbus_message_iter_init_append");
            return 1;
        }
        if (!Bus().connection_send(m_DbusConn.get(), msg.get(), nullptr)) {
            LogScope::Error(
                "IPCController::SendMsg() [Async] --Out Of Memory!dbus_connection_send");
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
        LogScope::Trace(
            LogScope::Join("IPCController::SendMsg() [Sync] --destination = ", serverName,
                           ", interface = ", interfaceName, ", member = ", msgName));
        if (serverName.empty() || !validTarget("[Sync]", "IPCController::SendMsg()", serverName,
                                               interfaceName, msgName, payload))
            return 1;
        ScopedLock held(&m_DbusLock);
        if (!EnsureConnected(true)) {
            LogScope::Error("IPCController::SendMsg() [Sync] --Not connected to the bus");
            return 1;
        }
        MessagePtr msg(Bus().message_new_method_call(serverName.c_str(), kObjectPath,
                                                     interfaceName.c_str(), msgName.c_str()));
        if (!msg) {
            LogScope::Error(
                "IPCController::SendMsg() [Sync] --Message Null.dbus_message_new_method_call");
            return 1;
        }
        DBusMessageIter args;
        dbus_message_iter_init_append(msg.get(), &args);
        const char* arg = payload.c_str();
        if (!Bus().message_iter_append_basic(&args, DBUS_TYPE_STRING, &arg)) {
            LogScope::Error(
                "IPCController::SendMsg() [Sync] --Out Of Memory!dbus_message_iter_append_basic");
            return 1;
        }
        DBusPendingCall* rawPending = nullptr;
        if (!Bus().connection_send_with_reply(m_DbusConn.get(), msg.get(), &rawPending, -1)) {
            LogScope::Error(
                "IPCController::SendMsg() [Sync] --Time Out!dbus_connection_send_with_reply");
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
            LogScope::Error(
                "IPCController::SendMsg() [Sync] --Time Out!dbus_connection_send_with_reply");
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
        LogScope::Trace(PayloadLine(
            "IPCController::SendMsg() [Sync] --IPCController Sync SendMsg Get Reply:", reply));
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

} // namespace IPCAPI
