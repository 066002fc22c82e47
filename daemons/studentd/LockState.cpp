#include "LockState.h"

#include "LockScheduleData.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <sstream>

namespace studentd {

namespace {

constexpr Seconds kMinute = 60;

bool ReadNumber(const std::string& text, Seconds& value)
{
    if (text.empty() || text.size() > 19)
        return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0')
        return false;
    value = v;
    return true;
}

} // namespace

std::optional<ManualLock> ManualLock::FromPolicy(LibTAVData::CLockScheduleData& policy, Seconds now,
                                                 std::string& why)
{
    LibTAVData::CManualLock* info = policy.GetPManualLockInfo();
    if (!info) {
        why = "the policy has no manual-lock part";
        return std::nullopt;
    }
    int minutes = 0;
    info->GetLockedTime(minutes);
    if (minutes < 0 || info->GetDisconnectTime() < 0) {
        why = "LockedTime and DisconnectTime are minutes, 0 or more";
        return std::nullopt;
    }
    ManualLock lock;
    lock.since = now;
    lock.until = minutes > 0 ? now + minutes * kMinute : 0;
    lock.unlockAfterConnect = info->GetUnlockAfterConnect() == 1;
    lock.unlockAfterDisconnect = info->GetUnlockAfterDisconnect() == 1;
    lock.disconnectMinutes = info->GetDisconnectTime();
    return lock;
}

std::string ManualLock::Serialize() const
{
    std::ostringstream out;
    out << "since=" << since << "\nuntil=" << until
        << "\nunlock_after_connect=" << unlockAfterConnect
        << "\nunlock_after_disconnect=" << unlockAfterDisconnect
        << "\ndisconnect_minutes=" << disconnectMinutes << "\n";
    return out.str();
}

std::optional<ManualLock> ManualLock::Parse(const std::string& text)
{
    std::map<std::string, Seconds> values;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const auto eq = line.find('=');
        Seconds v = 0;
        if (eq == std::string::npos || !ReadNumber(line.substr(eq + 1), v))
            return std::nullopt;
        values[line.substr(0, eq)] = v;
    }
    const char* keys[] = {"since", "until", "unlock_after_connect", "unlock_after_disconnect",
                          "disconnect_minutes"};
    for (const char* key : keys)
        if (!values.count(key))
            return std::nullopt;
    if (values.size() != std::size(keys) || values["disconnect_minutes"] < 0 ||
        values["disconnect_minutes"] > 1000000000)
        return std::nullopt;
    ManualLock lock;
    lock.since = values["since"];
    lock.until = values["until"];
    lock.unlockAfterConnect = values["unlock_after_connect"] != 0;
    lock.unlockAfterDisconnect = values["unlock_after_disconnect"] != 0;
    lock.disconnectMinutes = static_cast<int>(values["disconnect_minutes"]);
    return lock;
}

std::vector<WeeklySection> AutomaticSections(LibTAVData::CLockScheduleData& schedule)
{
    std::vector<WeeklySection> sections;
    const auto* list = schedule.GetPAutomaticLockTimeList();
    if (!schedule.IsAutoLockEnable() || !list)
        return sections;
    for (const LibTAVData::CLockTimeSection* s : *list)
        if (s && s->m_iDayOfWeek >= 0 && s->m_iDayOfWeek <= 6)
            sections.push_back({s->m_iDayOfWeek, s->m_iStartTime, s->m_iEndTime});
    return sections;
}

bool InsideSchedule(const std::vector<WeeklySection>& sections, const std::tm& local)
{
    const int day = (local.tm_wday + 6) % 7; // tm counts from Sunday
    return std::any_of(sections.begin(), sections.end(), [&](const WeeklySection& s) {
        return s.day == day && s.start <= local.tm_hour && local.tm_hour < s.end;
    });
}

bool LockState::TeacherConnected()
{
    m_connected = true;
    if (!m_manual || !m_manual->unlockAfterConnect)
        return false;
    m_manual.reset();
    return true;
}

void LockState::TeacherDisconnected(Seconds now)
{
    if (m_connected)
        m_disconnectedSince = now;
    m_connected = false;
}

bool LockState::Evaluate(Seconds now, const std::tm& local, bool& manualEnded)
{
    manualEnded = false;
    if (m_manual) {
        const ManualLock& m = *m_manual;
        bool over = m.until != 0 && now >= m.until;
        if (!over && m.unlockAfterDisconnect && !m_connected) {
            // Counted from the loss of the connection, or from the lock
            // itself when it came while there was none.
            const Seconds from = std::max(m.since, m_disconnectedSince);
            over = now - from >= m.disconnectMinutes * kMinute;
        }
        if (over) {
            m_manual.reset();
            manualEnded = true;
        }
    }
    return m_manual.has_value() || InsideSchedule(m_sections, local);
}

} // namespace studentd
