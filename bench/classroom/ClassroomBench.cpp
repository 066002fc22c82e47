// A whole class on this machine (the lab), timed: from the teacher
// application's DeploySchedulePolicy to the last answer it gets and to the
// last policy on a student's disk, with the memory (VmHWM) of the teacher
// daemon, the largest of the student daemons and the broker, and the
// broker's CPU time. Each class size runs in a process of its own (the
// application library keeps one bus per process) and prints one row.
//
//   classroom_bench [--students 10,40,200] [--rounds 3]
//
// Needs root (the lab's mount namespaces); the broker listens on the
// loopback of a network namespace of its own where one can be made.
#include "ClassLab.h"
#include "IIPCTeacherAPICallback.h"
#include "IPCAPIManager.h"
#include "IPCTeacherAPI.h"
#include "LockScheduleData.h"

#include <ftw.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

class Answers : public IPCAPI::IIPCTeacherAPICallback {
public:
    void DeploySchedulePolicyCallBack(std::string id, bool ok) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (ok && m_ids.insert(id).second)
            m_last = Clock::now();
    }
    void SearchProgramCallBack(std::string, std::string) override {}
    void ManualLockRemotStudentCallBack(std::string, int) override {}
    void ManualUnLockRemotStudentCallBack(std::string, int) override {}
    void KickOffStudentCallBack(std::string, int) override {}
    void NotifyStudentStatusChanged(std::string, int) override {}
    void DeployTabNavPolicyCallBack(std::string, bool) override {}
    void NewStudentCallBack(const IPCAPI::tagStudent_t&) override {}

    void Reset()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ids.clear();
    }
    std::size_t Count(Clock::time_point* last)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        *last = m_last;
        return m_ids.size();
    }

private:
    std::mutex m_mutex;
    std::set<std::string> m_ids;
    Clock::time_point m_last;
};

// A field of /proc/PID/status in KiB ("VmHWM"), 0 when unknown.
long StatusKiB(pid_t pid, const std::string& field)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field + ":", 0) == 0)
            return std::atol(line.c_str() + field.size() + 1);
    return 0;
}

