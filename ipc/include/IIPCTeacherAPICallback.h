// What a teacher-side application implements to hear from the teacher
// daemon: one notification per student for the requests that acted on
// students, new students, state changes and posted messages. Calls arrive on
// the IPC worker thread; a callback may send requests (for example
// ControlNewStudentConnect from NewStudentCallBack) but must not create or
// destroy API objects. The host owns the object and keeps it alive while
// registered.
#ifndef TAV_IPC_IIPCTEACHERAPICALLBACK_H
#define TAV_IPC_IIPCTEACHERAPICALLBACK_H

#include "ParaXml.h"

#include <string>

namespace IPCAPI {

class IIPCTeacherAPICallback {
public:
    // One student's search result: a programs document, empty when the
    // student reported a failure.
    virtual void SearchProgramCallBack(std::string studentID, std::string programsXML) = 0;
    virtual void ManualLockRemotStudentCallBack(std::string studentID, int result) = 0;
    virtual void ManualUnLockRemotStudentCallBack(std::string studentID, int result) = 0;
    virtual void KickOffStudentCallBack(std::string studentID, int result) = 0;
    virtual void NotifyStudentStatusChanged(std::string studentID, int status) = 0;
    virtual void DeployTabNavPolicyCallBack(std::string studentID, bool success) = 0;
    virtual void DeploySchedulePolicyCallBack(std::string studentID, bool success) = 0;
    // A student asks to join; answer with ControlNewStudentConnect. The
    // record lives only for the call: copy what you keep.
    virtual void NewStudentCallBack(const tagStudent_t& student) = 0;
    // A message posted with PostMessage.
    virtual void OnMessage(int id, std::string text) { (void)id, (void)text; }

protected:
    // Never deleted through this interface (it has no virtual destructor).
    ~IIPCTeacherAPICallback() = default;
};

} // namespace IPCAPI

#endif
