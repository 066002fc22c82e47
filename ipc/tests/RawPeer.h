// A bus peer written with plain libdbus, independent of our controller, so
// that a mistake made the same way on both sides cannot hide.
#ifndef TAV_IPC_TESTS_RAWPEER_H
#define TAV_IPC_TESTS_RAWPEER_H

#include <dbus/dbus.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace rawpeer {

// A private connection to the system bus the test main started.
inline DBusConnection* Connect(const char* name = nullptr)
{
    DBusError err;
    dbus_error_init(&err);
    DBusConnection* c = dbus_bus_get_private(DBUS_BUS_SYSTEM, &err);
    if (!c) {
        dbus_error_free(&err);
        return nullptr;
    }
    dbus_connection_set_exit_on_disconnect(c, FALSE);
    if (name) {
        int r = dbus_bus_request_name(c, name, DBUS_NAME_FLAG_DO_NOT_QUEUE, &err);
        dbus_error_free(&err);
        if (r != DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER) {
            dbus_connection_close(c);
            dbus_connection_unref(c);
            return nullptr;
        }
    }
    return c;
}

inline void Close(DBusConnection* c)
{
    if (!c)
        return;
    dbus_connection_close(c);
    dbus_connection_unref(c);
}

inline bool AddMatch(DBusConnection* c, const std::string& rule)
{
    DBusError err;
    dbus_error_init(&err);
    dbus_bus_add_match(c, rule.c_str(), &err);
    const bool ok = !dbus_error_is_set(&err);
    dbus_error_free(&err);
    return ok;
}

// Waits up to timeoutMs for a message accepted by want (others are dropped);
// the caller unrefs the result.
inline DBusMessage* Next(DBusConnection* c, const std::function<bool(DBusMessage*)>& want,
                         int timeoutMs = 10000)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        dbus_connection_read_write(c, 20);
        while (DBusMessage* m = dbus_connection_pop_message(c)) {
            if (want(m))
                return m;
            dbus_message_unref(m);
        }
    }
    return nullptr;
}

inline bool IsCall(DBusMessage* m)
{
    return dbus_message_get_type(m) == DBUS_MESSAGE_TYPE_METHOD_CALL;
}
inline bool IsSignalOn(DBusMessage* m, const char* iface)
{
    return dbus_message_get_type(m) == DBUS_MESSAGE_TYPE_SIGNAL && dbus_message_get_interface(m) &&
           std::string(dbus_message_get_interface(m)) == iface;
}

inline std::string StringArg(DBusMessage* m)
{
    DBusMessageIter it;
    if (!dbus_message_iter_init(m, &it) || dbus_message_iter_get_arg_type(&it) != DBUS_TYPE_STRING)
        return "<no string argument>";
    const char* s = nullptr;
    dbus_message_iter_get_basic(&it, &s);
    return s;
}

inline std::string Str(const char* s) { return s ? s : ""; }

// Sends a signal with one string argument (or none when arg is null).
inline bool Signal(DBusConnection* c, const char* iface, const char* member, const char* arg,
                   const char* path = "/orvelix/message/object")
{
    DBusMessage* m = dbus_message_new_signal(path, iface, member);
    if (arg)
        dbus_message_append_args(m, DBUS_TYPE_STRING, &arg, DBUS_TYPE_INVALID);
    const bool ok = dbus_connection_send(c, m, nullptr);
    dbus_connection_flush(c);
    dbus_message_unref(m);
    return ok;
}

// Returns once everything peer sent before is in the incoming queue of this
// process's shared connection (the controller's): a round trip of the peer
// to the bus, then one of the shared connection, whose answer the bus
// queues behind what it routed to us before.
inline void Settle(DBusConnection* peer)
{
    dbus_bus_name_has_owner(peer, "tav.settle", nullptr);
    if (DBusConnection* own = dbus_bus_get(DBUS_BUS_SYSTEM, nullptr)) {
        dbus_bus_name_has_owner(own, "tav.settle", nullptr);
        dbus_connection_unref(own);
    }
}

// Sends a signal with one string argument to one destination only: it
// reaches that peer whatever its match rules.
inline bool UnicastSignal(DBusConnection* c, const char* destination, const char* iface,
                          const char* member, const char* arg)
{
    DBusMessage* m = dbus_message_new_signal("/orvelix/message/object", iface, member);
    dbus_message_set_destination(m, destination);
    dbus_message_append_args(m, DBUS_TYPE_STRING, &arg, DBUS_TYPE_INVALID);
    const bool ok = dbus_connection_send(c, m, nullptr);
    dbus_connection_flush(c);
    dbus_message_unref(m);
    return ok;
}

// A method call with one string argument nobody waits for; iface may be
// null.
inline void CallNoReply(DBusConnection* c, const char* destination, const char* iface,
                        const char* member, const char* arg)
{
    DBusMessage* m =
        dbus_message_new_method_call(destination, "/orvelix/message/object", iface, member);
    dbus_message_append_args(m, DBUS_TYPE_STRING, &arg, DBUS_TYPE_INVALID);
    dbus_connection_send(c, m, nullptr);
    dbus_connection_flush(c);
    dbus_message_unref(m);
}

// Answers a method call with a method return holding arg (none when null).
inline void Reply(DBusConnection* c, DBusMessage* call, const char* arg)
{
    DBusMessage* r = dbus_message_new_method_return(call);
    if (arg)
        dbus_message_append_args(r, DBUS_TYPE_STRING, &arg, DBUS_TYPE_INVALID);
    dbus_connection_send(c, r, nullptr);
    dbus_connection_flush(c);
    dbus_message_unref(r);
}

inline void ReplyError(DBusConnection* c, DBusMessage* call, const char* name, const char* text)
{
    DBusMessage* r = dbus_message_new_error(call, name, text);
    dbus_connection_send(c, r, nullptr);
    dbus_connection_flush(c);
    dbus_message_unref(r);
}

} // namespace rawpeer

#endif
