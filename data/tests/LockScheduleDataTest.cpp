#include "LockScheduleData.h"
#include "TAVLayout.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace LibTAVData;

namespace {

const char kFresh[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
                      "<LockSchedule>\n"
                      "    <AutoLockStatus>0</AutoLockStatus>\n"
                      "    <ManualLockStatus>0</ManualLockStatus>\n"
                      "    <LockStatus>0</LockStatus>\n"
                      "    <AutomaticLock />\n"
                      "    <ManualLock Option=\"0\">\n"
                      "        <LockedTime>0</LockedTime>\n"
                      "        <DisconnectTime>0</DisconnectTime>\n"
                      "        <UnlockAfterDisconnect>0</UnlockAfterDisconnect>\n"
                      "        <UnlockAfterConnect>0</UnlockAfterConnect>\n"
                      "    </ManualLock>\n"
                      "</LockSchedule>\n";

const char kFull[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
    "<LockSchedule>\n"
    "    <AutoLockStatus>1</AutoLockStatus>\n"
    "    <ManualLockStatus>1</ManualLockStatus>\n"
    "    <LockStatus>4</LockStatus>\n"
    "    <AutomaticLock>\n"
    "        <LockTimeSection DayOfWeek=\"MONDAY\" Start=\"8\" End=\"9\" />\n"
    "        <LockTimeSection DayOfWeek=\"SUNDAY\" Start=\"23\" End=\"24\" />\n"
    "        <LockTimeSection DayOfWeek=\"Invalid Day.\" Start=\"1\" End=\"2\" />\n"
    "    </AutomaticLock>\n"
    "    <ManualLock Option=\"3\">\n"
    "        <LockedTime>30</LockedTime>\n"
    "        <DisconnectTime>5</DisconnectTime>\n"
    "        <UnlockAfterDisconnect>2</UnlockAfterDisconnect>\n"
    "        <UnlockAfterConnect>1</UnlockAfterConnect>\n"
    "    </ManualLock>\n"
    "</LockSchedule>\n";

void Fill(CLockScheduleData& d)
{
    d.SetAutoLock(1);
    d.SetManualLock(1);
    d.SetLockStatus(4);
    d.GetPAutomaticLockTimeList()->push_back(new CLockTimeSection(0, 8, 9));
    d.GetPAutomaticLockTimeList()->push_back(nullptr); // skipped
    d.GetPAutomaticLockTimeList()->push_back(new CLockTimeSection(6, 23, 24));
    d.GetPAutomaticLockTimeList()->push_back(new CLockTimeSection(9, 1, 2));
    CManualLock m;
    m.SetOption(3);
    m.SetLockedTime(30);
    m.SetDisconnectTime(5);
    m.SetUnlockAfterDisconnect(2);
    m.SetUnlockAfterConnect(1);
    d.SetManualLockInfo(&m);
}

// Sections as "day:start-end" texts, in order.
std::string Sections(const CLockScheduleData& d)
{
    std::string s;
    for (const CLockTimeSection* t : *d.GetPAutomaticLockTimeList())
        s += !t ? std::string("null ")
                : std::to_string(t->m_iDayOfWeek) + ":" + std::to_string(t->m_iStartTime) + "-" +
                      std::to_string(t->m_iEndTime) + " ";
    return s;
}

std::string Manual(const CLockScheduleData& d)
{
    CManualLock* m = d.GetPManualLockInfo();
    int locked = -7;
    m->GetLockedTime(locked);
    return std::to_string(m->GetOption()) + "/" + std::to_string(locked) + "/" +
           std::to_string(m->GetDisconnectTime()) + "/" +
           std::to_string(m->GetUnlockAfterDisconnect()) + "/" +
           std::to_string(m->GetUnlockAfterConnect());
}

std::string Doc(const std::string& manualLockStatus, const std::string& sections,
                const std::string& manual)
{
    return "<LockSchedule><AutoLockStatus>1</AutoLockStatus><ManualLockStatus>" + manualLockStatus +
           "</ManualLockStatus><LockStatus>2</LockStatus><AutomaticLock>" + sections +
           "</AutomaticLock>" + manual + "</LockSchedule>";
}

} // namespace

TEST(LockSchedule, SavedTexts)
{
    CLockScheduleData fresh;
    std::string out;
    ASSERT_EQ(fresh.Save2String(out), 0);
    EXPECT_EQ(out, kFresh);

    CLockScheduleData full;
    Fill(full);
    ASSERT_EQ(full.Save2String(out), 0);
    EXPECT_EQ(out, kFull);

    const std::string file = tavtest::TempRoot() + "/" + LOCK_SCHEDULE_XML;
    ASSERT_EQ(full.Save2File(file), 0);
    EXPECT_EQ(tavtest::ReadFile(file), kFull);

    CLockScheduleData loaded;
    ASSERT_EQ(loaded.LoadFromFile(file), 0);
    EXPECT_EQ(Sections(loaded), "0:8-9 6:23-24 -1:1-2 ");
    EXPECT_EQ(Manual(loaded), "3/30/5/2/1");
    EXPECT_TRUE(loaded.IsAutoLockEnable());
    EXPECT_TRUE(loaded.IsManualLockEnable());
    EXPECT_TRUE(loaded.Islocked());
    ASSERT_EQ(loaded.Save2String(out), 0);
    EXPECT_EQ(out, kFull);
}

TEST(LockSchedule, FlagsAndDays)
{
    CLockScheduleData d;
    d.SetAutoLock(2);
    d.SetManualLock(-1);
    EXPECT_FALSE(d.IsAutoLockEnable());
    EXPECT_FALSE(d.IsManualLockEnable());
    for (int s = -1; s <= 5; ++s) {
        d.SetLockStatus(s);
        EXPECT_EQ(d.Islocked(), s == 2 || s == 4) << s;
    }
    EXPECT_EQ(CLockScheduleData::WeekDayString2Int("WEDNESDAY"), 2);
    EXPECT_EQ(CLockScheduleData::WeekDayString2Int("Monday"), -1);
    EXPECT_EQ(CLockScheduleData::WeekDayInt2String(5), "SATURDAY");
    EXPECT_EQ(CLockScheduleData::WeekDayInt2String(7), "Invalid Day.");
    EXPECT_EQ(CLockScheduleData::WeekDayInt2String(-1), "Invalid Day.");
    EXPECT_TRUE(CLockTimeSection(1, 2, 3) == CLockTimeSection(1, 2, 3));
    EXPECT_TRUE(CLockTimeSection(1, 2, 3) != CLockTimeSection(1, 2, 4));
}

TEST(LockSchedule, ManualLockIsOnlyReadWhenEnabled)
{
    CLockScheduleData d;
    Fill(d);
    // Manual locking off: "ManualLock" is neither read nor needed.
    EXPECT_EQ(d.LoadFromString(Doc("0", "", "")), 0);
    EXPECT_EQ(Manual(d), "3/30/5/2/1");
    EXPECT_EQ(d.GetLockStatus(), 2);
    // On: it is required, "Option" too.
    EXPECT_EQ(d.LoadFromString(Doc("1", "", "")), -1);
    EXPECT_EQ(d.LoadFromString(Doc("1", "",
                                   "<ManualLock><LockedTime>1</LockedTime>"
                                   "</ManualLock>")),
              -1);
    EXPECT_EQ(Manual(d), "3/30/5/2/1");
}

TEST(LockSchedule, PartialAndOddLoads)
{
    CLockScheduleData d;
    // Each missing child of "ManualLock" fails; what came before stays.
    EXPECT_EQ(d.LoadFromString(Doc("1", "",
                                   "<ManualLock Option=\"x\"><LockedTime>7</LockedTime>"
                                   "<DisconnectTime>8</DisconnectTime>"
                                   "<UnlockAfterConnect>9</UnlockAfterConnect>"
                                   "</ManualLock>")),
              -1);
    EXPECT_EQ(Manual(d), "0/7/8/0/0");
    // Non-numeric text stores 0; an element without text keeps its field.
    d.SetLockStatus(4);
    EXPECT_EQ(d.LoadFromString("<LockSchedule><AutoLockStatus>on</AutoLockStatus>"
                               "<ManualLockStatus>0</ManualLockStatus><LockStatus/>"
                               "</LockSchedule>"),
              0);
    EXPECT_FALSE(d.IsAutoLockEnable());
    EXPECT_EQ(d.GetLockStatus(), 4);
    // The status elements are read in order: a "ManualLockStatus" before
    // "AutoLockStatus" is not found.
    EXPECT_EQ(d.LoadFromString("<LockSchedule><ManualLockStatus>1</ManualLockStatus>"
                               "<AutoLockStatus>1</AutoLockStatus><LockStatus>2</LockStatus>"
                               "</LockSchedule>"),
              -1);
    EXPECT_TRUE(d.IsAutoLockEnable());
    EXPECT_EQ(d.LoadFromString("<Other/>"), -1);
    EXPECT_EQ(d.LoadFromString(""), -1);
    EXPECT_EQ(d.LoadFromFile(tavtest::TempRoot() + "/missing.xml"), -1);
}

TEST(LockSchedule, SectionsLoading)
{
    CLockScheduleData d;
    Fill(d);
    // No section in the document: the held sections stay.
    EXPECT_EQ(d.LoadFromString(Doc("0", "", "")), 0);
    EXPECT_EQ(Sections(d), "0:8-9 null 6:23-24 9:1-2 ");
    EXPECT_EQ(d.LoadFromString("<LockSchedule><AutoLockStatus>1</AutoLockStatus>"
                               "<ManualLockStatus>0</ManualLockStatus><LockStatus>2</LockStatus>"
                               "</LockSchedule>"),
              0);
    EXPECT_EQ(Sections(d), "0:8-9 null 6:23-24 9:1-2 ");

    // Otherwise they are replaced; incomplete ones are dropped; unknown day
    // names read -1 and save back as "Invalid Day.".
    EXPECT_EQ(
        d.LoadFromString(Doc("0",
                             "<LockTimeSection DayOfWeek=\"TUESDAY\" Start=\"10\" End=\"11\"/>"
                             "<LockTimeSection DayOfWeek=\"FRIDAY\" Start=\"3\"/>"
                             "<LockTimeSection Start=\"3\" End=\"4\"/>"
                             "<LockTimeSection DayOfWeek=\"friday\" Start=\"x\" End=\"5\"/>",
                             "")),
        0);
    EXPECT_EQ(Sections(d), "1:10-11 -1:0-5 ");
    std::string out;
    ASSERT_EQ(d.Save2String(out), 0);
    EXPECT_NE(out.find("<LockTimeSection DayOfWeek=\"Invalid Day.\" Start=\"0\" End=\"5\" />"),
              std::string::npos);
}

TEST(LockSchedule, ListOwnership)
{
    CLockScheduleData d;
    std::list<CLockTimeSection*>* held = d.GetPAutomaticLockTimeList();
    held->push_back(new CLockTimeSection(1, 1, 2));
    d.SetPAutomaticLockTimeList(held); // the same list: kept, not freed
    EXPECT_EQ(d.GetPAutomaticLockTimeList(), held);
    EXPECT_EQ(Sections(d), "1:1-2 ");

    auto* mine = new std::list<CLockTimeSection*>{new CLockTimeSection(2, 3, 4), nullptr};
    d.SetPAutomaticLockTimeList(mine); // the old list and its section are freed
    EXPECT_EQ(d.GetPAutomaticLockTimeList(), mine);
    d.Clear();
    EXPECT_TRUE(mine->empty());
    EXPECT_EQ(d.GetPAutomaticLockTimeList(), mine);

    mine->push_back(new CLockTimeSection(3, 4, 5));
    d.SetPAutomaticLockTimeList(nullptr);
    EXPECT_EQ(d.GetPAutomaticLockTimeList(), nullptr);
    // Without a list: saving writes no section, loading sections makes one.
    std::string out;
    ASSERT_EQ(d.Save2String(out), 0);
    EXPECT_NE(out.find("<AutomaticLock />"), std::string::npos);
    d.Clear();
    EXPECT_EQ(d.LoadFromString(Doc("0",
                                   "<LockTimeSection DayOfWeek=\"MONDAY\" Start=\"1\" "
                                   "End=\"2\"/>",
                                   "")),
              0);
    ASSERT_NE(d.GetPAutomaticLockTimeList(), nullptr);
    EXPECT_EQ(Sections(d), "0:1-2 ");
    // The destructor releases the sections (the leak checker would tell).
}

namespace {

// Count their destructions: a section deleted twice or never, or an object
// FinalRelease does not delete, shows in the counts.
struct CountedSection : CLockTimeSection {
    CountedSection(int day, int start, int end) : CLockTimeSection(day, start, end) { ++alive; }
    ~CountedSection() override { --alive; }
    static int alive;
};
int CountedSection::alive = 0;

struct CountedSchedule : CLockScheduleData {
    ~CountedSchedule() override { ++destroyed; }
    static int destroyed;
};
int CountedSchedule::destroyed = 0;

} // namespace

// The manual-lock record is left to the leak checker of the sanitizer build.
TEST(LockSchedule, FinalReleaseFreesEverythingOnce)
{
    CountedSection::alive = 0;
    CountedSchedule::destroyed = 0;
    auto* d = new CountedSchedule;
    d->GetPAutomaticLockTimeList()->push_back(new CountedSection(0, 8, 9));
    d->GetPAutomaticLockTimeList()->push_back(nullptr);
    d->GetPAutomaticLockTimeList()->push_back(new CountedSection(6, 23, 24));
    ASSERT_EQ(CountedSection::alive, 2);
    d->FinalRelease();
    EXPECT_EQ(CountedSection::alive, 0);
    EXPECT_EQ(CountedSchedule::destroyed, 1);

    auto* empty = new CountedSchedule;
    empty->SetPAutomaticLockTimeList(nullptr);
    empty->FinalRelease();
    EXPECT_EQ(CountedSchedule::destroyed, 2);
}

TEST(LockSchedule, ManualLockInfoIsCopied)
{
    CLockScheduleData d;
    d.SetManualLockInfo(nullptr);
    d.SetManualLockOption(5);
    EXPECT_EQ(Manual(d), "5/0/0/0/0");
    CManualLock m;
    m.SetDisconnectTime(9);
    d.SetManualLockInfo(&m);
    m.SetDisconnectTime(1);
    EXPECT_EQ(Manual(d), "0/0/9/0/0");
}
