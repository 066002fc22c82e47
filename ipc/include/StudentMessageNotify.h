// Turns the student daemon's notifications into calls of the host's
// IIPCStudentAPICallback. Owned by an IPCStudentAPI; runs on the IPC worker
// thread.
#ifndef TAV_IPC_STUDENTMESSAGENOTIFY_H
#define TAV_IPC_STUDENTMESSAGENOTIFY_H

#include "IIPCStudentAPICallback.h"

#include <atomic>
#include <string>

namespace IPCAPI {

class StudentMessageNotify {
public:
    StudentMessageNotify();
    virtual ~StudentMessageNotify();

    // Null switches notifications off. Register before the first
    // notification can arrive; unregister only after the API object is
    // uninitialised.
    void SetCallBack(IIPCStudentAPICallback* callback);

    // Runs the handler of message (exact, case-sensitive name) and returns
    // its result; 1 for a name it does not know. result is never written.
    int DoAction(std::string message, std::string payload, std::string& result);

    // One handler per notification: 0 when the envelope carried everything
    // expected and a callback took it; 1 otherwise. The callback is called
    // whenever the envelope parses and one is registered, even with
    // parameters missing.
    int ConnectTeacherCallBack(std::string payload, std::string& result);
    int SearchTeacherCallBack(std::string payload, std::string& result);
    int NotifyLockStatusChanged(std::string payload, std::string& result);
    int NotifyTabNavPolicyChanged(std::string payload, std::string& result);
    int NotifySchedulePolicyChanged(std::string payload, std::string& result);
    int NotifyTeacherStatusChanged(std::string payload, std::string& result);
    int SearchLocalProgramCallBack(std::string payload, std::string& result);
    int OnMessage(std::string payload, std::string& result);

private:
    // Written by the host, read by the worker thread.
    std::atomic<IIPCStudentAPICallback*> m_pCallBack;
};

} // namespace IPCAPI

#endif