// User and system CPU seconds of a running process.
double CpuSeconds(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i) // state .. cmajflt
        fields >> skip;
    double utime = 0, stime = 0;
    fields >> utime >> stime;
    return (utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

std::string Schedule(int round)
{
    LibTAVData::CLockScheduleData data;
    data.SetAutoLock(0);
    data.SetManualLock(1);
    auto* list = new std::list<LibTAVData::CLockTimeSection*>;
    list->push_back(new LibTAVData::CLockTimeSection(round % 7, 8, 9 + round % 10));
    data.SetPAutomaticLockTimeList(list);
    std::string xml;
    data.Save2String(xml);
    return xml;
}

bool OnDisk(const std::string& etc, int round)
{
    LibTAVData::CLockScheduleData data;
    if (data.LoadFromFile(etc + "/LockSchedule.xml") != 0 || !data.GetPAutomaticLockTimeList() ||
        data.GetPAutomaticLockTimeList()->size() != 1)
        return false;
    const auto* s = data.GetPAutomaticLockTimeList()->front();
    return s->m_iDayOfWeek == round % 7 && s->m_iEndTime == 9 + round % 10;
}

double Seconds(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
    return ::remove(path), 0;
}

// One class size: prints its row, 0 on success.
int RunClass(int students, int rounds)
{
    char tmpl[] = "/tmp/tav-classroom-bench-XXXXXX";
    if (!::mkdtemp(tmpl))
        return 1;
    const std::string dir = tmpl;
    int rc = 0;
    {
        tavlab::LabOptions options;
        options.dir = dir;
        options.className = "bench";
        options.students = tavlab::StudentIds(students);
        tavlab::ClassLab lab(options);
        std::string why;
        const auto started = Clock::now();
        if (!lab.Start(why)) {
            std::fprintf(stderr, "classroom_bench: %d students: %s\n", students, why.c_str());
            rc = 1;
        } else {
            const double classIn = Seconds(started, Clock::now());
            ::setenv("DBUS_SYSTEM_BUS_ADDRESS", lab.TeacherBus().c_str(), 1);
            ::setenv("TAV_LOG_LEVEL", "warning", 1);
            IPCAPI::IPCAPIBase* base = nullptr;
            Answers answers;
            if (IPCAPI::InitializeTAVLibrary(0, &base) != 0) {
                std::fputs("classroom_bench: no teacher application\n", stderr);
                return 1;
            }
            auto* api = static_cast<IPCAPI::IPCTeacherAPI*>(base);
            api->RegisterCallBack(&answers);
            std::this_thread::sleep_for(
                std::chrono::milliseconds(1100)); // the worker's first pause

            const pid_t broker = lab.Broker().Pid();
            std::vector<double> toAnswer, toDisk;
            double brokerCpu = 0;
            for (int round = 1; round <= rounds && rc == 0; ++round) {
                answers.Reset();
                std::vector<std::string> waiting = options.students;
                const double cpuBefore = CpuSeconds(broker);
                const auto sent = Clock::now();
                api->DeploySchedulePolicy("", Schedule(round));
                Clock::time_point lastDisk = sent, lastAnswer = sent;
                const auto deadline = sent + std::chrono::seconds(60 + students / 2);
                while (Clock::now() < deadline) {
                    waiting.erase(std::remove_if(waiting.begin(), waiting.end(),
                                                 [&](const std::string& id) {
                                                     if (!OnDisk(lab.StudentEtc(id), round))
                                                         return false;
                                                     lastDisk = Clock::now();
                                                     return true;
                                                 }),
                                  waiting.end());
                    if (waiting.empty() &&
                        answers.Count(&lastAnswer) == static_cast<std::size_t>(students))
                        break;
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                if (!waiting.empty() ||
                    answers.Count(&lastAnswer) != static_cast<std::size_t>(students)) {
                    std::fprintf(stderr,
                                 "classroom_bench: round %d: %zu policies missing, %zu answers\n",
                                 round, waiting.size(), answers.Count(&lastAnswer));
                    rc = 1;
                }
                toAnswer.push_back(Seconds(sent, lastAnswer));
                toDisk.push_back(Seconds(sent, lastDisk));
                brokerCpu += CpuSeconds(broker) - cpuBefore;
            }
            long studentHwm = 0;
            for (const std::string& id : options.students)
                studentHwm = std::max(studentHwm, StatusKiB(lab.StudentDaemonPid(id), "VmHWM"));
            std::sort(toAnswer.begin(), toAnswer.end());
            std::sort(toDisk.begin(), toDisk.end());
            std::printf("%8d %9.2f %11.2f %11.2f %10ld %10ld %10ld %11.3f %10.3f\n", students,
                        classIn, toAnswer[toAnswer.size() / 2], toDisk[toDisk.size() / 2],
                        StatusKiB(lab.TeacherPid(), "VmHWM"), studentHwm,
                        StatusKiB(broker, "VmHWM"), brokerCpu / rounds, CpuSeconds(broker));
            std::fflush(stdout);
            IPCAPI::UninitializeTAVLibrary(api);
        }
    }
    ::nftw(dir.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    return rc;
}

} // namespace

int main(int argc, char** argv)
{
    std::string sizes = "10,40,200";
    int rounds = 3, one = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--students")
            sizes = argv[i + 1];
        else if (arg == "--rounds")
            rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (arg == "--one")
            one = std::atoi(argv[i + 1]);
    }
    if (one > 0)
        return RunClass(one, rounds);
    if (::geteuid() != 0) {
        std::puts("classroom_bench: needs root (mount namespaces); skipped");
        return 77;
    }
    // The class's broker and its load stay off the machine's loopback.
    ::unshare(CLONE_NEWNET);
    std::printf("# median of %d deployments to the whole class; times in s, memory in KiB\n",
                rounds);
    std::printf("%8s %9s %11s %11s %10s %10s %10s %11s %10s\n", "students", "class-in",
                "last-answer", "last-disk", "teacherd", "studentd", "broker", "broker-cpu",
                "broker-cpu");
    std::printf("%8s %9s %11s %11s %10s %10s %10s %11s %10s\n", "", "", "", "", "VmHWM",
                "VmHWM(max)", "VmHWM", "/deploy", "total");
    std::stringstream list(sizes);
    int rc = 0;
    for (std::string n; std::getline(list, n, ',');) {
        tavlab::ChildProcess child;
        if (!child.Spawn({"/proc/self/exe", "--one", n, "--rounds", std::to_string(rounds)}, "-") ||
            child.Wait(30 * 60 * 1000) != 0)
            rc = 1;
    }
    return rc;
}
