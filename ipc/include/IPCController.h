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
#ifndef TAV_IPC_IPCCONTROLLER_H
#define TAV_IPC_IPCCONTROLLER_H

#include "IPCAPIBase.h"
#include "TAVLog.h"

#include <dbus/dbus.h>
#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <list>
#include <mutex>
#include <string>

namespace IPCAPI {

class IPCController {
public:
    // Counts the caller; creates the controller on first use when both texts
    // are non-empty. Later callers share it (their names are ignored).
    // Null when none exists and a text was empty.
    static IPCController* CreateInstance(std::string busName, std::string matchRule);
    // Unregisters api (0 if it was registered, 1 if not) and drops one count;
    // the last count destroys the controller. 1 when there is no controller.
    static int RemoveAPI(IPCAPIBase* api);

    IPCController(std::string busName, std::string matchRule);
    virtual ~IPCController();

    bool Initial();
    int SetBusName(std::string name);
    int AddMatch(std::string rule);
    int SetAPI(IPCAPIBase* api);

    bool Start();
    bool End();
    bool IsStart();

    pthread_mutex_t* GetDBusLock();
    // Unlocks the connection lock and returns result.
    int SaftReturn(APIResult result);

    // Takes one method call or signal off the connection: 0 and the message
    // (valid until the next call), or 1 when there is none.
    int ReceiveMsg(DBusMessage** message);
    // Hands message to every registered API object: 0, or 1 when it has no
    // string argument.
    int DoAction(DBusMessage* message);

    // Signal: 0 sent, 1 failed.
    int SendMsg(std::string interfaceName, std::string msgName, std::string payload);
    // Blocking method call: 0 with the reply envelope appended to reply,
    // 1 failed or no answer, 3 the peer answered with an error.
    int SendMsg(std::string serverName, std::string interfaceName, std::string msgName,
                std::string payload, std::string& reply);
    // Sends a reply built by a daemon API and drops the caller's reference.
    int SendMsg(DBusMessage* reply);

    static IPCController* m_Instance;
    static int m_IPCCounts;

private:
    static void* ControllerWorkerProc(void* arg);
    // Sleeps up to usec; returns early once the running flag is cleared.
    void PauseWorker(long usec);
    bool Connected();
    void ReportError(const std::string& prefix, LibTAVData::CTAVLog::LOGLEVEL level);

    std::list<IPCAPIBase*> m_APIList;
    DBusConnection* m_DbusConn;
    DBusError m_DbusErr;
    DBusMessage* m_pCurrentMsg;
    std::atomic<bool> m_bRunning;
    char* m_pBusName;
    char* m_pMatchRule;
    pthread_t m_WorkerThread;
    pthread_mutex_t m_DbusLock;
    pthread_mutex_t m_ListLock;

    bool m_bWorkerStarted;
    std::mutex m_PauseMutex;
    std::condition_variable m_PauseCond;
};

} // namespace IPCAPI

#endif
