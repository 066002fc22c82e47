// Whether the student machine is locked: a manual lock in force, or the
// weekly automatic schedule with "now" inside one of its sections. Times are
// seconds since 1970 on the machine's clock (a manual lock's end survives a
// restart that way); the schedule is read in local time.
#ifndef TAV_STUDENTD_LOCKSTATE_H
#define TAV_STUDENTD_LOCKSTATE_H

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace LibTAVData {
class CLockScheduleData;
}

namespace studentd {

using Seconds = std::int64_t;

// One weekly section: day 0 Monday .. 6 Sunday, from the start hour to the
// end hour of that day, the end hour excluded.
struct WeeklySection {
    int day = 0;
    int start = 0;
    int end = 0;
};

// A manual lock and the rules that end it by itself.
struct ManualLock {
    Seconds since = 0; // when it began
    Seconds until = 0; // when its time is up; 0: until unlocked
    bool unlockAfterConnect = false;
    bool unlockAfterDisconnect = false;
    int disconnectMinutes = 0;

    // From the "ManualLock" part of a lock-schedule document: LockedTime
    // minutes (0: until unlocked), UnlockAfterConnect, UnlockAfterDisconnect
    // with DisconnectTime minutes. Nothing (and the reason) for negative
    // times.
    static std::optional<ManualLock> FromPolicy(LibTAVData::CLockScheduleData& policy, Seconds now,
                                                std::string& why);

    // The state_dir form: "key=value" lines. Parse refuses (nothing) a text
    // that is not one this program wrote.
    std::string Serialize() const;
    static std::optional<ManualLock> Parse(const std::string& text);
};

// The automatic lock of a schedule document: its sections, when automatic
// locking is enabled (none otherwise).
std::vector<WeeklySection> AutomaticSections(LibTAVData::CLockScheduleData& schedule);

bool InsideSchedule(const std::vector<WeeklySection>& sections, const std::tm& local);

class LockState {
public:
    // The daemon starts at start without a teacher connection.
    explicit LockState(Seconds start) : m_disconnectedSince(start) {}

    void SetSchedule(std::vector<WeeklySection> sections) { m_sections = std::move(sections); }

    void Lock(const ManualLock& lock) { m_manual = lock; }
    void Unlock() { m_manual.reset(); }
    const std::optional<ManualLock>& Manual() const { return m_manual; }

    // The teacher connection (teacher online and this student accepted)
    // came or went at now. A lock that ends at the next connection ends
    // here: true when it did.
    bool TeacherConnected();
    void TeacherDisconnected(Seconds now);

    // Ends a manual lock whose rule says so at now (true when it ended),
    // then tells whether the machine is locked.
    bool Evaluate(Seconds now, const std::tm& local, bool& manualEnded);

private:
    std::vector<WeeklySection> m_sections;
    std::optional<ManualLock> m_manual;
    bool m_connected = false;
    Seconds m_disconnectedSince; // meaningful while !m_connected
};

} // namespace studentd

#endif
