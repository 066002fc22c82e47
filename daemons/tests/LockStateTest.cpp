// When the student machine is locked: the weekly schedule and the rules
// that end a manual lock, on a clock the test sets.
#include "LockState.h"
#include "LockScheduleData.h"

#include <gtest/gtest.h>

namespace {

using studentd::LockState;
using studentd::ManualLock;
using studentd::Seconds;

std::tm At(int wdaySundayFirst, int hour)
{
    std::tm t{};
    t.tm_wday = wdaySundayFirst;
    t.tm_hour = hour;
    return t;
}

ManualLock FromPolicy(int lockedMinutes, int afterConnect, int afterDisconnect,
                      int disconnectMinutes, Seconds now)
{
    LibTAVData::CLockScheduleData policy;
    LibTAVData::CManualLock* m = policy.GetPManualLockInfo();
    m->SetLockedTime(lockedMinutes);
    m->SetUnlockAfterConnect(afterConnect);
    m->SetUnlockAfterDisconnect(afterDisconnect);
    m->SetDisconnectTime(disconnectMinutes);
    std::string why;
    const auto lock = ManualLock::FromPolicy(policy, now, why);
    EXPECT_TRUE(lock) << why;
    return lock.value_or(ManualLock{});
}

bool Locked(LockState& state, Seconds now, bool* ended = nullptr)
{
    bool e = false;
    const bool locked = state.Evaluate(now, At(3, 12), e);
    if (ended)
        *ended = e;
    return locked;
}

} // namespace

TEST(LockState, ScheduleSectionsStartOnMondayAndEndBeforeTheirEndHour)
{
    const std::vector<studentd::WeeklySection> sections = {{0, 8, 10}, {6, 23, 24}};
    EXPECT_TRUE(studentd::InsideSchedule(sections, At(1, 8))); // Monday 8:xx
    EXPECT_TRUE(studentd::InsideSchedule(sections, At(1, 9)));
    EXPECT_FALSE(studentd::InsideSchedule(sections, At(1, 10))); // the end hour is out
    EXPECT_FALSE(studentd::InsideSchedule(sections, At(1, 7)));
    EXPECT_FALSE(studentd::InsideSchedule(sections, At(2, 9)));  // Tuesday
    EXPECT_TRUE(studentd::InsideSchedule(sections, At(0, 23)));  // Sunday, last hour
    EXPECT_FALSE(studentd::InsideSchedule(sections, At(6, 23))); // Saturday

    // Sections count only while automatic locking is on.
    LibTAVData::CLockScheduleData schedule;
    schedule.GetPAutomaticLockTimeList()->push_back(new LibTAVData::CLockTimeSection(0, 8, 10));
    EXPECT_TRUE(studentd::AutomaticSections(schedule).empty());
    schedule.SetAutoLock(1);
    EXPECT_EQ(studentd::AutomaticSections(schedule).size(), 1u);
}

TEST(LockState, ManualLockEndsWhenItsRuleSays)
{
    const Seconds t0 = 1700000000;
    bool ended = false;

    // LockedTime minutes, on the clock.
    LockState timed(t0);
    timed.Lock(FromPolicy(2, 0, 0, 0, t0));
    EXPECT_TRUE(Locked(timed, t0 + 119));
    EXPECT_FALSE(Locked(timed, t0 + 120, &ended));
    EXPECT_TRUE(ended);
    EXPECT_FALSE(timed.Manual());

    // 0 minutes: until unlocked, whatever the connection does.
    LockState forever(t0);
    forever.Lock(FromPolicy(0, 0, 0, 0, t0));
    EXPECT_FALSE(forever.TeacherConnected());
    forever.TeacherDisconnected(t0 + 10);
    EXPECT_TRUE(Locked(forever, t0 + 1000000));
    forever.Unlock();
    EXPECT_FALSE(Locked(forever, t0 + 1000000));

    // At the next connection to the teacher.
    LockState connect(t0);
    connect.Lock(FromPolicy(0, 1, 0, 0, t0));
    EXPECT_TRUE(Locked(connect, t0 + 5));
    EXPECT_TRUE(connect.TeacherConnected());
    EXPECT_FALSE(Locked(connect, t0 + 6));

    // Once the connection has been lost for DisconnectTime minutes: counted
    // from the loss, or from the lock when there was no connection.
    LockState disconnect(t0);
    EXPECT_FALSE(disconnect.TeacherConnected());
    disconnect.Lock(FromPolicy(0, 0, 1, 5, t0 + 100));
    EXPECT_TRUE(Locked(disconnect, t0 + 10000)); // connected all along
    disconnect.TeacherDisconnected(t0 + 10000);
    EXPECT_TRUE(Locked(disconnect, t0 + 10299));
    EXPECT_FALSE(Locked(disconnect, t0 + 10300, &ended));
    EXPECT_TRUE(ended);
    LockState offline(t0);
    offline.Lock(FromPolicy(0, 0, 1, 1, t0 + 500));
    EXPECT_TRUE(Locked(offline, t0 + 559));
    EXPECT_FALSE(Locked(offline, t0 + 560));
}

TEST(LockState, ManualLockSurvivesInItsStateFormAndBadInputIsRefused)
{
    const ManualLock lock = FromPolicy(90, 1, 1, 3, 1000);
    EXPECT_EQ(lock.until, 1000 + 90 * 60);
    const auto back = ManualLock::Parse(lock.Serialize());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Serialize(), lock.Serialize());

    for (const char* damaged : {"", "since=1\n",
                                "since=x\nuntil=0\nunlock_after_connect=0\n"
                                "unlock_after_disconnect=0\ndisconnect_minutes=0\n"})
        EXPECT_FALSE(ManualLock::Parse(damaged)) << damaged;

    LibTAVData::CLockScheduleData policy;
    policy.GetPManualLockInfo()->SetLockedTime(-5);
    std::string why;
    EXPECT_FALSE(ManualLock::FromPolicy(policy, 1000, why));
    EXPECT_NE(why, "");
}
