// Classes found across a real network: three machines on one bridge, each
// with its own bus and avahi-daemon (NetLab). Teachers announce from
// machines a (IPv4 and link-local IPv6) and c (link-local IPv6 only) in
// processes of their own; this process is student machine b and browses.
#include "Discovery.h"
#include "IPCAPIManager.h"
#include "IPCStudentAPI.h"
#include "NetLab.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <list>
#include <mutex>
#include <optional>

namespace {

using tavd::ClassBrowser;
using tavd::ClassChange;
using tavd::DiscoveredClass;
using tavtest::NetLab;
using Clock = std::chrono::steady_clock;

// A functional deadline only: discovery takes about a second here.
constexpr int kDeadlineMs = 15000;

NetLab* g_lab = nullptr;
std::string g_skip, g_broken;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

void Figure(const std::string& what, long long ms)
{
    std::cout << "[ figure   ] " << what << ": " << ms << " ms" << std::endl;
    ::testing::Test::RecordProperty(what, std::to_string(ms));
}

int Count(const std::string& text, const std::string& what)
{
    int count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

// A teacher daemon's announcement in a process on one lab machine.
class Teacher {
public:
    ~Teacher() { Stop(); }

    bool Start(const std::string& machine, const std::string& config)
    {
        const std::string dir = tavtest::MakeTempDir("teacher-" + machine);
        m_output = dir + "/output";
        return tavtest::WriteFile(dir + "/tav-teacherd.conf", config) &&
               m_process.Spawn({"/usr/bin/env",
                                "DBUS_SYSTEM_BUS_ADDRESS=" + g_lab->BusAddress(machine),
                                TAV_DISCOVERY_PEER, dir + "/tav-teacherd.conf"},
                               m_output);
    }
    // Times the peer printed "announced NAME", once it has printed it
    // at least `least` times (the peer looks every 20 ms).
    int Announced(const std::string& name, int least = 1) const
    {
        tavtest::WaitFor([&] { return Count(Output(), "announced " + name + "\n") >= least; });
        return Count(Output(), "announced " + name + "\n");
    }
    // SIGTERM: the announcer withdraws the class; the exit status.
    int Stop()
    {
        if (!m_process.Signal(SIGTERM))
            return -1;
        return m_process.Wait(10000);
    }
    std::string Output() const { return tavtest::ReadFile(m_output); }

private:
    tavtest::ChildProcess m_process;
    std::string m_output;
};

// The browser as a student daemon runs it: polled, dispatched on this
// thread, every change recorded.
class Student {
public:
    Student() : m_browser([this](const ClassChange& c) { changes.push_back(c); }) {}

    bool Start()
    {
        std::string error;
        return m_browser.Start(error);
    }
    // Dispatches until cond holds; false after the deadline.
    bool Until(const std::function<bool()>& cond, int timeoutMs = kDeadlineMs)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!cond()) {
            if (Clock::now() >= deadline)
                return false;
            struct pollfd p = {m_browser.WakeFd(), POLLIN, 0};
            if (::poll(&p, 1, 50) > 0)
                m_browser.Dispatch();
        }
        return true;
    }
    std::optional<DiscoveredClass> Instance(const std::string& instance) const
    {
        for (const DiscoveredClass& c : m_browser.Classes())
            if (c.instance == instance)
                return c;
        return std::nullopt;
    }
    bool Sees(const std::string& instance, const std::string& address = "") const
    {
        const auto c = Instance(instance);
        return c && (address.empty() || c->address == address);
    }
    ClassBrowser& Browser() { return m_browser; }

    std::vector<ClassChange> changes;

private:
    ClassBrowser m_browser;
};

std::string LogText() { return tavtest::ReadFile(tavtest::Home() + "/TAVLog/publicLog.log"); }

class Discovery : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        g_lab = new NetLab;
        if (!g_lab->Create(g_skip))
            return;
        std::string why;
        if (!g_lab->AddMachine("a", "198.18.0.1", "fe80::1", why) ||
            !g_lab->AddMachine("b", "198.18.0.2", "fe80::2", why) ||
            !g_lab->AddMachine("c", "", "fe80::3", why)) {
            g_broken = why;
            return;
        }
        if (!g_lab->Enter("b"))
            g_broken = "cannot enter machine b";
        // Before any thread: the browsers of this process use b's bus.
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", g_lab->BusAddress("b").c_str(), 1);
    }
    static void TearDownTestSuite()
    {
        delete g_lab;
        g_lab = nullptr;
    }
    void SetUp() override
    {
        if (!g_skip.empty())
            GTEST_SKIP() << "no test network here: " << g_skip;
        ASSERT_TRUE(g_broken.empty()) << g_broken;
    }
};

