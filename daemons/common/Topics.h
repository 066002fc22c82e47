// The MQTT topics between the teacher daemon and the student daemons of one
// class, spelt in this one place:
//
//   tav/<class>/cmd/<student>|all                 teacher -> students
//   tav/<class>/policy/<student>|all/<kind>        teacher -> students, retained
//   tav/<class>/student/<student>/presence         student -> teacher, retained
//   tav/<class>/student/<student>/answer           student -> teacher
//   tav/<class>/student/<student>/join             student -> teacher
//   tav/<class>/teacher/presence                   teacher -> students, retained
//
// Class names and student ids are 1 to 64 of [A-Za-z0-9_-]; "all" and
// "teacher" are never student ids (the first addresses every student, the
// second is the teacher's certificate name).
#ifndef TAV_DAEMONS_TOPICS_H
#define TAV_DAEMONS_TOPICS_H

#include <optional>
#include <string>

namespace tavd {

bool IsValidClassName(const std::string& name);
bool IsValidStudentId(const std::string& id);

enum class PolicyKind { Schedule, TabNav, Settings };
// "schedule", "tabnav", "settings".
const char* PolicyKindName(PolicyKind kind);

enum class StudentChannel { Presence, Answer, Join };

// A topic read back: what it is and whom it concerns.
struct TopicInfo {
    enum class Kind { Command, Policy, Student, TeacherPresence } kind = Kind::Command;
    bool everyStudent = false;                         // cmd/all or policy/all/...
    std::string studentId;                             // empty when everyStudent
    PolicyKind policy = PolicyKind::Schedule;          // Kind::Policy
    StudentChannel channel = StudentChannel::Presence; // Kind::Student
};

class ClassTopics {
public:
    // Refuses (nullopt, with a log line) a name outside the rule above.
    static std::optional<ClassTopics> ForClass(const std::string& className);

    const std::string& ClassName() const { return m_class; }

    // Each builder refuses (nullopt, with a log line) an invalid student id.
    std::optional<std::string> Command(const std::string& studentId) const;
    std::string CommandToAll() const;
    std::optional<std::string> Policy(const std::string& studentId, PolicyKind kind) const;
    std::string PolicyForAll(PolicyKind kind) const;
    std::optional<std::string> Student(const std::string& studentId, StudentChannel channel) const;

    // Subscription filters. The teacher: everything the students publish.
    std::string EveryStudentFilter() const;
    // The teacher daemon's own presence: "online", last will "offline".
    std::string TeacherPresence() const;
    // A student: its own and the class-wide policies of every kind.
    std::optional<std::string> StudentPolicyFilter(const std::string& studentId) const;
    std::string PolicyForAllFilter() const;

    // Reads a topic of this class; nullopt for anything else (another
    // class, an unknown channel or kind, an invalid id, extra levels).
    std::optional<TopicInfo> Parse(const std::string& topic) const;

private:
    explicit ClassTopics(std::string className);
    std::string Prefix(const char* area) const;

    std::string m_class;
};

} // namespace tavd

#endif
