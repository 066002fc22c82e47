// tav-studentd as a student machine runs it: the real daemon program on the
// test's private bus, a real class broker, the student application played
// by IPCStudentAPI (or by tavctl run as another user), the teacher by an
// MQTT client with the teacher's certificate. /etc/TAV is the test's own.
#include "ClassMessages.h"
#include "IPCAPIManager.h"
#include "IPCStudentAPI.h"
#include "IntfData.h"
#include "LockScheduleData.h"
#include "MqttClient.h"
#include "SearchResultData.h"
#include "TAVProtocol.h"
#include "TAVSystemSettingData.h"
#include "TabNavigationData.h"
#include "TestBroker.h"
#include "TestSupport.h"
#include "Topics.h"

#include <gtest/gtest.h>

#include <crypt.h>
#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <ctime>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

namespace {

using IPCAPI::CIntfData;
using tavd::StudentChannel;
namespace Msg = IPCAPI::Msg;
namespace Param = IPCAPI::Param;

const std::string kClass = "5A";
const std::string kStudent = "S1";

// The student application: every notification as one line of text.
class Application : public IPCAPI::IIPCStudentAPICallback {
public:
    Application()
    {
        IPCAPI::IPCAPIBase* base = nullptr;
        InitializeTAVLibrary(1, &base);
        api = static_cast<IPCAPI::IPCStudentAPI*>(base);
        api->RegisterCallBack(this);
    }
    ~Application() { UninitializeTAVLibrary(api); }

    void ConnectTeacherCallBack(std::string teacher, int result) override
    {
        Got("connect " + teacher + " " + std::to_string(result));
    }
    void SearchTeacherCallBack(const std::list<std::string>& teachers) override
    {
        Got("teachers " + (teachers.empty() ? "" : teachers.front()));
    }
    void NotifyLockStatusChanged(bool locked) override { Got(locked ? "locked" : "unlocked"); }
    void NotifyTabNavPolicyChanged() override { Got("tabnav changed"); }
    void NotifySchedulePolicyChanged() override { Got("schedule changed"); }
    void NotifyTeacherStatusChanged(std::string teacher, int state) override
    {
        Got("teacher " + teacher + " " + std::to_string(state));
    }
    void SearchLocalProgramCallBack(std::string xml) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        programs = xml;
        m_lines.push_back("programs");
    }

    // How many times line arrived.
    int Count(const std::string& line)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<int>(std::count(m_lines.begin(), m_lines.end(), line));
    }
    bool Has(const std::string& line) { return Count(line) > 0; }
    std::string Lines()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::string all;
        for (const auto& l : m_lines)
            all += l + "; ";
        return all;
    }
    std::string Programs()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return programs;
    }

    IPCAPI::IPCStudentAPI* api = nullptr;

private:
    void Got(const std::string& line)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back(line);
    }

    std::mutex m_mutex;
    std::vector<std::string> m_lines;
    std::string programs;
};

// The teacher's machine: what the students publish, and its own messages.
class Teacher {
public:
    explicit Teacher(const tavtest::TestBroker& broker)
        : m_topics(*tavd::ClassTopics::ForClass(kClass))
    {
        const tavtest::MachineCredentials c = broker.Credentials("teacher");
        tavd::MqttOptions o;
        o.clientId = "teacher";
        o.host = broker.Host();
        o.port = broker.Port();
        o.caFile = c.caFile;
        o.certFile = c.certFile;
        o.keyFile = c.keyFile;
        tavd::MqttHandlers h;
        h.onMessage = [this](const tavd::MqttMessage& m) { m_got.push_back(m); };
        h.onConnected = [this] { m_connected = true; };
        m_client = std::make_unique<tavd::MqttClient>(o, h);
        m_client->Subscribe(m_topics.EveryStudentFilter());
        std::string error;
        EXPECT_TRUE(m_client->Start(error)) << error;
        EXPECT_TRUE(Until([this] { return m_connected; }));
    }