TEST_F(Discovery, ClassAnnouncedOnOneMachineIsSeenOnAnotherWithAddressAndPortAndGoesWithTheTeacher)
{
    Student student;
    ASSERT_TRUE(student.Start());
    ASSERT_TRUE(student.Until([&] { return student.Browser().DaemonRunning(); }));

    Teacher teacher;
    const auto started = Clock::now();
    ASSERT_TRUE(teacher.Start("a", "class = 5A\nbroker_port = 18883\n"));
    ASSERT_TRUE(student.Until([&] { return student.Sees("5A"); }))
        << g_lab->AvahiLog("a") << teacher.Output();
    Figure("announcement to seen", MsSince(started));
    EXPECT_EQ(teacher.Announced("5A"), 1);

    const DiscoveredClass* found = student.Browser().Find("5A");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->instance, "5A");
    EXPECT_EQ(found->hostName, "lab-a.local");
    EXPECT_FALSE(found->ipv6);
    EXPECT_EQ(found->port, 18883);
    // A teacher whose broker is "localhost" for itself announces no broker:
    // students connect to where the announcement came from.
    EXPECT_EQ(found->brokerHost, "");
    EXPECT_EQ(found->ConnectHost(), "198.18.0.1");
    EXPECT_EQ(found->txt.at("version"), "1");
    // Machine a has both families: the class appears with its IPv4
    // address straight away.
    ASSERT_EQ(student.changes.size(), 1u);
    EXPECT_EQ(student.changes.front().kind, ClassChange::Kind::Appeared);
    EXPECT_EQ(student.changes.front().cls.address, "198.18.0.1");

    const auto stopped = Clock::now();
    EXPECT_EQ(teacher.Stop(), 0);
    ASSERT_TRUE(student.Until([&] { return !student.Sees("5A"); }));
    Figure("teacher stop to gone", MsSince(stopped));
    EXPECT_EQ(student.changes.back().kind, ClassChange::Kind::Gone);
    EXPECT_EQ(student.changes.back().cls.instance, "5A");
    EXPECT_EQ(student.Browser().Find("5A"), nullptr);
}

TEST_F(Discovery, SecondTeacherOfTheSameClassIsRenamedAndStudentsSeeBoth)
{
    Student student;
    ASSERT_TRUE(student.Start());
    Teacher first, second;
    ASSERT_TRUE(first.Start("a", "class = 6B\nbroker_port = 18883\nbroker_host = teacher-a\n"));
    ASSERT_TRUE(student.Until([&] { return student.Sees("6B", "198.18.0.1"); }));

    ASSERT_TRUE(second.Start("c", "class = 6B\nbroker_port = 18884\n"));
    ASSERT_TRUE(student.Until([&] { return student.Sees("6B #2"); }))
        << second.Output() << g_lab->AvahiLog("c");
    EXPECT_EQ(second.Announced("6B #2"), 1) << second.Output();
    EXPECT_NE(second.Output().find("the name 6B is taken on the network"), std::string::npos)
        << second.Output();
    EXPECT_EQ(first.Announced("6B"), 1);

    const auto renamed = student.Instance("6B #2");
    ASSERT_TRUE(renamed);
    EXPECT_EQ(renamed->className, "6B");
    EXPECT_EQ(renamed->hostName, "lab-c.local");
    // Machine c has only its link-local IPv6 address: usable with the
    // interface it is reached through.
    EXPECT_TRUE(renamed->ipv6);
    EXPECT_EQ(renamed->address, "fe80::3%eth0");
    EXPECT_EQ(renamed->port, 18884);

    // Asked for by class, the first instance answers, with its broker.
    const DiscoveredClass* found = student.Browser().Find("6B");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->instance, "6B");
    EXPECT_EQ(found->brokerHost, "teacher-a");
    EXPECT_EQ(found->ConnectHost(), "teacher-a");
    EXPECT_EQ(student.Browser().Classes().size(), 2u);
}

TEST_F(Discovery, AnnouncementAndBrowsingComeBackWhenAvahiDaemonRestarts)
{
    Student student;
    ASSERT_TRUE(student.Start());
    Teacher teacher;
    ASSERT_TRUE(teacher.Start("a", "class = 7C\n"));
    ASSERT_TRUE(student.Until([&] { return student.Sees("7C", "198.18.0.1"); }));
    ASSERT_EQ(teacher.Announced("7C"), 1);

    // The teacher's daemon restarts: the class is withdrawn with it, and
    // the announcer registers it again with the new daemon.
    std::string why;
    g_lab->StopAvahi("a");
    ASSERT_TRUE(student.Until([&] { return !student.Sees("7C"); }));
    const auto restarted = Clock::now();
    ASSERT_TRUE(g_lab->StartAvahi("a", why)) << why;
    ASSERT_TRUE(student.Until([&] { return student.Sees("7C", "198.18.0.1"); }))
        << teacher.Output();
    Figure("teacher's avahi-daemon restart to seen again", MsSince(restarted));
    EXPECT_EQ(teacher.Announced("7C", 2), 2) << "peer output:\n" << teacher.Output();

    // The student's daemon restarts: nothing is seen without it, and the
    // browser finds the class again once it is back.
    g_lab->StopAvahi("b");
    ASSERT_TRUE(
        student.Until([&] { return !student.Browser().DaemonRunning() && !student.Sees("7C"); }));
    ASSERT_TRUE(g_lab->StartAvahi("b", why)) << why;
    const auto back = Clock::now();
    ASSERT_TRUE(student.Until([&] { return student.Sees("7C", "198.18.0.1"); }));
    Figure("student's avahi-daemon restart to seen again", MsSince(back));
}

