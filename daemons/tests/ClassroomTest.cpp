// A class of 40 on this machine (the lab: the class broker, tav-teacherd and
// 40 student machines, each with its own /etc/TAV, bus, tav-studentd and
// listening application), driven by the teacher application in this process
// on the teacher's bus. Measured times are printed and recorded as test
// properties; the deadlines are functional, not goals.
#include "ClassLab.h"
#include "ClassMessages.h"
#include "IIPCTeacherAPICallback.h"
#include "IPCAPIManager.h"
#include "IPCTeacherAPI.h"
#include "IntfData.h"
#include "LockScheduleData.h"
#include "SearchResultData.h"
#include "TAVProtocol.h"
#include "TabNavigationData.h"
#include "TeacherNotifications.h"
#include "TestSupport.h"
#include "Topics.h"

#include <gtest/gtest.h>
#include <mosquitto.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <ctime>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using tavlab::ClassLab;

constexpr int kStudents = 40;
const std::string kClass = "5A";
const std::string kSpare = "S41"; // in the class, started later
const std::string kLocked = "\"callback\":\"NotifyLockStatusChanged\",\"locked\":true";
const std::string kUnlocked = "\"callback\":\"NotifyLockStatusChanged\",\"locked\":false";
const std::string kScheduleChanged = "\"NotifySchedulePolicyChanged\"";
const std::string kTabNavChanged = "\"NotifyTabNavPolicyChanged\"";

// What the teacher application heard: "kind id value" with the time.
class TeacherApp : public tavtest::TeacherNotifications {
public:
    // The students that sent kind with value since `since`, and when the
    // last of them did.
    std::set<std::string> From(const std::string& kind, const std::string& value,
                               Clock::time_point since, Clock::time_point* last = nullptr) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::set<std::string> ids;
        for (const Event& e : m_events)
            if (e.at >= since && e.kind == kind && e.value == value && ids.insert(e.id).second &&
                last)
                *last = e.at;
        return ids;
    }
    bool WaitFrom(const std::string& kind, const std::string& value, std::size_t count,
                  Clock::time_point since, int timeoutMs = 30000) const
    {
        return tavtest::WaitFor([&] { return From(kind, value, since).size() >= count; },
                                timeoutMs);
    }
    std::vector<std::string> Programs() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_programs;
    }
    std::string All() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::string all;
        for (const Event& e : m_events)
            all += e.kind + " " + e.id + " " + e.value + "\n";
        return all;
    }

private:
    struct Event {
        Clock::time_point at;
        std::string kind, id, value;
    };
    // A search answer is kept whole apart; its event carries no value.
    void Heard(const char* kind, const std::string& id, const std::string& value) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const bool search = std::string(kind) == "search";
        m_events.push_back({Clock::now(), kind, id, search ? "" : value});
        if (search)
            m_programs.push_back(value);
    }
    mutable std::mutex m_mutex;
    std::vector<Event> m_events;
    std::vector<std::string> m_programs;
};

// A lock-schedule document: weekly sections, automatic locking on or off,
// and a manual lock of lockedMinutes (0: until unlocked).
std::string Schedule(const std::vector<std::array<int, 3>>& sections, bool autoLock,
                     int lockedMinutes = 0)
{
    LibTAVData::CLockScheduleData data;
    data.SetAutoLock(autoLock ? 1 : 0);
    data.SetManualLock(1);
    auto* list = new std::list<LibTAVData::CLockTimeSection*>;
    for (const auto& s : sections)
        list->push_back(new LibTAVData::CLockTimeSection(s[0], s[1], s[2]));
    data.SetPAutomaticLockTimeList(list);
    data.GetPManualLockInfo()->SetLockedTime(lockedMinutes);
    std::string xml;
    data.Save2String(xml);
    return xml;
}

const std::vector<std::array<int, 3>> kWeek = {{0, 8, 12}, {4, 13, 15}};

// The sections of a machine's LockSchedule.xml ("" when it does not load).
std::string SectionsOnDisk(const std::string& etc)
{
    LibTAVData::CLockScheduleData data;
    if (data.LoadFromFile(etc + "/LockSchedule.xml") != 0 || !data.GetPAutomaticLockTimeList())
        return "";
    std::string text;
    for (const auto* s : *data.GetPAutomaticLockTimeList())
        text += std::to_string(s->m_iDayOfWeek) + ":" + std::to_string(s->m_iStartTime) + "-" +
                std::to_string(s->m_iEndTime) + " ";
    return text;
}

