// Owning handles for the bus library's reference-counted objects and a
// scoped pthread lock (internal): no failure branch releases by hand.
#ifndef TAV_IPC_DBUSHANDLES_H
#define TAV_IPC_DBUSHANDLES_H

#include <dbus/dbus.h>
#include <pthread.h>

#include <memory>

namespace IPCAPI {

struct MessageUnref {
    void operator()(DBusMessage* m) const { dbus_message_unref(m); }
};
struct PendingCallUnref {
    void operator()(DBusPendingCall* p) const { dbus_pending_call_unref(p); }
};
struct ConnectionUnref {
    void operator()(DBusConnection* c) const { dbus_connection_unref(c); }
};

using MessagePtr = std::unique_ptr<DBusMessage, MessageUnref>;
using PendingCallPtr = std::unique_ptr<DBusPendingCall, PendingCallUnref>;
using ConnectionPtr = std::unique_ptr<DBusConnection, ConnectionUnref>;

// Holds a pthread mutex for a scope; release() ends it early.
class ScopedLock {
public:
    explicit ScopedLock(pthread_mutex_t* m) : m_mutex(m) { pthread_mutex_lock(m_mutex); }
    ~ScopedLock() { release(); }
    void release()
    {
        if (m_held) {
            m_held = false;
            pthread_mutex_unlock(m_mutex);
        }
    }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    pthread_mutex_t* m_mutex;
    bool m_held = true;
};

} // namespace IPCAPI

#endif
