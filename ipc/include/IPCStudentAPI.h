// The student application's side of the bus: requests to the student daemon
// and, through the registered callback, its notifications. Created connected
// (role 1 of InitializeTAVLibrary); requests may come from any host thread.
//
// Blocking requests return 0 when the daemon answered and put its verdict in
// ret; they return 1 for any failure and then leave every out-argument as
// the caller passed it. Signal requests return the send result.
#ifndef TAV_IPC_IPCSTUDENTAPI_H
#define TAV_IPC_IPCSTUDENTAPI_H

#include "IIPCStudentAPICallback.h"
#include "IPCAPIBase.h"

#include <string>

namespace IPCAPI {

class StudentMessageNotify;

class IPCStudentAPI : public IPCAPIBase {
public:
    IPCStudentAPI();
    virtual ~IPCStudentAPI();

    // Delivered by the controller's worker thread; handed to the notify
    // object.
    int DoAction(std::string message, std::string payload, std::string& result) override;

    // Joins the process's controller and starts its worker: 0, or 1 (logged),
    // also when the bus refused the match rule, so that no notification can
    // arrive. The constructor runs it; calling it again asks once more.
    int Initialize();
    // Stops delivery to this object, then drops the notify object.
    int UnInitialize();
    // Null switches notifications off. 1 (logged) after UnInitialize.
    int RegisterCallBack(IIPCStudentAPICallback* callback);

    // Broadcast to every student application ("POSTMESSAGE").
    int PostMessage(int id, std::string text);
    // Results come back through SearchLocalProgramCallBack; opid is set to
    // this request's operation id even when sending fails.
    int SearchLocalProgram(std::string targetFolder, int& opid);
    int SearchTeacher();
    int ConnectTeacher(std::string teacherID);

    int SwitchToNormalOS(int& ret);
    int CancelOperation(int oid, int& ret);
    int VerifyUserPassword(std::string userName, std::string password, int& ret);
    // teacherID is left as passed when the answer names no teacher.
    int GetConnectedTeacher(std::string& teacherID, int& ret);
    int HardWareControl(std::string xml, int& ret);
    int SaveStudentInfo(std::string xml, int& ret);
    int SaveLocalSchedulePolicy(std::string xml, int& ret);
    int SaveLocalTabNavPolicy(std::string xml, int& ret);
    int DisconnectStudent(int& ret);
    int ManualUnLockLocalStudent(int& ret);
    int ManualLockLocalStudent(std::string lockPolicy, int& ret);

private:
    IIPCStudentAPICallback* m_pCallBack;    // the host's; not owned
    StudentMessageNotify* m_pMessageNotify; // owned
};

} // namespace IPCAPI

#endif
