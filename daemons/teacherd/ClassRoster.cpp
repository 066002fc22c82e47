#include "ClassRoster.h"

#include "FileStore.h"
#include "SafeFile.h"
#include "TeacherLog.h"
#include "Topics.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <sstream>

namespace teacherd {

namespace {

// Far more than a class: 10000 ids of 64 characters.
constexpr std::size_t kMaxRosterBytes = 1024 * 1024;

std::string Trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

} // namespace

ClassRoster::ClassRoster(std::string path) : m_path(std::move(path)) {}

bool ClassRoster::Load(std::string& error)
{
    struct stat st;
    if (::lstat(m_path.c_str(), &st) != 0 && errno == ENOENT)
        return true;
    std::string text;
    if (!tavtools::ReadRegularFile(m_path, kMaxRosterBytes, text, error)) {
        error = "cannot read " + m_path + ": " + error;
        return false;
    }
    std::istringstream in(text);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        const std::string id = Trim(line);
        if (id.empty() || id[0] == '#')
            continue;
        if (!tavd::IsValidStudentId(id)) {
            LogError(m_path + ":" + std::to_string(number) + ": not a student id, skipped");
            continue;
        }
        if (m_kept.insert(id).second)
            m_accepted.push_back(id);
    }
    Log("roster " + m_path + ": " + std::to_string(m_accepted.size()) + " students");
    return true;
}

bool ClassRoster::Save(std::string& error) const
{
    std::string text = "# The students of this class, one id per line (kept by tav-teacherd).\n";
    for (const std::string& id : m_accepted)
        if (m_kept.count(id))
            text += id + "\n";
    return tavd::WriteFileAtomic(m_path, text, 0600, error);
}

bool ClassRoster::IsAccepted(const std::string& id) const
{
    return std::find(m_accepted.begin(), m_accepted.end(), id) != m_accepted.end();
}

bool ClassRoster::Accept(const std::string& id, bool keep)
{
    if (!IsAccepted(id))
        m_accepted.push_back(id);
    if (!keep || !m_kept.insert(id).second)
        return true;
    std::string error;
    if (Save(error)) {
        Log("student " + id + " added to the roster");
        return true;
    }
    m_kept.erase(id);
    LogError("student " + id + " is accepted for this run only: " + error);
    return false;
}

std::vector<IPCAPI::tagStudent_t> ClassRoster::Students() const
{
    std::vector<IPCAPI::tagStudent_t> out;
    for (const std::string& id : m_accepted)
        out.push_back(*Student(id));
    return out;
}

std::optional<IPCAPI::tagStudent_t> ClassRoster::Student(const std::string& id) const
{
    if (!IsAccepted(id))
        return std::nullopt;
    const auto seen = m_seen.find(id);
    if (seen != m_seen.end())
        return seen->second;
    IPCAPI::tagStudent_t unseen;
    unseen.studentID = id;
    unseen.status = kOffline;
    return unseen;
}

bool ClassRoster::IsOnline(const std::string& id) const
{
    const auto seen = m_seen.find(id);
    return seen != m_seen.end() && seen->second.status != kOffline;
}

std::vector<std::string> ClassRoster::OnlineStudents() const
{
    std::vector<std::string> out;
    for (const std::string& id : m_accepted)
        if (IsOnline(id))
            out.push_back(id);
    return out;
}

std::optional<int> ClassRoster::SetPresence(const std::string& id, IPCAPI::tagStudent_t record,
                                            bool online)
{
    record.studentID = id;
    record.bLocked = record.bLocked ? 1 : 0;
    record.status = !online ? kOffline : record.bLocked ? kLocked : kOnline;
    auto seen = m_seen.find(id);
    const int before = seen == m_seen.end() ? kOffline : seen->second.status;
    if (seen == m_seen.end()) {
        m_seen.emplace(id, record);
    } else if (online) {
        seen->second = record;
    } else {
        // Gone: keep what it said last, with its new status.
        seen->second.status = kOffline;
    }
    if (!IsAccepted(id) || before == record.status)
        return std::nullopt;
    return record.status;
}

std::vector<std::string> ClassRoster::AllOffline()
{
    std::vector<std::string> were = OnlineStudents();
    for (auto& entry : m_seen)
        entry.second.status = kOffline;
    return were;
}

bool ClassRoster::IsWaiting(const std::string& id) const { return m_waiting.count(id) != 0; }

bool ClassRoster::EndWait(const std::string& id) { return m_waiting.erase(id) != 0; }

} // namespace teacherd
