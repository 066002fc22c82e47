// Locks shared by the device-context classes (internal, not installed).
#ifndef TAV_DEVICECONTEXT_LOCKS_H
#define TAV_DEVICECONTEXT_LOCKS_H

#include <mutex>

namespace IPCAPI {
namespace detail {

// Guards the route of a press: DCSUtility::m_Instance, the registered API
// object, the API objects' callbacks and the count of deliveries running.
// Never held while host code or the SDK runs.
__attribute__((visibility("hidden"))) std::mutex& RouteMutex();

// Serialises opening and closing the SDK connection. Recursive: closing
// runs DCSUtility::UnInitial, which a host may also call on its own.
__attribute__((visibility("hidden"))) std::recursive_mutex& SdkMutex();

} // namespace detail
} // namespace IPCAPI

#endif
