#include "ClassLab.h"

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <thread>

namespace tavlab {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kBusSocket = "/run/dbus/system_bus_socket";
constexpr const char* kInClass = "\"callback\":\"NotifyTeacherStatusChanged\"";
constexpr const char* kOnline = "\"state\":1";

bool MakeDirs(const std::string& path, mode_t mode, std::string& why)
{
    for (std::size_t at = 1; at != std::string::npos;) {
        at = path.find('/', at + 1);
        const std::string part = path.substr(0, at);
        if (::mkdir(part.c_str(), mode) != 0 && errno != EEXIST) {
            why = "cannot make " + part + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

int CountLines(const std::string& text, const std::string& a, const std::string& b = "")
{
    int n = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.find(a) != std::string::npos && (b.empty() || line.find(b) != std::string::npos))
            ++n;
    return n;
}

// SIGTERM to every process at once, then each is waited for (a daemon
// takes up to 2 s to leave the broker; one after the other would add up).
void StopTogether(const std::vector<ChildProcess*>& processes, int graceMs)
{
    for (ChildProcess* p : processes)
        if (p->Running())
            p->Signal(SIGTERM);
    const auto deadline = Clock::now() + std::chrono::milliseconds(graceMs);
    for (ChildProcess* p : processes) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (p->Running())
            p->Wait(static_cast<int>(std::max<long long>(left, 0)));
        p->Kill();
    }
}

} // namespace

struct ClassLab::Machine {
    std::string id, dir;
    MachineSpace space;
    ChildProcess bus, daemon, app;

