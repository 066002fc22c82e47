// A teacher application for daemon tests: every notification it hears
// becomes Heard(kind, id, value) — "search" (value: the programs document),
// "lock", "unlock", "kick", "status", "tabnav", "schedule" ("ok"/"failed"),
// "new" (value: the user name).
#ifndef TAV_DAEMONS_TESTS_TEACHERNOTIFICATIONS_H
#define TAV_DAEMONS_TESTS_TEACHERNOTIFICATIONS_H

#include "IIPCTeacherAPICallback.h"

#include <string>

namespace tavtest {

class TeacherNotifications : public IPCAPI::IIPCTeacherAPICallback {
public:
    void SearchProgramCallBack(std::string id, std::string xml) override
    {
        Heard("search", id, xml);
    }
    void ManualLockRemotStudentCallBack(std::string id, int r) override
    {
        Heard("lock", id, std::to_string(r));
    }
    void ManualUnLockRemotStudentCallBack(std::string id, int r) override
    {
        Heard("unlock", id, std::to_string(r));
    }
    void KickOffStudentCallBack(std::string id, int r) override
    {
        Heard("kick", id, std::to_string(r));
    }
    void NotifyStudentStatusChanged(std::string id, int s) override
    {
        Heard("status", id, std::to_string(s));
    }
    void DeployTabNavPolicyCallBack(std::string id, bool ok) override
    {
        Heard("tabnav", id, ok ? "ok" : "failed");
    }
    void DeploySchedulePolicyCallBack(std::string id, bool ok) override
    {
        Heard("schedule", id, ok ? "ok" : "failed");
    }
    void NewStudentCallBack(const IPCAPI::tagStudent_t& s) override
    {
        Heard("new", s.studentID, s.username);
    }

protected:
    // Called on the application's worker thread.
    virtual void Heard(const char* kind, const std::string& id, const std::string& value) = 0;
};

} // namespace tavtest

#endif