    // Runs the client's handlers until cond holds (false after timeoutMs).
    bool Until(const std::function<bool()>& cond, int timeoutMs = 15000)
    {
        return tavtest::WaitFor(
            [&] {
                m_client->Dispatch();
                return cond();
            },
            timeoutMs);
    }

    void Send(const std::string& topic, CIntfData& envelope, bool retain = false)
    {
        std::string text;
        envelope.toString(text);
        ASSERT_TRUE(m_client->Publish(topic, text, retain));
    }
    void Command(CIntfData& envelope) { Send(*m_topics.Command(kStudent), envelope); }
    void Presence(bool online)
    {
        CIntfData p(tavd::kPresenceMessage, 0, tavd::kTeacherSender);
        p.m_ParaXml.setString(tavd::kStateParam, online ? tavd::kOnline : tavd::kOffline);
        Send(m_topics.TeacherPresence(), p, true);
    }
    void Deploy(const std::string& topic, const std::string& schedule, int opid,
                long long deployTime)
    {
        CIntfData d(Msg::TEACHER_DEPLOYSCHEDULEPOLICY, opid, kStudent);
        d.m_ParaXml.setString(Param::schedulePolicyXML, schedule);
        d.m_ParaXml.setString(tavd::kDeployTimeParam, std::to_string(deployTime));
        Send(topic, d, true);
    }

    // The envelopes the student sent on a channel with that name (and
    // operation id, when given), oldest first.
    std::vector<CIntfData> From(StudentChannel channel, const std::string& name, int opid = -1)
    {
        std::vector<CIntfData> found;
        const std::string topic = *m_topics.Student(kStudent, channel);
        for (const auto& m : m_got) {
            CIntfData e;
            std::string n;
            int id = 0;
            if (m.topic != topic || !e.load(m.payload))
                continue;
            e.GetMessage(n);
            e.GetOperationID(id);
            if (n == name && (opid < 0 || id == opid))
                found.push_back(e);
        }
        return found;
    }
    // The student's latest presence: "online locked=L status=S", or "offline".
    std::string LatestPresence()
    {
        auto all = From(StudentChannel::Presence, tavd::kPresenceMessage);
        if (all.empty())
            return "";
        std::string state;
        all.back().m_ParaXml.getString(tavd::kStateParam, state);
        std::list<IPCAPI::tagStudent_t> records;
        all.back().m_ParaXml.getStudentInfoList(records);
        if (state != tavd::kOnline || records.size() != 1)
            return state;
        return state + " locked=" + std::to_string(records.front().bLocked) +
               " status=" + std::to_string(records.front().status);
    }

    tavd::ClassTopics m_topics;

private:
    std::unique_ptr<tavd::MqttClient> m_client;
    std::vector<tavd::MqttMessage> m_got;
    bool m_connected = false;
};

// A lock-schedule document: automatic sections (day, start, end) and a
// manual part.
std::string Schedule(const std::vector<std::array<int, 3>>& sections, int unlockAfterDisconnect = 0)
{
    LibTAVData::CLockScheduleData data;
    data.SetAutoLock(sections.empty() ? 0 : 1);
    data.SetManualLock(1);
    auto* list = new std::list<LibTAVData::CLockTimeSection*>;
    for (const auto& s : sections)
        list->push_back(new LibTAVData::CLockTimeSection(s[0], s[1], s[2]));
    data.SetPAutomaticLockTimeList(list);
    data.GetPManualLockInfo()->SetUnlockAfterDisconnect(unlockAfterDisconnect);
    std::string xml;
    data.Save2String(xml);
    return xml;
}

int TodayMondayFirst()
{
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    return (local.tm_wday + 6) % 7;
}

int LockStatusOnDisk()
{
    LibTAVData::CLockScheduleData data;
    return data.LoadFromFile("/etc/TAV/LockSchedule.xml") == 0 ? data.GetLockStatus() : -1;
}

