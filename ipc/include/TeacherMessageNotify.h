// Turns the teacher daemon's notifications into calls of the host's
// IIPCTeacherAPICallback. Owned by an IPCTeacherAPI; runs on the IPC worker
// thread.
#ifndef TAV_IPC_TEACHERMESSAGENOTIFY_H
#define TAV_IPC_TEACHERMESSAGENOTIFY_H

#include "IIPCTeacherAPICallback.h"

#include <atomic>
#include <string>

namespace IPCAPI {

class TeacherMessageNotify {
public:
    TeacherMessageNotify();
    virtual ~TeacherMessageNotify();

    // Null switches notifications off. Register before the first
    // notification can arrive; unregister only after the API object is
    // uninitialised.
    void SetCallBack(IIPCTeacherAPICallback* callback);

    // Runs the handler of message (exact, case-sensitive name) and returns
    // its result; 1 for a name it does not know. result is never written.
    int DoAction(std::string message, std::string payload, std::string& result);

    // One handler per notification: 0 when the envelope carried everything
    // expected and a callback took it; 1 otherwise. The student id is the
    // envelope's student-id field.
    int SearchProgramCallBack(std::string payload, std::string& result);
    int ManualLockRemotStudentCallBack(std::string payload, std::string& result);
    int ManualUnLockRemotStudentCallBack(std::string payload, std::string& result);
    int KickOffStudentCallBack(std::string payload, std::string& result);
    int NotifyStudentStatusChanged(std::string payload, std::string& result);
    int DeployTabNavPolicyCallBack(std::string payload, std::string& result);
    int DeploySchedulePolicyCallBack(std::string payload, std::string& result);
    int NewStudentCallBack(std::string payload, std::string& result);
    int OnMessage(std::string payload, std::string& result);

private:
    // Written by the host, read by the worker thread.
    std::atomic<IIPCTeacherAPICallback*> m_pCallBack;
};

} // namespace IPCAPI

#endif
