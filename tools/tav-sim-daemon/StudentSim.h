// The simulated student daemon: one student machine with its lock state and
// connected teacher, answering the student applications' requests.
#ifndef TAV_TOOLS_STUDENTSIM_H
#define TAV_TOOLS_STUDENTSIM_H

#include "SimDaemon.h"

namespace simdaemon {

class StudentSim : public SimDaemon {
public:
    // Teacher states in the notifications.
    static constexpr int kDisconnected = 0;
    static constexpr int kConnected = 1;

    StudentSim(DaemonPort& port, const SimOptions& options);

    bool Command(const std::string& line, std::string& out) override;
    std::string CommandHelp() const override;

protected:
    bool Handle(Request& request, IPCAPI::CIntfData& reply) override;

private:
    void LockChanged(bool locked);
    void TeacherState(const std::string& teacher, int state, int delayMs = 0);
    void Changed(const char* note);

    bool m_locked;
    std::string m_teacher; // connected teacher, empty when none
    std::string m_tabNavPolicy, m_schedulePolicy, m_studentInfo, m_settings;
};

} // namespace simdaemon

#endif
