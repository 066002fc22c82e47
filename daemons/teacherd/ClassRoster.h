// The class as the teacher daemon knows it: the accepted students (the
// roster file, one student id per line, plus students let in for this run
// only), the last presence heard from every student, and the students
// waiting for the teacher application's verdict on their joining.
#ifndef TAV_TEACHERD_CLASSROSTER_H
#define TAV_TEACHERD_CLASSROSTER_H

#include "ParaXml.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace teacherd {

// A student's status in records and status notifications.
constexpr int kOffline = 0;
constexpr int kOnline = 1;
constexpr int kLocked = 2; // online and locked

class ClassRoster {
public:
    explicit ClassRoster(std::string path);

    // Reads the roster file (none yet: an empty class). Lines are trimmed;
    // blank lines and lines starting with # are skipped, invalid ids
    // skipped and logged. False (logged) when the file cannot be read.
    bool Load(std::string& error);

    bool IsAccepted(const std::string& id) const;
    // Lets the student in; keep writes it to the roster file (false, logged,
    // when that fails: it stays accepted for this run).
    bool Accept(const std::string& id, bool keep);

    // The accepted students in the order they were accepted, each with its
    // last presence (status kOffline when offline or never heard from).
    std::vector<IPCAPI::tagStudent_t> Students() const;
    std::optional<IPCAPI::tagStudent_t> Student(const std::string& id) const;
    bool IsOnline(const std::string& id) const;
    std::vector<std::string> OnlineStudents() const; // accepted ones

    // Records a student's presence (its status follows from online and the
    // record's lock flag). Returns the new status when an accepted
    // student's status changed.
    std::optional<int> SetPresence(const std::string& id, IPCAPI::tagStudent_t record, bool online);
    // Nobody is reachable any more: the accepted students that were online.
    std::vector<std::string> AllOffline();

    bool IsWaiting(const std::string& id) const;
    void Wait(const std::string& id) { m_waiting.insert(id); }
    // False when the student was not waiting.
    bool EndWait(const std::string& id);
    void ClearWaiting() { m_waiting.clear(); }

private:
    bool Save(std::string& error) const;

    const std::string m_path;
    std::vector<std::string> m_accepted; // in order
    std::set<std::string> m_kept;        // those in the roster file
    std::map<std::string, IPCAPI::tagStudent_t> m_seen;
    std::set<std::string> m_waiting;
};

} // namespace teacherd

#endif
