// The teacher application's side of the bus: requests to the teacher daemon
// and, through the registered callback, its notifications. Created connected
// (role 0 of InitializeTAVLibrary); requests may come from any host thread.
//
// Blocking requests return 0 when the daemon answered and put its verdict in
// ret; they return 1 for any failure and then leave every out-argument as
// the caller passed it. Signal requests return the send result; those that
// act on students are answered per student through the callback.
#ifndef TAV_IPC_IPCTEACHERAPI_H
#define TAV_IPC_IPCTEACHERAPI_H

#include "IIPCTeacherAPICallback.h"
#include "IPCAPIBase.h"
#include "ParaXml.h"

#include <list>
#include <string>

namespace LibTAVData {
class CLockScheduleData;
}

namespace IPCAPI {

class TeacherMessageNotify;

class IPCTeacherAPI : public IPCAPIBase {
public:
    IPCTeacherAPI();
    virtual ~IPCTeacherAPI();

    // Delivered by the controller's worker thread; handed to the notify
    // object.
    int DoAction(std::string message, std::string payload, std::string& result) override;

    // Joins the process's controller and starts its worker unless it runs:
    // 0, or 1 (logged), also when the bus refused the match rule, so that no
    // notification can arrive. The constructor runs it; calling it again asks once more.
    int Initialize();
    // Stops delivery to this object, then drops the notify object.
    int UnInitialize();
    // Null switches notifications off. 1 (logged) after UnInitialize.
    int RegisterCallBack(IIPCTeacherAPICallback* callback);

    int UpdateTeacherInfo(std::string teacherInfoXML, int& ret);
    int StartController(int& ret);
    int StopController(int& ret);
    int CancelOperation(int oid, int& ret);
    // students is replaced only when the answer carries entries.
    int GetStudentList(std::list<tagStudent_t>& students, int& ret);
    // student becomes the first record of the answer, if it has one.
    int GetStudentStatus(std::string studentID, tagStudent_t& student, int& ret);
    // The answer's "lockPolicy" text is loaded into policy.
    int GetStudentLockPolicy(std::string studentID, LibTAVData::CLockScheduleData& policy,
                             int& ret);
    int ChangePassword(std::string oldPassword, std::string newPassword, int& ret);
    int ImportCertificate(std::string path, int& ret);
    int VerifyPassword(std::string path, std::string password, int& ret);
    int VerifyPassword(std::string password, int& ret);
    int VerifyCertificate(std::string path, int& ret);
    int VerifyCertificate(int& ret);

    // Broadcast to every teacher application ("POSTMESSAGE").
    int PostMessage(int id, std::string text);
    // Answered per student; opid is set to this request's operation id even
    // when sending fails (CancelOperation stops the search).
    int SearchProgram(std::string targetFolder, int& opid);
    int DeployTabNavPolicy(std::string studentID, std::string tabNavPolicyXML);
    int DeployTabNavPolicy(std::list<std::string> studentIDs, std::string tabNavPolicyXML);
    int DeploySchedulePolicy(std::string studentID, std::string schedulePolicyXML);
    int DeploySchedulePolicy(std::list<std::string> studentIDs, std::string schedulePolicyXML);
    int KickOffStudent(std::string studentID);
    int ControlNewStudentConnect(std::string studentID, bool allow);
    int ManualUnlockRemoteStudent(std::string studentID);
    int ManualLockRemotStudent(std::string studentID, std::string lockPolicy);
    // Retired: nothing is sent, the result is always 1.
    int ManualUnlockRemoteStudent(std::list<std::string> studentIDs);
    int ManualLockRemotStudent(std::list<std::string> studentIDs, std::string lockPolicy);

private:
    IIPCTeacherAPICallback* m_pCallBack;    // the host's; not owned
    TeacherMessageNotify* m_pMessageNotify; // owned
};

} // namespace IPCAPI

#endif
