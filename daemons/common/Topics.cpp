#include "Topics.h"

#include "LogScope.h"

#include <vector>

namespace tavd {

namespace {

using tav_common::LogScope;

constexpr const char* kRoot = "tav";
constexpr const char* kEvery = "all";

bool IsValidName(const std::string& name)
{
    if (name.empty() || name.size() > 64)
        return false;
    for (const char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '_' || c == '-';
        if (!ok)
            return false;
    }
    return true;
}

// For log lines only: a refused id may hold anything.
std::string Shown(const std::string& text)
{
    std::string out;
    for (const char c : text.substr(0, 80))
        out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? '?' : c;
    return out;
}

std::optional<std::string> Refused(const char* what, const std::string& id)
{
    LogScope::Error(std::string("ClassTopics::") + what + " --invalid student id '" + Shown(id) +
                    "'");
    return std::nullopt;
}

const char* ChannelName(StudentChannel channel)
{
    switch (channel) {
    case StudentChannel::Presence:
        return "presence";
    case StudentChannel::Answer:
        return "answer";
    case StudentChannel::Join:
        return "join";
    }
    return "";
}

std::vector<std::string> Levels(const std::string& topic)
{
    std::vector<std::string> levels;
    std::string::size_type start = 0;
    for (;;) {
        const auto slash = topic.find('/', start);
        levels.push_back(topic.substr(start, slash - start));
        if (slash == std::string::npos)
            return levels;
        start = slash + 1;
    }
}

} // namespace

bool IsValidClassName(const std::string& name) { return IsValidName(name); }

bool IsValidStudentId(const std::string& id)
{
    return IsValidName(id) && id != kEvery && id != "teacher";
}

const char* PolicyKindName(PolicyKind kind)
{
    switch (kind) {
    case PolicyKind::Schedule:
        return "schedule";
    case PolicyKind::TabNav:
        return "tabnav";
    case PolicyKind::Settings:
        return "settings";
    }
    return "";
}

ClassTopics::ClassTopics(std::string className) : m_class(std::move(className)) {}

std::optional<ClassTopics> ClassTopics::ForClass(const std::string& className)
{
    if (!IsValidClassName(className)) {
        LogScope::Error("ClassTopics::ForClass --invalid class name '" + Shown(className) + "'");
        return std::nullopt;
    }
    return ClassTopics(className);
}

std::string ClassTopics::Prefix(const char* area) const
{
    return std::string(kRoot) + "/" + m_class + "/" + area + "/";
}

std::optional<std::string> ClassTopics::Command(const std::string& studentId) const
{
    if (!IsValidStudentId(studentId))
        return Refused("Command", studentId);
    return Prefix("cmd") + studentId;
}

std::string ClassTopics::CommandToAll() const { return Prefix("cmd") + kEvery; }

std::optional<std::string> ClassTopics::Policy(const std::string& studentId, PolicyKind kind) const
{
    if (!IsValidStudentId(studentId))
        return Refused("Policy", studentId);
    return Prefix("policy") + studentId + "/" + PolicyKindName(kind);
}

std::string ClassTopics::PolicyForAll(PolicyKind kind) const
{
    return Prefix("policy") + kEvery + "/" + PolicyKindName(kind);
}

std::optional<std::string> ClassTopics::Student(const std::string& studentId,
                                                StudentChannel channel) const
{
    if (!IsValidStudentId(studentId))
        return Refused("Student", studentId);
    return Prefix("student") + studentId + "/" + ChannelName(channel);
}

std::string ClassTopics::EveryStudentFilter() const { return Prefix("student") + "#"; }

std::string ClassTopics::TeacherPresence() const { return Prefix("teacher") + "presence"; }

std::optional<std::string> ClassTopics::StudentPolicyFilter(const std::string& studentId) const
{
    if (!IsValidStudentId(studentId))
        return Refused("StudentPolicyFilter", studentId);
    return Prefix("policy") + studentId + "/#";
}

std::string ClassTopics::PolicyForAllFilter() const { return Prefix("policy") + kEvery + "/#"; }

std::optional<TopicInfo> ClassTopics::Parse(const std::string& topic) const
{
    const std::vector<std::string> l = Levels(topic);
    if (l.size() < 4 || l[0] != kRoot || l[1] != m_class)
        return std::nullopt;
    TopicInfo info;
    const std::string& area = l[2];
    const std::string& who = l[3];
    if (area == "teacher") {
        if (l.size() != 4 || who != "presence")
            return std::nullopt;
        info.kind = TopicInfo::Kind::TeacherPresence;
        return info;
    }
    if (who == kEvery && area != "student") {
        info.everyStudent = true;
    } else if (IsValidStudentId(who)) {
        info.studentId = who;
    } else {
        return std::nullopt;
    }
    if (area == "cmd" && l.size() == 4) {
        info.kind = TopicInfo::Kind::Command;
        return info;
    }
    if (l.size() != 5)
        return std::nullopt;
    if (area == "policy") {
        info.kind = TopicInfo::Kind::Policy;
        for (const PolicyKind k : {PolicyKind::Schedule, PolicyKind::TabNav, PolicyKind::Settings})
            if (l[4] == PolicyKindName(k)) {
                info.policy = k;
                return info;
            }
        return std::nullopt;
    }
    if (area == "student") {
        info.kind = TopicInfo::Kind::Student;
        for (const StudentChannel c :
             {StudentChannel::Presence, StudentChannel::Answer, StudentChannel::Join})
            if (l[4] == ChannelName(c)) {
                info.channel = c;
                return info;
            }
    }
    return std::nullopt;
}

} // namespace tavd