    std::string Path(const std::string& name) const { return dir + "/" + name; }
    std::string Socket() const { return Path("run") + "/dbus/system_bus_socket"; }
    std::vector<std::string> Env() const
    {
        return {"HOME=" + Path("home"),
                std::string("DBUS_SYSTEM_BUS_ADDRESS=unix:path=") + kBusSocket};
    }
    bool StartBus(const LabPrograms& programs)
    {
        return bus.Spawn(
            {programs.dbusDaemon, "--config-file=" + Path("bus.conf"), "--nofork", "--nopidfile"},
            Path("bus.out"), Env(), &space);
    }
    int TeacherOnlineCount() const
    {
        return CountLines(ReadText(Path("app.jsonl")), kInClass, kOnline);
    }
};

std::vector<std::string> StudentIds(int count, const std::string& prefix)
{
    const int width = static_cast<int>(std::to_string(std::max(count, 1)).size());
    std::vector<std::string> ids;
    for (int i = 1; i <= count; ++i) {
        std::string n = std::to_string(i);
        ids.push_back(prefix + std::string(static_cast<std::size_t>(width) - n.size(), '0') + n);
    }
    return ids;
}

ClassLab::ClassLab(LabOptions options) : m_options(std::move(options)), m_broker(m_options.programs)
{}

ClassLab::~ClassLab() { Stop(); }

bool ClassLab::WaitUntil(const std::function<bool()>& cond, int timeoutMs) const
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (cond())
            return true;
        if (Clock::now() >= deadline || (m_options.interrupted && m_options.interrupted()))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool ClassLab::Start(std::string& why)
{
    if (!MakeDirs(m_options.dir + "/students", 0755, why))
        return false;
    std::vector<std::string> everyone = m_options.students;
    everyone.insert(everyone.end(), m_options.spares.begin(), m_options.spares.end());
    if (!m_broker.Start(m_options.dir + "/broker", m_options.className, everyone)) {
        why = "the class broker did not start:\n" + m_broker.Log();
        return false;
    }
    if (!StartTeacher(why))
        return false;
    std::vector<Machine*> first;
    for (const std::string& id : everyone) {
        auto m = std::make_unique<Machine>();
        m->id = id;
        m->dir = m_options.dir + "/students/" + id;
        if (!PrepareMachine(*m, m_broker.DaemonConfigText(id), why))
            return false;
        if (std::find(m_options.spares.begin(), m_options.spares.end(), id) ==
            m_options.spares.end())
            first.push_back(m.get());
        m_students[id] = std::move(m);
    }
    return StartStudents(first, why);
}

bool ClassLab::PrepareMachine(Machine& m, const std::string& config, std::string& why)
{
    for (const char* sub : {"etc-tav", "run/dbus", "scratch", "home", "state"})
        if (!MakeDirs(m.Path(sub), 0755, why))
            return false;
    ::chmod(m.Path("state").c_str(), 0700);
    const std::string conf = m.Path(m.id == "teacher" ? "tav-teacherd.conf" : "tav-studentd.conf");
    const std::string own =
        m.id == "teacher"
            ? "teacher_password_file = " + m.Path("teacher-password") + "\n"
            : "usb_rule_file = " + m.Path("usb-storage.conf") + "\nmodprobe = /bin/true\n";
    // No discovery: the lab's broker is named, and multicast stays off
    // the machine's network.
    if (!WriteText(conf, config + "state_dir = " + m.Path("state") + "\ndiscovery = no\n" + own) ||
        !WriteText(m.Path("bus.conf"), MachineBusConfig())) {
        why = "cannot write the configuration of " + m.id;
        return false;
    }
    return m.space.Make(m.id, m.Path("etc-tav"), m.Path("run"), m.Path("scratch"), why);
}

bool ClassLab::StartTeacher(std::string& why)
{
    m_teacher = std::make_unique<Machine>();
    Machine& t = *m_teacher;
    t.id = "teacher";
    t.dir = m_options.dir + "/teacher";
    if (!PrepareMachine(t, m_broker.DaemonConfigText("teacher"), why))
        return false;
    // Every student of the lab is on the roster: let in at once.
    std::string roster;
    for (const auto& ids : {m_options.students, m_options.spares})
        for (const std::string& id : ids)
            roster += id + "\n";
    if (!WriteText(t.Path("state/roster"), roster)) {
        why = "cannot write the teacher's roster";
        return false;
    }
    if (!t.StartBus(m_options.programs) || !WaitForSocket(t.Socket(), 10000)) {
        why = "the teacher's bus did not start: " + ReadText(t.Path("bus.out"));
        return false;
    }
    if (!t.daemon.Spawn({m_options.programs.teacherd, "--config", t.Path("tav-teacherd.conf")},
                        t.Path("daemon.out"), t.Env(), &t.space)) {
        why = "tav-teacherd did not start";
        return false;
    }
    return true;
}

bool ClassLab::StartStudents(const std::vector<Machine*>& machines, std::string& why)
{
    // Each step for every machine, then the next: the machines start side
    // by side, and each application listens before its daemon speaks.
    for (Machine* m : machines)
        if (!m->bus.Running() && !m->StartBus(m_options.programs)) {
            why = "the bus of " + m->id + " did not start";
            return false;
        }
    for (Machine* m : machines)
        if (!WaitForSocket(m->Socket(), 20000)) {
            why = "the bus of " + m->id + " did not start: " + ReadText(m->Path("bus.out"));
            return false;
        }
    for (Machine* m : machines)
        if (!m->app.Running() &&
            !m->app.Spawn({m_options.programs.tavctl, "--json", "student", "listen"},
                          m->Path("app.jsonl"), m->Env(), &m->space)) {
            why = "the application of " + m->id + " did not start";
            return false;
        }
    for (Machine* m : machines)
        if (!WaitUntil(
                [&] {
                    return CountLines(ReadText(m->Path("app.jsonl")), "\"type\":\"listening\"") > 0;
                },
                20000)) {
            why = "the application of " + m->id +
                  " does not listen: " + ReadText(m->Path("app.jsonl"));
            return false;
        }
    std::map<Machine*, int> before;
    for (Machine* m : machines) {
        before[m] = m->TeacherOnlineCount();
        if (!m->daemon.Spawn(
                {m_options.programs.studentd, "--config", m->Path("tav-studentd.conf")},
                m->Path("daemon.out"), m->Env(), &m->space)) {
            why = "tav-studentd of " + m->id + " did not start";
            return false;
        }
    }
    // A daemon that ended will not bring anyone in: no use waiting.
    bool teacherEnded = false, studentEnded = false;
    for (Machine* m : machines) {
        const bool in = WaitUntil(
            [&] {
                teacherEnded = m_teacher && !m_teacher->daemon.Running();
                studentEnded = !m->daemon.Running();
                return teacherEnded || studentEnded || m->TeacherOnlineCount() > before[m];
            },
            m_options.readyTimeoutMs);
        if (teacherEnded) {
            why = "tav-teacherd ended:\n" + TeacherLog();
            return false;
        }
        if (!in || studentEnded) {
            why = m->id +
                  (studentEnded ? ": tav-studentd ended:\n" : " did not get into the class:\n") +
                  StudentLog(m->id);
            return false;
        }
    }
    return true;
}

bool ClassLab::StartStudent(const std::string& id, std::string& why)
{
    Machine* m = Find(id);
    if (!m) {
        why = id + " is no student of the lab";
        return false;
    }
    if (m->daemon.Running()) {
        why = id + " runs already";
        return false;
    }
    return StartStudents({m}, why);
}

bool ClassLab::StopStudentDaemon(const std::string& id, bool crash)
{
    Machine* m = Find(id);
    if (!m || !m->daemon.Running())
        return false;
    if (crash)
        m->daemon.Kill();
    else
        m->daemon.Stop(10000);
    return true;
}

void ClassLab::Stop()
{
    std::vector<ChildProcess*> daemons, rest;
    for (auto& [id, m] : m_students) {
        daemons.push_back(&m->daemon);
        rest.push_back(&m->app);
        rest.push_back(&m->bus);
    }
    StopTogether(daemons, 10000);
    StopTogether(rest, 5000);
    if (m_teacher)
        StopTogether({&m_teacher->daemon, &m_teacher->bus}, 10000);
    m_broker.Stop();
    m_students.clear();
    m_teacher.reset();
}

ClassLab::Machine* ClassLab::Find(const std::string& id) const
{
    const auto it = m_students.find(id);
    return it == m_students.end() ? nullptr : it->second.get();
}

std::string ClassLab::TeacherBus() const
{
    return m_teacher ? "unix:path=" + m_teacher->Socket() : "";
}

pid_t ClassLab::TeacherPid() const { return m_teacher ? m_teacher->daemon.Pid() : -1; }

pid_t ClassLab::StudentDaemonPid(const std::string& id) const
{
    const Machine* m = Find(id);
    return m ? m->daemon.Pid() : -1;
}

std::string ClassLab::StudentEtc(const std::string& id) const
{
    const Machine* m = Find(id);
    return m ? m->Path("etc-tav") : "";
}

std::vector<std::string> ClassLab::Heard(const std::string& id) const
{
    std::vector<std::string> lines;
    const Machine* m = Find(id);
    std::istringstream in(m ? ReadText(m->Path("app.jsonl")) : "");
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

int ClassLab::CountHeard(const std::string& id, const std::string& text) const
{
    const Machine* m = Find(id);
    return m ? CountLines(ReadText(m->Path("app.jsonl")), text) : 0;
}

std::string ClassLab::StudentLog(const std::string& id) const
{
    const Machine* m = Find(id);
    if (!m)
        return "";
    const std::string log = ReadText(m->Path("daemon.out"));
    return log.size() > 4000 ? "..." + log.substr(log.size() - 4000) : log;
}

std::string ClassLab::TeacherLog() const
{
    if (!m_teacher)
        return "";
    const std::string log = ReadText(m_teacher->Path("daemon.out"));
    return log.size() > 4000 ? "..." + log.substr(log.size() - 4000) : log;
}

} // namespace tavlab