// Made-up accounts for this test process (its private mount namespace
// shows its own /etc/passwd, /etc/group and /etc/shadow): an administrator
// in group "tav-test-admins" whose password is "secret".
struct Accounts {
    uid_t admin = 0;
    gid_t adminGroup = 0;
    std::string failure;
};

const Accounts& TestAccounts()
{
    static const Accounts accounts = [] {
        Accounts a;
        a.admin = 41000;
        while (getpwuid(a.admin))
            ++a.admin;
        a.adminGroup = 41000;
        while (getgrgid(a.adminGroup))
            ++a.adminGroup;
        char setting[CRYPT_GENSALT_OUTPUT_SIZE] = {};
        auto data = std::make_unique<crypt_data>();
        const char* salt = crypt_gensalt_rn(nullptr, 0, nullptr, 0, setting, sizeof setting);
        const char* hash = salt ? crypt_r("secret", salt, data.get()) : nullptr;
        const std::string id = std::to_string(a.admin);
        const std::map<std::string, std::string> additions = {
            {"passwd", "tav-test-admin:x:" + id + ":65534::/nonexistent:/usr/sbin/nologin\n"},
            {"group", "tav-test-admins:x:" + std::to_string(a.adminGroup) + ":tav-test-admin\n"},
            {"shadow",
             "tav-test-admin:" + std::string(hash ? hash : "!") + ":19000:0:99999:7:::\n"}};
        const std::string dir = tavtest::MakeTempDir("etc");
        for (const auto& [file, line] : additions) {
            const std::string made = dir + "/" + file, real = "/etc/" + file;
            if (!tavtest::WriteFile(made, tavtest::ReadFile(real) + line) ||
                ::mount(made.c_str(), real.c_str(), nullptr, MS_BIND, nullptr) != 0)
                a.failure = "cannot stand in for " + real;
        }
        return a;
    }();
    return accounts;
}

// Runs a program as uid (group nogroup, no others) and gives its output;
// "exit N" is appended.
std::string RunAs(uid_t uid, const std::vector<std::string>& argv)
{
    // The test's bus socket, reachable for other users.
    const std::string address = tavtest::DefaultBus()->Address();
    const std::string socket = address.substr(address.find('=') + 1);
    ::chmod(socket.c_str(), 0777);
    for (std::string dir = socket; dir.size() > tavtest::TempRoot().size();) {
        dir = dir.substr(0, dir.rfind('/'));
        ::chmod(dir.c_str(), 0755);
    }
    int fds[2];
    if (::pipe(fds) != 0)
        return "no pipe";
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::dup2(fds[1], STDERR_FILENO);
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(uid) != 0)
            ::_exit(126);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        out.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return out + "exit " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}

class StudentDaemonTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!tavtest::InPrivateNamespace())
            GTEST_SKIP() << "needs a private mount namespace";
        // /etc/TAV belongs to this test process: empty it for each test.
        if (const std::unique_ptr<DIR, int (*)(DIR*)> d{::opendir("/etc/TAV"), ::closedir}) {
            while (const dirent* e = ::readdir(d.get()))
                if (e->d_name[0] != '.')
                    ::unlink((std::string("/etc/TAV/") + e->d_name).c_str());
        }
        m_dir = tavtest::MakeTempDir("studentd");
        ASSERT_TRUE(m_broker.Start(kClass, {kStudent}));
        // Stands in for modprobe: records its arguments.
        ASSERT_TRUE(tavtest::WriteFile(m_dir + "/modprobe",
                                       "#!/bin/sh\necho \"$@\" >> " + m_dir + "/modprobe.log\n"));
        ::chmod((m_dir + "/modprobe").c_str(), 0755);
        m_app = std::make_unique<Application>();
    }

    void TearDown() override
    {
        if (::testing::Test::HasFailure())
            std::printf("--- daemon output:\n%s\n",
                        tavtest::ReadFile(m_dir + "/daemon.out").c_str());
    }

    std::string StateDir() const { return m_dir + "/state"; }
    std::string RuleFile() const { return m_dir + "/usb-storage.conf"; }

    // Marks this machine as accepted into the class already.
    void Accepted()
    {
        ::mkdir(StateDir().c_str(), 0700);
        ASSERT_TRUE(tavtest::WriteFile(StateDir() + "/accepted-" + kClass, "accepted\n"));
    }

    // Starts (or restarts) the daemon; returns once it answers requests.
    void StartDaemon(const std::string& extra = "")
    {
        m_daemon.Kill();
        const std::string config = m_dir + "/tav-studentd.conf";
        ASSERT_TRUE(tavtest::WriteFile(
            config, m_broker.DaemonConfigText(kStudent) + "state_dir = " + StateDir() +
                        "\nusb_rule_file = " + RuleFile() + "\nmodprobe = " + m_dir +
                        "/modprobe\nadmin_group = tav-test-admins\n" + extra));
        ASSERT_TRUE(m_daemon.Spawn({TAV_STUDENTD, "--config", config}, m_dir + "/daemon.out"));
        std::string teacher;
        int ret = -1;
        ASSERT_TRUE(tavtest::WaitFor(
            [&] { return m_app->api->GetConnectedTeacher(teacher, ret) == 0; }, 15000));
    }

    tavtest::TestBroker m_broker;
    tavtest::ChildProcess m_daemon;
    std::unique_ptr<Application> m_app;
    std::string m_dir;
};

// A schedule the teacher deployed before this machine started reaches it
// once it is let into the class: the newest of those waiting, once, saved
// in /etc/TAV, announced to the application and answered to the teacher;
// the lock it brings is kept in the file and shown in the presence.
TEST_F(StudentDaemonTest, RetainedScheduleIsAppliedOnceTheTeacherLetsTheStudentIn)
{
    Teacher teacher(m_broker);
    teacher.Presence(true);
    std::vector<std::array<int, 3>> allWeek;
    for (int day = 0; day < 7; ++day)
        allWeek.push_back({day, 0, 24});
    teacher.Deploy(*teacher.m_topics.Policy(kStudent, tavd::PolicyKind::Schedule), Schedule({}), 40,
                   1000);
    teacher.Deploy(teacher.m_topics.PolicyForAll(tavd::PolicyKind::Schedule), Schedule(allWeek), 41,
                   2000);
    StartDaemon();

    ASSERT_TRUE(teacher.Until(
        [&] { return !teacher.From(StudentChannel::Join, tavd::kJoinMessage).empty(); }));
    std::list<IPCAPI::tagStudent_t> records;
    teacher.From(StudentChannel::Join, tavd::kJoinMessage)
        .front()
        .m_ParaXml.getStudentInfoList(records);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records.front().studentID, kStudent);
    EXPECT_EQ(records.front().IP, "127.0.0.1");
    // Nothing is applied before the verdict.
    EXPECT_TRUE(
        teacher.From(StudentChannel::Answer, Msg::TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK).empty());

    CIntfData verdict(Msg::TEACHER_CONTROLNEWSTUDENTCONNECT, 3, kStudent);
    verdict.m_ParaXml.setString(Param::allow, IPCAPI::kTrue);
    teacher.Command(verdict);
    ASSERT_TRUE(teacher.Until([&] {
        return !teacher.From(StudentChannel::Answer, Msg::TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK)
                    .empty();
    }));
    auto answers = teacher.From(StudentChannel::Answer, Msg::TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK);
    ASSERT_EQ(answers.size(), 1u);
    int opid = 0;
    std::string success;
    answers[0].GetOperationID(opid);
    answers[0].m_ParaXml.getString(Param::bSuccess, success);
    EXPECT_EQ(opid, 41);
    EXPECT_EQ(success, IPCAPI::kTrue);
    ASSERT_TRUE(teacher.Until([&] {
        return teacher.LatestPresence() == "online locked=1 status=2";
    })) << teacher.LatestPresence();
    ASSERT_TRUE(tavtest::WaitFor([&] {
        return m_app->Has("locked") && m_app->Has("teacher 5A 1");
    })) << m_app->Lines();
    EXPECT_TRUE(m_app->Has("schedule changed"));
    EXPECT_TRUE(m_app->Has("connect 5A 0"));
    LibTAVData::CLockScheduleData saved;
    ASSERT_EQ(saved.LoadFromFile("/etc/TAV/LockSchedule.xml"), 0);
    EXPECT_EQ(saved.GetPAutomaticLockTimeList()->size(), 7u);
    EXPECT_EQ(saved.GetLockStatus(), 2);
    EXPECT_TRUE(tavtest::FileExists(StateDir() + "/accepted-" + kClass));

    // A newer schedule whose sections end before this hour unlocks (the end
    // hour is not part of a section).
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    teacher.Deploy(teacher.m_topics.PolicyForAll(tavd::PolicyKind::Schedule),
                   Schedule({{TodayMondayFirst(), 0, local.tm_hour}}), 42, 3000);
    ASSERT_TRUE(tavtest::WaitFor([&] { return m_app->Has("unlocked"); })) << m_app->Lines();
    EXPECT_TRUE(tavtest::WaitFor([] { return LockStatusOnDisk() == 0; }));

    // A restart applies nothing again.
    StartDaemon();
    ASSERT_TRUE(
        teacher.Until([&] { return teacher.LatestPresence() == "online locked=0 status=1"; }));
    teacher.Until([] { return false; }, 1500);
    EXPECT_EQ(
        teacher.From(StudentChannel::Answer, Msg::TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK).size(), 2u);
    EXPECT_EQ(m_app->Count("schedule changed"), 2);
}