std::string TabNav(const std::string& category)
{
    LibTAVData::CTabNavigationData data;
    auto* categories = new std::list<LibTAVData::CCategory*>;
    categories->push_back(new LibTAVData::CCategory);
    categories->back()->SetName(category);
    data.SetPCategoryInfoList(categories);
    std::string xml;
    data.Save2String(xml);
    return xml;
}

bool HasCategory(const std::string& etc, const std::string& category)
{
    LibTAVData::CTabNavigationData data;
    return data.LoadFromFile(etc + "/TabNavigation.xml") == 0 &&
           data.IsCategoryExist(category) == 1;
}

double Seconds(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

class Classroom : public testing::Test {
protected:
    void SetUp() override
    {
        tavlab::LabOptions options;
        options.dir = tavtest::MakeTempDir("lab");
        options.className = kClass;
        options.students = tavlab::StudentIds(kStudents);
        options.spares = {kSpare};
        m_ids = options.students;
        m_lab = std::make_unique<ClassLab>(options);
        const auto started = Clock::now();
        std::string why;
        ASSERT_TRUE(m_lab->Start(why)) << why;
        Report("class_in_seconds", Seconds(started, Clock::now()));
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", m_lab->TeacherBus().c_str(), 1);
        // The library's trace of 40 students' traffic would bury a failure.
        ::setenv("TAV_LOG_LEVEL", "warning", 1);
        IPCAPI::IPCAPIBase* base = nullptr;
        ASSERT_EQ(IPCAPI::InitializeTAVLibrary(0, &base), 0);
        m_api = static_cast<IPCAPI::IPCTeacherAPI*>(base);
        m_api->RegisterCallBack(&m_app);
        // The application's worker delivers its first notification a
        // second after it starts: not a delay of the class to measure.
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    }

    void TearDown() override
    {
        if (m_api)
            IPCAPI::UninitializeTAVLibrary(m_api);
        if (HasFailure() && m_lab)
            std::printf("teacher heard:\n%s\nteacher daemon:\n%s\n", m_app.All().c_str(),
                        m_lab->TeacherLog().c_str());
        m_lab.reset();
    }

    void Report(const std::string& name, double seconds)
    {
        std::printf("classroom: %s = %.3f\n", name.c_str(), seconds);
        RecordProperty(name, std::to_string(seconds));
    }

    // Every student in ids satisfies pred (within timeoutMs); the first
    // that does not is named in why.
    bool Every(const std::vector<std::string>& ids,
               const std::function<bool(const std::string&)>& pred, std::string& why,
               int timeoutMs = 30000)
    {
        for (const std::string& id : ids)
            if (!tavtest::WaitFor([&] { return pred(id); }, timeoutMs)) {
                why = id + ": " + m_lab->StudentLog(id);
                return false;
            }
        return true;
    }

    int LockedCount(const std::string& id) const { return m_lab->CountHeard(id, kLocked); }

    std::unique_ptr<ClassLab> m_lab;
    std::vector<std::string> m_ids;
    IPCAPI::IPCTeacherAPI* m_api = nullptr;
    TeacherApp m_app;
};

TEST_F(Classroom, DeployedScheduleReachesEveryStudent)
{
    const std::string schedule = Schedule(kWeek, false);
    const auto sent = Clock::now();
    ASSERT_EQ(m_api->DeploySchedulePolicy("", schedule), 0);
    ASSERT_TRUE(m_app.WaitFrom("schedule", "ok", kStudents, sent)) << m_app.All();
    Clock::time_point lastAnswer;
    EXPECT_EQ(m_app.From("schedule", "ok", sent, &lastAnswer).size(), std::size_t(kStudents));
    // The spare machine is off: answered at once, it gets the policy later.
    EXPECT_EQ(m_app.From("schedule", "failed", sent), std::set<std::string>{kSpare});
    Report("deploy_to_last_answer_seconds", Seconds(sent, lastAnswer));

    std::string why;
    EXPECT_TRUE(Every(
        m_ids,
        [&](const std::string& id) {
            return SectionsOnDisk(m_lab->StudentEtc(id)) == "0:8-12 4:13-15 ";
        },
        why))
        << why;
    EXPECT_TRUE(Every(
        m_ids, [&](const std::string& id) { return m_lab->CountHeard(id, kScheduleChanged) == 1; },
        why))
        << why;
}

TEST_F(Classroom, ManualLockAndUnlockReachOnlyThatStudent)
{
    const std::string target = m_ids[6];
    const auto sent = Clock::now();
    ASSERT_EQ(m_api->ManualLockRemotStudent(target, Schedule({}, false)), 0);
    ASSERT_TRUE(m_app.WaitFrom("lock", "0", 1, sent)) << m_app.All();
    ASSERT_TRUE(tavtest::WaitFor([&] { return LockedCount(target) == 1; }, 15000))
        << m_lab->StudentLog(target);
    EXPECT_TRUE(m_app.WaitFrom("status", "2", 1, sent));
    Report("lock_to_application_seconds", Seconds(sent, Clock::now()));

    const auto unlock = Clock::now();
    ASSERT_EQ(m_api->ManualUnlockRemoteStudent(target), 0);
    ASSERT_TRUE(m_app.WaitFrom("unlock", "0", 1, unlock)) << m_app.All();
    EXPECT_TRUE(tavtest::WaitFor([&] { return m_lab->CountHeard(target, kUnlocked) == 1; }, 15000));
    EXPECT_TRUE(m_app.WaitFrom("status", "1", 1, unlock));

    EXPECT_EQ(m_app.From("lock", "0", sent), std::set<std::string>{target});
    EXPECT_EQ(m_app.From("status", "2", sent), std::set<std::string>{target});
    for (const std::string& id : m_ids)
        EXPECT_EQ(LockedCount(id), id == target ? 1 : 0) << id;
}

// Minutes are the unit of a timed lock and the daemon has no shorter test
// setting: the shortest, one minute, is waited for.
TEST_F(Classroom, TimedLockEndsByItself)
{
    const std::string target = m_ids[2];
    const auto sent = Clock::now();
    ASSERT_EQ(m_api->ManualLockRemotStudent(target, Schedule({}, false, 1)), 0);
    ASSERT_TRUE(tavtest::WaitFor([&] { return LockedCount(target) == 1; }, 15000))
        << m_lab->StudentLog(target);
    ASSERT_TRUE(m_app.WaitFrom("status", "2", 1, sent));
    ASSERT_TRUE(tavtest::WaitFor([&] { return m_lab->CountHeard(target, kUnlocked) == 1; }, 90000))
        << m_lab->StudentLog(target);
    EXPECT_TRUE(m_app.WaitFrom("status", "1", 1, sent));
    const double took = Seconds(sent, Clock::now());
    Report("timed_lock_of_one_minute_seconds", took);
    EXPECT_GE(took, 58.0);
}

TEST_F(Classroom, ProgramSearchAnswersFromEveryStudentMerge)
{
    // Each machine has a program of its own and one all of them have.
    for (const std::string& id : m_ids) {
        const std::string folder = m_lab->StudentEtc(id) + "/programs";
        ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
        for (const std::string& name : {std::string("common-tool"), "tool-" + id}) {
            ASSERT_TRUE(tavtest::WriteFile(folder + "/" + name, "#!/bin/sh\n"));
            ASSERT_EQ(::chmod((folder + "/" + name).c_str(), 0755), 0);
        }
    }
    const auto sent = Clock::now();
    int opid = 0;
    ASSERT_EQ(m_api->SearchProgram("/etc/TAV/programs", opid), 0);
    ASSERT_TRUE(m_app.WaitFrom("search", "", kStudents, sent)) << m_app.All();
    Clock::time_point last;
    m_app.From("search", "", sent, &last);
    Report("search_to_last_answer_seconds", Seconds(sent, last));

    // Merged as the shell controller does, answer by answer.
    LibTAVData::CSearchResultData merged;
    for (const std::string& xml : m_app.Programs())
        EXPECT_EQ(merged.AddApplications(xml), 0);
    std::set<std::string> names;
    for (const auto* app : *merged.GetPApplicationInfoList())
        EXPECT_TRUE(names.insert(app->GetName()).second) << app->GetName() << " twice";
    std::set<std::string> expected = {"common-tool"};
    for (const std::string& id : m_ids)
        expected.insert("tool-" + id);
    EXPECT_EQ(names, expected);
}

TEST_F(Classroom, StoppedStudentDaemonGoesOfflineAtTheTeacher)
{
    // Stopped (it says goodbye) and killed (the broker's last will).
    for (const bool crash : {false, true}) {
        const std::string target = crash ? m_ids[5] : m_ids[4];
        const auto stopped = Clock::now();
        ASSERT_TRUE(m_lab->StopStudentDaemon(target, crash));
        ASSERT_TRUE(m_app.WaitFrom("status", "0", 1, stopped, 15000)) << m_app.All();
        Clock::time_point heard;
        EXPECT_EQ(m_app.From("status", "0", stopped, &heard), std::set<std::string>{target});
        Report(crash ? "killed_daemon_offline_seconds" : "stopped_daemon_offline_seconds",
               Seconds(stopped, heard));
    }
}

TEST_F(Classroom, BrokerRestartLosesNothing)
{
    const std::string schedule = Schedule(kWeek, false);
    const auto before = Clock::now();
    // Just before the restart: the broker took the deployment (a first
    // student answered) and goes while the others apply it.
    ASSERT_EQ(m_api->DeploySchedulePolicy("", schedule), 0);
    ASSERT_TRUE(m_app.WaitFrom("schedule", "ok", 1, before)) << m_app.All();
    m_lab->Broker().Stop();
    const auto down = Clock::now();
    // During the restart.
    ASSERT_TRUE(m_app.WaitFrom("status", "0", kStudents, down)) << m_app.All();
    ASSERT_EQ(m_api->DeployTabNavPolicy("", TabNav("Restarted")), 0);
    ASSERT_TRUE(m_lab->Broker().Restart()) << m_lab->Broker().Log();
    const auto up = Clock::now();

    ASSERT_TRUE(m_app.WaitFrom("status", "1", kStudents, up, 60000)) << m_app.All();
    Clock::time_point lastBack;
    m_app.From("status", "1", up, &lastBack);
    Report("broker_restart_presence_back_seconds", Seconds(up, lastBack));
    std::list<IPCAPI::tagStudent_t> list;
    int ret = -1;
    ASSERT_EQ(m_api->GetStudentList(list, ret), 0);
    EXPECT_EQ(std::count_if(list.begin(), list.end(), [](const auto& s) { return s.status == 1; }),
              kStudents);

    std::string why;
    EXPECT_TRUE(Every(
        m_ids,
        [&](const std::string& id) {
            return SectionsOnDisk(m_lab->StudentEtc(id)) == "0:8-12 4:13-15 ";
        },
        why))
        << why;
    EXPECT_TRUE(Every(
        m_ids,
        [&](const std::string& id) { return HasCategory(m_lab->StudentEtc(id), "Restarted"); },
        why))
        << why;
    EXPECT_TRUE(Every(
        m_ids,
        [&](const std::string& id) {
            return m_lab->CountHeard(id, kScheduleChanged) == 1 &&
                   m_lab->CountHeard(id, kTabNavChanged) == 1;
        },
        why))
        << why;
    // Every student's answers reach the teacher application.
    EXPECT_TRUE(m_app.WaitFrom("schedule", "ok", kStudents, before)) << m_app.All();
    EXPECT_TRUE(m_app.WaitFrom("tabnav", "ok", kStudents, down)) << m_app.All();
}

TEST_F(Classroom, StudentStartingAfterADeploymentGetsThePolicy)
{
    const auto sent = Clock::now();
    ASSERT_EQ(m_api->DeploySchedulePolicy("", Schedule(kWeek, false)), 0);
    ASSERT_TRUE(m_app.WaitFrom("schedule", "ok", kStudents, sent)) << m_app.All();
    // Not running at the deployment: answered as offline then.
    EXPECT_EQ(m_app.From("schedule", "failed", sent), std::set<std::string>{kSpare});

    std::string why;
    const auto started = Clock::now();
    ASSERT_TRUE(m_lab->StartStudent(kSpare, why)) << why;
    EXPECT_TRUE(tavtest::WaitFor(
        [&] { return SectionsOnDisk(m_lab->StudentEtc(kSpare)) == "0:8-12 4:13-15 "; }, 15000));
    EXPECT_TRUE(
        tavtest::WaitFor([&] { return m_lab->CountHeard(kSpare, kScheduleChanged) == 1; }, 15000));
    EXPECT_TRUE(m_app.WaitFrom("schedule", "ok", 1, started)) << m_app.All();
    EXPECT_EQ(m_app.From("schedule", "ok", started), std::set<std::string>{kSpare});
}

// Publishes as one machine of the class and waits for the broker's PUBACKs.
class Intruder {
public:
    Intruder(const tavlab::ClassBroker& broker, const std::string& id)
    {
        mosquitto_lib_init();
        const tavlab::MachineCredentials c = broker.Credentials(id);
        m_mosq.reset(mosquitto_new(id.c_str(), true, this));
        mosquitto_tls_set(m_mosq.get(), c.caFile.c_str(), nullptr, c.certFile.c_str(),
                          c.keyFile.c_str(), nullptr);
        mosquitto_connect_callback_set(m_mosq.get(), [](mosquitto*, void* self, int rc) {
            static_cast<Intruder*>(self)->m_connack = rc;
        });
        mosquitto_publish_callback_set(m_mosq.get(), [](mosquitto*, void* self, int) {
            ++static_cast<Intruder*>(self)->m_acked;
        });
        m_connected = mosquitto_connect(m_mosq.get(), broker.Host().c_str(), broker.Port(), 30) ==
                          MOSQ_ERR_SUCCESS &&
                      Pump([&] { return m_connack == 0; });
    }
    ~Intruder() { mosquitto_disconnect(m_mosq.get()); }
    bool Connected() const { return m_connected; }
    bool Publish(const std::string& topic, IPCAPI::CIntfData& env, bool retain = false)
    {
        std::string text;
        env.toString(text);
        ++m_sent;
        return mosquitto_publish(m_mosq.get(), nullptr, topic.c_str(),
                                 static_cast<int>(text.size()), text.data(), 1,
                                 retain) == MOSQ_ERR_SUCCESS &&
               Pump([&] { return m_acked == m_sent; });
    }

private:
    bool Pump(const std::function<bool()>& cond)
    {
        return tavtest::WaitFor(
            [&] {
                mosquitto_loop(m_mosq.get(), 10, 1);
                return cond();
            },
            10000);
    }
    struct Deleter {
        void operator()(mosquitto* m) const { mosquitto_destroy(m); }
    };
    std::unique_ptr<mosquitto, Deleter> m_mosq;
    int m_connack = -1, m_sent = 0, m_acked = 0;
    bool m_connected = false;
};

TEST_F(Classroom, OnlyTheTeacherCanLockStudents)
{
    tavlab::ClassBroker& broker = m_lab->Broker();
    // No certificate: not even a connection.
    EXPECT_EQ(tavlab::TryConnect(broker.Port(), {broker.Credentials("teacher").caFile, "", ""}),
              tavlab::ConnectOutcome::Refused);

    // A student's certificate: the lock commands and a schedule that locks
    // now, on the teacher's topics, are dropped by the broker.
    Intruder student(broker, kSpare);
    ASSERT_TRUE(student.Connected());
    const auto topics = *tavd::ClassTopics::ForClass(kClass);
    namespace Msg = IPCAPI::Msg;
    IPCAPI::CIntfData lock(Msg::TEACHER_MANUALLOCKREMOTESTUDENT, 7001, "all");
    lock.m_ParaXml.setString(IPCAPI::Param::lockPolicy, Schedule({}, false));
    EXPECT_TRUE(student.Publish(topics.CommandToAll(), lock));
    for (const std::string& id : m_ids)
        EXPECT_TRUE(student.Publish(*topics.Command(id), lock));
    std::vector<std::array<int, 3>> allWeek;
    for (int day = 0; day < 7; ++day)
        allWeek.push_back({day, 0, 24});
    IPCAPI::CIntfData policy(Msg::TEACHER_DEPLOYSCHEDULEPOLICY, 7002, "all");
    policy.m_ParaXml.setString(IPCAPI::Param::schedulePolicyXML, Schedule(allWeek, true));
    policy.m_ParaXml.setString(tavd::kDeployTimeParam,
                               std::to_string(std::time(nullptr) * 1000 + 60000));
    EXPECT_TRUE(student.Publish(topics.PolicyForAll(tavd::PolicyKind::Schedule), policy, true));
    // What the student may send reaches the teacher after the rest: the
    // broker has dealt with everything before it.
    IPCAPI::CIntfData barrier(Msg::TEACHER_KICKOFFSTUDENTCALLBACK, 7003, kSpare);
    barrier.m_ParaXml.setInt(IPCAPI::Param::iReturn, 0);
    const auto sent = Clock::now();
    EXPECT_TRUE(student.Publish(*topics.Student(kSpare, tavd::StudentChannel::Answer), barrier));
    ASSERT_TRUE(m_app.WaitFrom("kick", "0", 1, sent)) << m_app.All();
    // Long enough for a policy to be applied (0.5 s) and a lock evaluated.
    std::this_thread::sleep_for(std::chrono::seconds(2));

    for (const std::string& id : m_ids) {
        EXPECT_EQ(LockedCount(id), 0) << id;
        EXPECT_EQ(m_lab->CountHeard(id, kScheduleChanged), 0) << id;
    }
    EXPECT_TRUE(m_app.From("status", "2", sent).empty()) << m_app.All();
    EXPECT_TRUE(m_app.From("lock", "0", sent).empty()) << m_app.All();
}

} // namespace
