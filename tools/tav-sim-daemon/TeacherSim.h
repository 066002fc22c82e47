// The simulated teacher daemon: a class of students, answers to the
// teacher applications' requests and one notification per student for
// every request that acts on students.
#ifndef TAV_TOOLS_TEACHERSIM_H
#define TAV_TOOLS_TEACHERSIM_H

#include "SimDaemon.h"

#include <map>
#include <vector>

namespace simdaemon {

class TeacherSim : public SimDaemon {
public:
    // Student states in the notifications and records.
    static constexpr int kOffline = 0;
    static constexpr int kOnline = 1;

    TeacherSim(DaemonPort& port, const SimOptions& options);

    bool Command(const std::string& line, std::string& out) override;
    std::string CommandHelp() const override;

protected:
    bool Handle(Request& request, IPCAPI::CIntfData& reply) override;

private:
    IPCAPI::tagStudent_t* Find(const std::string& id);
    // Ids a request addresses: the listed ones for the list forms, else the
    // envelope's student id ("null" or empty: the whole class).
    std::vector<std::string> Targets(Request& request, bool listForm);
    // One notification per addressed student, each step later than the one
    // before; succeed(student) applies the change and may veto it.
    template <class Succeed>
    void PerStudent(Request& request, const std::vector<std::string>& ids, const std::string& note,
                    bool boolean, Succeed succeed, int firstDelayMs = 0);
    void Search(Request& request);
    void StatusChanged(const std::string& id, int status, int delayMs = 0);

    std::vector<IPCAPI::tagStudent_t> m_class;
    std::map<std::string, std::string> m_lockPolicy; // per student, as deployed
    std::vector<IPCAPI::tagStudent_t> m_waiting;     // announced, not yet allowed
    std::string m_defaultPolicy;                     // a fresh lock schedule
    std::string m_teacherInfo;
    bool m_controllerRunning = false;
};

} // namespace simdaemon

#endif