TEST_F(Discovery, BrowserStartedWithoutAvahiDaemonSaysSoOnceAndFindsClassesWhenItRuns)
{
    Teacher teacher;
    ASSERT_TRUE(teacher.Start("a", "class = 8D\n"));
    g_lab->StopAvahi("b");
    const std::size_t logBefore = LogText().size();

    Student student;
    ASSERT_TRUE(student.Start());
    // Long enough for any retry to have logged again.
    student.Until([] { return false; }, 2500);
    EXPECT_FALSE(student.Browser().DaemonRunning());
    EXPECT_TRUE(student.Browser().Classes().empty());
    EXPECT_EQ(Count(LogText().substr(logBefore), "ClassBrowser --avahi-daemon is not running"), 1);

    std::string why;
    ASSERT_TRUE(g_lab->StartAvahi("b", why)) << why;
    ASSERT_TRUE(student.Until([&] { return student.Sees("8D", "198.18.0.1"); }));
    EXPECT_EQ(Count(LogText().substr(logBefore), "ClassBrowser --avahi-daemon is running"), 1);
}

// The student application of machine b: what the student daemon told it.
class StudentApplication : public IPCAPI::IIPCStudentAPICallback {
public:
    StudentApplication()
    {
        IPCAPI::IPCAPIBase* base = nullptr;
        InitializeTAVLibrary(1, &base);
        api = static_cast<IPCAPI::IPCStudentAPI*>(base);
        api->RegisterCallBack(this);
    }
    ~StudentApplication() { UninitializeTAVLibrary(api); }

    void SearchTeacherCallBack(const std::list<std::string>& teachers) override
    {
        std::string line = "teachers";
        for (const std::string& t : teachers)
            line += " " + t;
        Got(line);
    }
    void ConnectTeacherCallBack(std::string teacher, int result) override
    {
        Got("connect " + teacher + " " + std::to_string(result));
    }
    void NotifyTeacherStatusChanged(std::string teacher, int state) override
    {
        Got("teacher " + teacher + " " + std::to_string(state));
    }
    void NotifyLockStatusChanged(bool) override {}
    void NotifyTabNavPolicyChanged() override {}
    void NotifySchedulePolicyChanged() override {}
    void SearchLocalProgramCallBack(std::string) override {}
    bool Has(const std::string& line)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines.find(line + ";") != std::string::npos;
    }
    std::string Lines()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }

    IPCAPI::IPCStudentAPI* api = nullptr;

private:
    void Got(const std::string& line)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines += line + "; ";
    }
    std::mutex m_mutex;
    std::string m_lines;
};

// A daemon program of a lab machine, its output kept; true once it printed
// ready.
bool StartDaemon(tavtest::ChildProcess& daemon, const std::string& machine,
                 const std::string& program, const std::string& config, const std::string& output,
                 const std::string& ready)
{
    return tavtest::WriteFile(output + ".conf", config) &&
           daemon.Spawn({"/usr/bin/env", "DBUS_SYSTEM_BUS_ADDRESS=" + g_lab->BusAddress(machine),
                         program, "--config", output + ".conf"},
                        output) &&
           tavtest::WaitFor(
               [&] { return tavtest::ReadFile(output).find(ready) != std::string::npos; }, 20000);
}

// tavctl on a machine's bus: what it printed.
std::string Tavctl(const std::string& machine, const std::vector<std::string>& args)
{
    const std::string out = tavtest::MakeTempDir("tavctl") + "/out";
    std::vector<std::string> argv = {
        "/usr/bin/env", "DBUS_SYSTEM_BUS_ADDRESS=" + g_lab->BusAddress(machine), TAV_TAVCTL};
    argv.insert(argv.end(), args.begin(), args.end());
    tavtest::ChildProcess tavctl;
    if (!tavctl.Spawn(argv, out))
        return "";
    tavctl.Wait(15000);
    return tavtest::ReadFile(out);
}