// The teacher's manual lock that ends when the connection to the teacher
// is lost ends by itself once the teacher goes away.
TEST_F(StudentDaemonTest, TeachersLockEndsByItselfWhenTheTeacherGoesAway)
{
    Accepted();
    Teacher teacher(m_broker);
    teacher.Presence(true);
    StartDaemon();
    ASSERT_TRUE(tavtest::WaitFor([&] { return m_app->Has("teacher 5A 1"); })) << m_app->Lines();

    CIntfData lock(Msg::TEACHER_MANUALLOCKREMOTESTUDENT, 7, kStudent);
    lock.m_ParaXml.setString(Param::lockPolicy, Schedule({}, 1));
    teacher.Command(lock);
    ASSERT_TRUE(teacher.Until([&] {
        return !teacher
                    .From(StudentChannel::Answer, Msg::TEACHER_MANUALLOCKREMOTESTUDENTCALLBACK, 7)
                    .empty();
    }));
    int result = -1;
    teacher.From(StudentChannel::Answer, Msg::TEACHER_MANUALLOCKREMOTESTUDENTCALLBACK, 7)[0]
        .m_ParaXml.getInt(Param::iReturn, result);
    EXPECT_EQ(result, 0);
    ASSERT_TRUE(tavtest::WaitFor([&] { return m_app->Has("locked"); })) << m_app->Lines();
    EXPECT_TRUE(
        teacher.Until([&] { return teacher.LatestPresence() == "online locked=1 status=2"; }));

    teacher.Presence(false);
    ASSERT_TRUE(tavtest::WaitFor([&] {
        return m_app->Has("teacher 5A 0") && m_app->Has("unlocked");
    })) << m_app->Lines();
    EXPECT_TRUE(
        teacher.Until([&] { return teacher.LatestPresence() == "online locked=0 status=1"; }));
    EXPECT_TRUE(tavtest::WaitFor([] { return LockStatusOnDisk() == 0; }));

    // Stopped, it says goodbye.
    ASSERT_TRUE(m_daemon.Signal(SIGTERM));
    EXPECT_EQ(m_daemon.Wait(10000), 0);
    EXPECT_TRUE(teacher.Until([&] { return teacher.LatestPresence() == tavd::kOffline; }));
}

