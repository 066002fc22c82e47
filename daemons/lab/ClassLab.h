// A whole class on one machine: the class broker on loopback (TLS, the ACL
// of tav-make-class), one teacher machine and N student machines. Each
// machine has its own host name (its id) and a private mount namespace with
// its own /etc/TAV, its own /run and its own system bus there; a student machine runs tav-studentd
// and a student application ("tavctl --json student listen", whose lines are what the application
// heard), the teacher machine runs tav-teacherd, and teacher applications join its bus from outside
// (TeacherBus()).
//
// Everything the lab starts dies with it: Stop() (or the destructor) ends
// it in order, and if the lab's process dies the kernel kills its children
// (parent-death signal), which takes the namespaces along. Needs root.
#ifndef TAV_DAEMONS_LAB_CLASSLAB_H
#define TAV_DAEMONS_LAB_CLASSLAB_H

#include "LabBroker.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tavlab {

struct LabOptions {
    std::string dir; // the lab's folder (made when missing)
    std::string className = "lab";
    std::vector<std::string> students; // started by Start()
    std::vector<std::string> spares;   // in the class, started later by StartStudent()
    LabPrograms programs = LabPrograms::Defaults();
    int readyTimeoutMs = 180000; // for the whole class to be in
    // Polled while waiting: true gives up (e.g. a Ctrl-C arrived).
    std::function<bool()> interrupted;
};

// "S01".."S40": ids numbered from 1, zero-padded to the width of count.
std::vector<std::string> StudentIds(int count, const std::string& prefix = "S");

class ClassLab {
public:
    explicit ClassLab(LabOptions options);
    ~ClassLab();
    ClassLab(const ClassLab&) = delete;
    ClassLab& operator=(const ClassLab&) = delete;

    // Broker, teacher, then the students in parallel; true once every
    // student is in the class (its application heard the teacher online).
    bool Start(std::string& why);
    // Stops everything started, students first, the broker last.
    void Stop();

    // A spare student's machine, or a stopped student daemon again; true
    // once it is in the class.
    bool StartStudent(const std::string& id, std::string& why);
    // The student's daemon only: SIGTERM, or SIGKILL as a crash would.
    bool StopStudentDaemon(const std::string& id, bool crash = false);

    ClassBroker& Broker() { return m_broker; }
    const LabOptions& Options() const { return m_options; }
    // The teacher machine's bus, as a teacher application of this process
    // reaches it.
    std::string TeacherBus() const;
    pid_t TeacherPid() const;
    pid_t StudentDaemonPid(const std::string& id) const;
    // The student machine's /etc/TAV, as the lab sees it.
    std::string StudentEtc(const std::string& id) const;
    // The notifications the student's application printed, one JSON
    // object a line.
    std::vector<std::string> Heard(const std::string& id) const;
    // How many of them contain text.
    int CountHeard(const std::string& id, const std::string& text) const;
    // The daemons' output, for failure messages.
    std::string StudentLog(const std::string& id) const;
    std::string TeacherLog() const;

private:
    struct Machine;
    bool StartTeacher(std::string& why);
    bool PrepareMachine(Machine& m, const std::string& config, std::string& why);
    bool StartStudents(const std::vector<Machine*>& machines, std::string& why);
    bool WaitUntil(const std::function<bool()>& cond, int timeoutMs) const;
    Machine* Find(const std::string& id) const;

    LabOptions m_options;
    ClassBroker m_broker;
    std::unique_ptr<Machine> m_teacher;
    std::map<std::string, std::unique_ptr<Machine>> m_students;
};

} // namespace tavlab

#endif
