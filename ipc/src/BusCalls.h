// The bus library behind one table (internal). Every call of the controller
// and the daemon end that talks to the bus, or makes, fills or sends a
// message, goes through Bus(); reading a message already in hand, checking
// names and handling DBusError go straight to the bus library.
//
// In the library the table holds the bus library's own functions, so a call
// costs one indirect jump. A test installs a copy that fails chosen calls
// (out of memory, no pending call, no connection, an unexpected reply), to
// reach the branches a working bus never takes.
#ifndef TAV_IPC_BUSCALLS_H
#define TAV_IPC_BUSCALLS_H

#include <dbus/dbus.h>

#include <atomic>

namespace IPCAPI {

struct BusCalls {
    DBusConnection* (*bus_get)(DBusBusType type, DBusError* error);
    int (*bus_request_name)(DBusConnection* c, const char* name, unsigned int flags,
                            DBusError* error);
    int (*bus_release_name)(DBusConnection* c, const char* name, DBusError* error);
    void (*bus_add_match)(DBusConnection* c, const char* rule, DBusError* error);
    void (*bus_remove_match)(DBusConnection* c, const char* rule, DBusError* error);

    dbus_bool_t (*connection_get_is_connected)(DBusConnection* c);
    dbus_bool_t (*connection_get_socket)(DBusConnection* c, int* fd);
    DBusDispatchStatus (*connection_get_dispatch_status)(DBusConnection* c);
    dbus_bool_t (*connection_read_write)(DBusConnection* c, int timeoutMs);
    DBusMessage* (*connection_pop_message)(DBusConnection* c);
    void (*connection_flush)(DBusConnection* c);
    dbus_bool_t (*connection_send)(DBusConnection* c, DBusMessage* m, dbus_uint32_t* serial);
    dbus_bool_t (*connection_send_with_reply)(DBusConnection* c, DBusMessage* m,
                                              DBusPendingCall** pending, int timeoutMs);
    DBusMessage* (*connection_send_with_reply_and_block)(DBusConnection* c, DBusMessage* m,
                                                         int timeoutMs, DBusError* error);

    DBusMessage* (*message_new_signal)(const char* path, const char* iface, const char* member);
    DBusMessage* (*message_new_method_call)(const char* destination, const char* path,
                                            const char* iface, const char* member);
    DBusMessage* (*message_new_method_return)(DBusMessage* call);
    DBusMessage* (*message_new_error)(DBusMessage* call, const char* name, const char* text);
    dbus_bool_t (*message_append_args)(DBusMessage* m, int firstType, ...);
    dbus_bool_t (*message_iter_append_basic)(DBusMessageIter* iter, int type, const void* value);

    void (*pending_call_block)(DBusPendingCall* pending);
    DBusMessage* (*pending_call_steal_reply)(DBusPendingCall* pending);
};

// The bus library's own functions.
const BusCalls& LibdbusCalls();

// For the whole process from now on; null goes back to LibdbusCalls(). The
// table must outlive its use.
void UseBusCalls(const BusCalls* calls);

namespace detail {
extern std::atomic<const BusCalls*> g_busCalls;
}

// The calls in use.
inline const BusCalls& Bus() { return *detail::g_busCalls.load(std::memory_order_acquire); }

} // namespace IPCAPI

#endif