// Unlocking is for root and the administrators' group, judged by the
// caller's uid on the bus; anyone else is refused and the lock stays, also
// across a restart of the daemon.
TEST_F(StudentDaemonTest, ManualUnlockIsForRootAndAdministratorsOnly)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to act as other users";
    const Accounts& accounts = TestAccounts();
    ASSERT_EQ(accounts.failure, "");
    StartDaemon("auto_connect = no\n");
    int ret = -1;
    ASSERT_EQ(m_app->api->ManualLockLocalStudent(Schedule({}), ret), 0);
    EXPECT_EQ(ret, 0);
    ASSERT_TRUE(tavtest::WaitFor([&] { return m_app->Has("locked"); }));

    const std::vector<std::string> unlock = {TAV_TAVCTL, "student", "manual-unlock-local-student"};
    const std::string refused = RunAs(65534, unlock);
    EXPECT_NE(refused.find("result: 13"), std::string::npos) << refused;

    StartDaemon("auto_connect = no\n");
    EXPECT_EQ(LockStatusOnDisk(), 2);
    const std::string done = RunAs(accounts.admin, unlock);
    EXPECT_NE(done.find("result: 0"), std::string::npos) << done;
    ASSERT_TRUE(tavtest::WaitFor([&] { return m_app->Has("unlocked"); })) << m_app->Lines();
    EXPECT_EQ(m_app->Count("locked"), 1);
    EXPECT_EQ(LockStatusOnDisk(), 0);
}

// A local account's password is checked against the shadow database, and
// one caller cannot guess fast: after a failure it waits a second.
TEST_F(StudentDaemonTest, PasswordChecksMatchTheAccountAndPauseAfterAFailure)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to read the shadow database";
    ASSERT_EQ(TestAccounts().failure, "");
    StartDaemon("auto_connect = no\n");
    int ret = -1;
    ASSERT_EQ(m_app->api->VerifyUserPassword("tav-test-admin", "secret", ret), 0);
    EXPECT_EQ(ret, 0);
    ASSERT_EQ(m_app->api->VerifyUserPassword("tav-test-admin", "guess", ret), 0);
    EXPECT_EQ(ret, 1);
    ASSERT_EQ(m_app->api->VerifyUserPassword("tav-test-admin", "secret", ret), 0);
    EXPECT_EQ(ret, 16);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    ASSERT_EQ(m_app->api->VerifyUserPassword("nobody-at-all", "secret", ret), 0);
    EXPECT_EQ(ret, 1);
}