// Machine a of a school: the broker of class 5A and the teacher daemon,
// started from a's network, with S1 on the roster. The teacher reaches its
// broker on the loopback, so students use the address the announcement
// comes from (which the broker's certificate names).
struct TeacherMachine {
    tavtest::TestBroker broker;
    tavtest::ChildProcess teacherd, studentd;
    std::string dir = tavtest::MakeTempDir("daemons");

    // Then this process is machine b again.
    void Start()
    {
        ASSERT_TRUE(g_lab->Enter("a"));
        const bool brokerUp = broker.Start("5A", {"S1"}, {"198.18.0.1"});
        const bool teacherUp =
            brokerUp && tavtest::WriteFile(dir + "/roster", "S1\n") &&
            StartDaemon(teacherd, "a", TAV_TEACHERD,
                        broker.DaemonConfigText("teacher") + "state_dir = " + dir + "\n",
                        dir + "/teacherd", "connected to class 5A");
        ASSERT_TRUE(g_lab->Enter("b"));
        ASSERT_TRUE(brokerUp) << broker.Log();
        ASSERT_TRUE(teacherUp) << tavtest::ReadFile(dir + "/teacherd");
    }
    // A student daemon on b with S1's credentials and the keys given; its
    // configured broker is the default (nothing listens there).
    void StartStudent(const std::string& keys)
    {
        const tavtest::MachineCredentials c = broker.Credentials("S1");
        ASSERT_TRUE(StartDaemon(studentd, "b", TAV_STUDENTD,
                                keys + "student_id = S1\nca_file = " + c.caFile +
                                    "\ncert_file = " + c.certFile + "\nkey_file = " + c.keyFile +
                                    "\nstate_dir = " + dir + "/student\n",
                                dir + "/studentd", "serving as"));
    }
    std::string StudentLog() const { return tavtest::ReadFile(dir + "/studentd"); }
    std::string JoinedLine() const
    {
        return "joining class 5A at 198.18.0.1:" + std::to_string(broker.Port());
    }
    // What the teacher application on machine a lists.
    bool TeacherSeesOnline()
    {
        std::string list;
        const bool online = tavtest::WaitFor(
            [&] {
                list = Tavctl("a", {"teacher", "get-student-list"});
                return list.find("student: S1 ") != std::string::npos &&
                       list.find("status=1") != std::string::npos;
            },
            kDeadlineMs);
        EXPECT_TRUE(online) << list << tavtest::ReadFile(dir + "/teacherd");
        return online;
    }
    void Stop()
    {
        EXPECT_EQ(studentd.Signal(SIGTERM) ? studentd.Wait(10000) : -1, 0);
        EXPECT_EQ(teacherd.Signal(SIGTERM) ? teacherd.Wait(10000) : -1, 0);
    }
};

TEST_F(Discovery, StudentDaemonOffersTheAnnouncedClassAndJoinsItsBrokerThroughTheApplication)
{
    TeacherMachine a;
    ASSERT_NO_FATAL_FAILURE(a.Start());
    // The student's configured class is the default one, not 5A, and it
    // waits for its application.
    ASSERT_NO_FATAL_FAILURE(a.StartStudent("auto_connect = no\n"));
    StudentApplication app;
    const auto searching = Clock::now();
    ASSERT_TRUE(tavtest::WaitFor(
        [&] {
            app.api->SearchTeacher();
            return tavtest::WaitFor([&] { return app.Has("teachers classroom 5A"); }, 300);
        },
        kDeadlineMs))
        << app.Lines() << a.StudentLog();
    Figure("student daemon started to class offered", MsSince(searching));

    const auto connecting = Clock::now();
    ASSERT_EQ(app.api->ConnectTeacher("5A"), 0);
    ASSERT_TRUE(tavtest::WaitFor([&] { return app.Has("connect 5A 0") && app.Has("teacher 5A 1"); },
                                 kDeadlineMs))
        << app.Lines() << a.StudentLog();
    Figure("ConnectTeacher to joined", MsSince(connecting));
    EXPECT_NE(a.StudentLog().find(a.JoinedLine()), std::string::npos) << a.StudentLog();
    a.TeacherSeesOnline();
    a.Stop();
}

TEST_F(Discovery, StudentDaemonOfTheClassMovesFromItsConfiguredBrokerToTheAnnouncedOne)
{
    TeacherMachine a;
    ASSERT_NO_FATAL_FAILURE(a.Start());
    StudentApplication app;
    ASSERT_NO_FATAL_FAILURE(a.StartStudent("class = 5A\n"));
    ASSERT_TRUE(tavtest::WaitFor([&] { return app.Has("teacher 5A 1"); }, kDeadlineMs))
        << app.Lines() << a.StudentLog();
    const std::string log = a.StudentLog();
    EXPECT_LT(log.find("joining class 5A at localhost:8883"), log.find(a.JoinedLine())) << log;
    a.TeacherSeesOnline();
    a.Stop();
}

} // namespace
