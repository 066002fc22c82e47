// What a student-side application implements to hear from the student
// daemon. Calls arrive on the IPC worker thread, never on the host's main or
// GUI thread; a callback may send requests but must not create or destroy
// API objects. The host owns the object and keeps it alive while registered.
#ifndef TAV_IPC_IIPCSTUDENTAPICALLBACK_H
#define TAV_IPC_IIPCSTUDENTAPICALLBACK_H

#include <list>
#include <string>

namespace IPCAPI {

class IIPCStudentAPICallback {
public:
    // Answer to ConnectTeacher: the teacher id and the daemon's result code.
    virtual void ConnectTeacherCallBack(std::string teacherID, int result) = 0;
    // Answer to SearchTeacher: the teachers found, in the order sent.
    virtual void SearchTeacherCallBack(const std::list<std::string>& teachers) = 0;
    virtual void NotifyLockStatusChanged(bool locked) = 0;
    virtual void NotifyTabNavPolicyChanged() = 0;
    virtual void NotifySchedulePolicyChanged() = 0;
    virtual void NotifyTeacherStatusChanged(std::string teacherID, int state) = 0;
    // Result of SearchLocalProgram: a programs document.
    virtual void SearchLocalProgramCallBack(std::string programsXML) = 0;
    // A message posted with PostMessage.
    virtual void OnMessage(int id, std::string text) { (void)id, (void)text; }

protected:
    // Never deleted through this interface (it has no virtual destructor).
    ~IIPCStudentAPICallback() = default;
};

} // namespace IPCAPI

#endif