// A search lists launchers and executables, and answers at once however
// hostile the folder: a FIFO, one named as a launcher, a link to a FIFO.
TEST_F(StudentDaemonTest, SearchListsOnlyLaunchersAndExecutables)
{
    Accepted();
    Teacher teacher(m_broker);
    teacher.Presence(true);
    const std::string folder = tavtest::MakeTempDir("programs");
    ASSERT_TRUE(tavtest::WriteFile(
        folder + "/editor.desktop",
        "[Desktop Entry]\nType=Application\nName=Editor\nExec=/usr/bin/editor %F\n"
        "Icon=editor\n[Desktop Action New]\nName=New window\nExec=/usr/bin/other\n"));
    ASSERT_TRUE(tavtest::WriteFile(folder + "/tool", "#!/bin/sh\n"));
    ::chmod((folder + "/tool").c_str(), 0755);
    ASSERT_TRUE(tavtest::WriteFile(folder + "/notes.txt", "not a program\n"));
    ASSERT_EQ(::mkfifo((folder + "/pipe").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo((folder + "/trap.desktop").c_str(), 0644), 0);
    ASSERT_EQ(::symlink((folder + "/pipe").c_str(), (folder + "/link.desktop").c_str()), 0);
    StartDaemon();

    auto expectTwoPrograms = [&](const std::string& xml) {
        LibTAVData::CSearchResultData result;
        ASSERT_EQ(result.LoadFromString(xml), 0) << xml;
        std::vector<std::string> found;
        for (const auto* app : *result.GetPApplicationInfoList())
            found.push_back(app->GetName() + "|" + app->GetPath() + "|" + app->GetCustomIcon());
        EXPECT_EQ(found, (std::vector<std::string>{"Editor|/usr/bin/editor|editor",
                                                   "tool|" + folder + "/tool|"}));
    };
    int opid = 0;
    ASSERT_EQ(m_app->api->SearchLocalProgram(folder, opid), 0);
    ASSERT_TRUE(tavtest::WaitFor([&] { return m_app->Has("programs"); })) << m_app->Lines();
    expectTwoPrograms(m_app->Programs());

    CIntfData search(Msg::TEACHER_SEARCHPROGRAM, 12, kStudent);
    search.m_ParaXml.setString(Param::targetFolder, folder);
    teacher.Command(search);
    ASSERT_TRUE(teacher.Until([&] {
        return !teacher.From(StudentChannel::Answer, Msg::TEACHER_SEARCHPROGRAMCALLBACK, 12)
                    .empty();
    }));
    CIntfData answer =
        teacher.From(StudentChannel::Answer, Msg::TEACHER_SEARCHPROGRAMCALLBACK, 12)[0];
    int result = -1;
    std::string xml;
    answer.GetResult(result);
    answer.m_ParaXml.getString(Param::programsXML, xml);
    EXPECT_EQ(result, 0);
    expectTwoPrograms(xml);
}

// Turned away, kicked off: the machine leaves the class and comes back only
// when its application asks to connect to the teacher.
TEST_F(StudentDaemonTest, StudentLeavesWhenTurnedAwayOrKickedAndComesBackWhenAsked)
{
    Teacher teacher(m_broker);
    teacher.Presence(true);
    StartDaemon();
    ASSERT_TRUE(teacher.Until(
        [&] { return !teacher.From(StudentChannel::Join, tavd::kJoinMessage).empty(); }));
    CIntfData no(Msg::TEACHER_CONTROLNEWSTUDENTCONNECT, 1, kStudent);
    no.m_ParaXml.setString(Param::allow, IPCAPI::kFalse);
    teacher.Command(no);
    ASSERT_TRUE(tavtest::WaitFor([&] { return m_app->Has("connect 5A 13"); })) << m_app->Lines();
    EXPECT_TRUE(teacher.Until([&] { return teacher.LatestPresence() == tavd::kOffline; }));

    ASSERT_EQ(m_app->api->ConnectTeacher("7B"), 0);
    ASSERT_TRUE(tavtest::WaitFor([&] { return m_app->Has("connect 7B 19"); })) << m_app->Lines();
    ASSERT_EQ(m_app->api->ConnectTeacher(kClass), 0);
    ASSERT_TRUE(teacher.Until(
        [&] { return teacher.From(StudentChannel::Join, tavd::kJoinMessage).size() == 2; }));
    CIntfData yes(Msg::TEACHER_CONTROLNEWSTUDENTCONNECT, 2, kStudent);
    yes.m_ParaXml.setString(Param::allow, IPCAPI::kTrue);
    teacher.Command(yes);
    ASSERT_TRUE(tavtest::WaitFor([&] {
        return m_app->Has("connect 5A 0") && m_app->Has("teacher 5A 1");
    })) << m_app->Lines();

    CIntfData kick(Msg::TEACHER_KICKOFFSTUDENT, 9, kStudent);
    teacher.Command(kick);
    ASSERT_TRUE(teacher.Until([&] {
        return !teacher.From(StudentChannel::Answer, Msg::TEACHER_KICKOFFSTUDENTCALLBACK, 9)
                    .empty();
    }));
    EXPECT_TRUE(teacher.Until([&] { return teacher.LatestPresence() == tavd::kOffline; }));
    ASSERT_TRUE(tavtest::WaitFor([&] { return m_app->Has("teacher 5A 0"); })) << m_app->Lines();
    // It stays away (reconnecting would take a second at most).
    teacher.Until([] { return false; }, 2000);
    EXPECT_EQ(teacher.LatestPresence(), tavd::kOffline);

    ASSERT_EQ(m_app->api->ConnectTeacher(kClass), 0);
    ASSERT_TRUE(
        teacher.Until([&] { return teacher.LatestPresence() == "online locked=0 status=1"; }));
    ASSERT_TRUE(tavtest::WaitFor([&] {
        return m_app->Count("connect 5A 0") == 2 && m_app->Count("teacher 5A 1") == 2;
    })) << m_app->Lines();
    // Accepted once is accepted: no second request to join.
    EXPECT_EQ(teacher.From(StudentChannel::Join, tavd::kJoinMessage).size(), 2u);
}

// A bad configuration and a second daemon on the same bus are told apart
// by the exit status, and the daemon that runs is left alone.
TEST_F(StudentDaemonTest, BadConfigurationAndSecondDaemonAreRefused)
{
    tavtest::ChildProcess bad;
    const std::string config = m_dir + "/bad.conf";
    ASSERT_TRUE(tavtest::WriteFile(config, "class = 5A\nbroker_port = none\n"));
    ASSERT_TRUE(bad.Spawn({TAV_STUDENTD, "--config", config}));
    EXPECT_EQ(bad.Wait(10000), 2);

    StartDaemon("auto_connect = no\n");
    tavtest::ChildProcess second;
    ASSERT_TRUE(second.Spawn({TAV_STUDENTD, "--config", m_dir + "/tav-studentd.conf"}));
    EXPECT_EQ(second.Wait(10000), 1);
    EXPECT_TRUE(m_daemon.Running());
    std::string teacher;
    int ret = -1;
    EXPECT_EQ(m_app->api->GetConnectedTeacher(teacher, ret), 0);
    EXPECT_EQ(ret, 19); // not in the class: it was not asked to join
}

// The USB storage switch writes the modprobe rule and unloads the module,
// and removes the rule when switched on; a document that does not load
// changes nothing.
TEST_F(StudentDaemonTest, UsbSwitchWritesAndRemovesTheRule)
{
    StartDaemon("auto_connect = no\n");
    auto settings = [](int usb) {
        LibTAVData::CTAVSystemSettingData data;
        data.SetUSBStorageenabled(usb);
        std::string xml;
        data.Save2String(xml);
        return xml;
    };
    int ret = -1;
    ASSERT_EQ(m_app->api->HardWareControl(settings(0), ret), 0);
    EXPECT_EQ(ret, 0);
    const std::string rule = tavtest::ReadFile(RuleFile());
    EXPECT_NE(rule.find("install usb-storage /bin/false\n"), std::string::npos) << rule;
    EXPECT_NE(rule.find("blacklist usb-storage\n"), std::string::npos) << rule;
    EXPECT_TRUE(tavtest::WaitFor(
        [&] { return tavtest::ReadFile(m_dir + "/modprobe.log") == "-r usb-storage\n"; }));

    ASSERT_EQ(m_app->api->HardWareControl(settings(1), ret), 0);
    EXPECT_EQ(ret, 0);
    EXPECT_FALSE(tavtest::FileExists(RuleFile()));
    const std::string saved = tavtest::ReadFile("/etc/TAV/TAVSystemSetting.xml");

    ASSERT_EQ(
        m_app->api->HardWareControl("<TAVSystemSetting><USBStorage/></TAVSystemSetting>", ret), 0);
    EXPECT_EQ(ret, 2);
    EXPECT_EQ(tavtest::ReadFile("/etc/TAV/TAVSystemSetting.xml"), saved);
    EXPECT_FALSE(tavtest::FileExists(RuleFile()));
}

} // namespace
