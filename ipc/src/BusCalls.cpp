#include "BusCalls.h"

namespace IPCAPI {

namespace {

// Addresses only: set up when the library is loaded, before any code runs.
constexpr BusCalls kLibdbus = {
    dbus_bus_get,
    dbus_bus_request_name,
    dbus_bus_release_name,
    dbus_bus_add_match,
    dbus_bus_remove_match,
    dbus_connection_get_is_connected,
    dbus_connection_get_socket,
    dbus_connection_get_dispatch_status,
    dbus_connection_read_write,
    dbus_connection_pop_message,
    dbus_connection_flush,
    dbus_connection_send,
    dbus_connection_send_with_reply,
    dbus_connection_send_with_reply_and_block,
    dbus_message_new_signal,
    dbus_message_new_method_call,
    dbus_message_new_method_return,
    dbus_message_new_error,
    dbus_message_append_args,
    dbus_message_iter_append_basic,
    dbus_pending_call_block,
    dbus_pending_call_steal_reply,
};

} // namespace

namespace detail {
std::atomic<const BusCalls*> g_busCalls{&kLibdbus};
}

const BusCalls& LibdbusCalls() { return kLibdbus; }

void UseBusCalls(const BusCalls* calls)
{
    detail::g_busCalls.store(calls ? calls : &kLibdbus, std::memory_order_release);
}

} // namespace IPCAPI
