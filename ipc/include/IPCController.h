// The process's one connection to the D-Bus system bus, shared by every API
// object of the process and reference-counted: the role's bus name, the
// match rule for the peer's signals, the worker thread that delivers
// incoming messages (application side) and the three ways of sending.
//
// Lock order: the list lock may be held while taking the connection lock
// (a handler that sends), never the other way round. Handlers run on the
// worker thread under the list lock: they may send, but must not create or
// destroy API objects. CreateInstance and RemoveAPI are not serialised
// against each other: API objects are created and destroyed on one thread
// at a time.
//
// When the bus connection is lost (the bus restarted, or the bus library
// dropped it over a message larger than it accepts) the controller
// connects again by itself, requests its bus name and adds its match rule
// again: the worker polls for the bus, a send tries at once, and only
// while there is no bus do sends fail.
#ifndef TAV_IPC_IPCCONTROLLER_H
#define TAV_IPC_IPCCONTROLLER_H

#include "IPCAPIBase.h"
#include "TAVLog.h"

#include <dbus/dbus.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace IPCAPI {

class IPCController {
public:
    // Creates the controller on first use when both texts are non-empty.
    // Later callers share it (their names are ignored). Each caller that
    // gets a controller is counted (RemoveAPI gives the count back); null,
    // and not counted, when none exists and a text was empty.
    static IPCController* CreateInstance(std::string busName, std::string matchRule);
    // Unregisters api (0 if it was registered, 1 if not) and drops one count;
    // the last count destroys the controller. 1 when there is no controller.
    static int RemoveAPI(IPCAPIBase* api);

    IPCController(std::string busName, std::string matchRule);
    virtual ~IPCController();

    bool Initial();
    int SetBusName(std::string name);
    int AddMatch(std::string rule);
    // True while the bus refuses the match rule (bad rule, or the bus's
    // limit of rules per connection reached): the process then hears no
    // signal at all.
    bool MatchRefused() const;
    int SetAPI(IPCAPIBase* api);
    // As SetAPI, but api is handed only signals on acceptedInterface (the
    // application objects: their daemon's interface). Anything else
    // addressed to the process, a signal sent to its name directly or a
    // method call, is dropped with a log line before it reaches api.
    int SetAPI(IPCAPIBase* api, const std::string& acceptedInterface);

    bool Start();
    bool End();
    bool IsStart();

    pthread_mutex_t* GetDBusLock();
    // Unlocks the connection lock and returns result.
    int SaftReturn(APIResult result);

    // Waits until a message may be waiting to be taken with ReceiveMsg, at
    // most timeoutMs (-1: no limit): 0 when one may be, 1 when the time ran
    // out or a signal interrupted the wait. Returns at once while messages already read wait in the
    // queue. While there is no bus it keeps trying to connect again.
    int WaitForMessage(int timeoutMs);
    // A descriptor to poll for reading in a host's own loop: the bus
    // connection's, or one that is readable already while messages read
    // from the bus wait to be taken. Ask for it right before each poll
    // (it changes with what waits, and when the controller connects
    // again), never read from it; -1 while there is no bus.
    int GetWaitFD();

    // Takes one method call or signal off the connection: 0 and the message
    // (valid until the next call), or 1 when there is none.
    int ReceiveMsg(DBusMessage** message);
    // Hands message to every registered API object that accepts it (see
    // SetAPI): 0, or 1 when it has no string argument or one over the
    // envelope size limit (refused with a log line).
    int DoAction(DBusMessage* message);

    // Signal: 0 sent, 1 failed.
    int SendMsg(std::string interfaceName, std::string msgName, std::string payload);
    // Blocking method call: 0 with the reply envelope appended to reply,
    // 1 failed or no answer, 3 the peer answered with an error.
    int SendMsg(std::string serverName, std::string interfaceName, std::string msgName,
                std::string payload, std::string& reply);
    // Sends a reply built by a daemon API and drops the caller's reference.
    int SendMsg(DBusMessage* reply);

    // The Unix user id and process id of the connection that sent message,
    // as the bus reports them: 0, or 1 when it cannot tell (the sender has
    // left the bus, no bus). Asked once per message; later calls for the
    // same message answer from what the first one learnt.
    int GetSenderCredentials(DBusMessage* message, unsigned long& uid, unsigned long& pid);

    static IPCController* m_Instance;
    static int m_IPCCounts;

private:
    struct ConnectionRelease {
        void operator()(DBusConnection* c) const;
    };
    struct MessageRelease {
        void operator()(DBusMessage* m) const;
    };
    struct TextRelease {
        void operator()(char* text) const;
    };

    static void* ControllerWorkerProc(void* arg);
    // Sleeps up to usec; returns early once the running flag is cleared.
    void PauseWorker(long usec);
    bool Connected();
    void ReportError(const std::string& prefix, LibTAVData::CTAVLog::LOGLEVEL level);
    int RequestName();
    int InstallMatch();
    // With the connection lock held: true when connected, after connecting
    // again if the connection was lost. urgent (a send) tries at once;
    // polls try at growing intervals while the bus stays away.
    bool EnsureConnected(bool urgent);
    // With the connection lock held: reads what the socket holds into the
    // bus library's queue, a bounded amount per call.
    void DrainSocket();
    // Hands message to the objects that accept it; the number that got it,
    // -1 when it carries no usable envelope.
    int Dispatch(DBusMessage* message);
    // One worker cycle: skips what no object accepts, delivers at most one.
    void DeliverOne();

    std::list<IPCAPIBase*> m_APIList;
    std::unique_ptr<DBusConnection, ConnectionRelease> m_DbusConn;
    DBusError m_DbusErr;
    std::unique_ptr<DBusMessage, MessageRelease> m_pCurrentMsg;
    std::atomic<bool> m_bRunning;
    std::unique_ptr<char, TextRelease> m_pBusName;
    std::unique_ptr<char, TextRelease> m_pMatchRule;
    pthread_t m_WorkerThread;
    pthread_mutex_t m_DbusLock;
    pthread_mutex_t m_ListLock;

    bool m_bWorkerStarted;
    std::mutex m_PauseMutex;
    std::condition_variable m_PauseCond;

    // Registered objects that take signals of one interface only (under the
    // list lock).
    std::map<const IPCAPIBase*, std::string> m_AcceptedInterface;
    // Next reconnection attempt of a poll, and the wait after it.
    std::chrono::steady_clock::time_point m_NextReconnect;
    std::chrono::milliseconds m_ReconnectWait;
    std::atomic<bool> m_bMatchRefused;
    // Always readable (made on first use): what GetWaitFD hands out while
    // messages wait in the queue.
    struct ReadyDescriptor {
        int fd = -1;
        ~ReadyDescriptor();
    };
    ReadyDescriptor m_ReadyFd;
};

} // namespace IPCAPI

#endif
