// End-to-end cost of the IPC library on a private bus:
//  - BM_RequestVsRaw/stdout_devnull and /stdout_pipe: a blocking request of
//    the student application (IPCStudentAPI::HardWareControl) answered by a
//    daemon built on our daemon API, interleaved with a raw libdbus method
//    call carrying texts of the same sizes to a raw daemon on the same bus.
//    Every process logs as a host does: to its own file under a HOME of its
//    own on the local disk, and to standard output, which is /dev/null, or a
//    pipe drained by a reader process of its own. Both daemons wait for the
//    socket (ours with WaitForMsg, the raw one in libdbus) and take what
//    came. Counters: p50 (and p90) of each, their ratio ours/raw, the
//    median of the ratios of each request to the raw call next to it, the
//    caller thread's CPU per request and each daemon's CPU per request.
//  - BM_NotificationBurst100: 100 notifications from the daemon to the
//    application's callback (the worker's 50 ms pacing sets a floor of
//    about 5 s).
//
//   ipc_request_bench [--log=full|stdout] [--iterations=N] [benchmark flags]
// full (default): files and standard output; stdout: the file side is off
// (home not writable), standard output still written. --iterations fixes
// the number of request pairs (for a profiler). TAV_BENCH_DAEMON_WRAP, a
// command line prefix such as "valgrind --tool=callgrind", runs both daemons
// under it; the caller's and the daemons' per-request work are in the
// functions callerOurRequest/callerRawRequest and
// daemonServeOurs/daemonServeRaw (for --toggle-collect).
#include "IIPCStudentAPICallback.h"
#include "IPCAPIManager.h"
#include "IPCStudentAPI.h"
#include "IPCStudentDaemonAPI.h"
#include "TestSupport.h"

#include <benchmark/benchmark.h>
#include <dbus/dbus.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace tavtest::detail {
void InitTempRoot();
void RemoveTempRoot();
} // namespace tavtest::detail

using namespace IPCAPI;
using Clock = std::chrono::steady_clock;

namespace {

const char kRawName[] = "tav.bench.raw";
const char kObject[] = "/orvelix/message/object";
const int kBurst = 100;

// A system-settings sized policy text, as HardWareControl carries in practice.
std::string policyText()
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<SystemSetting>\n";
    for (int i = 0; i < 6; ++i)
        xml += "    <Switch name=\"switch" + std::to_string(i) + "\" value=\"1\" />\n";
    return xml + "</SystemSetting>\n";
}

// ---- the processes the bench starts (this program again, with --role) ----

// Our daemon: answers every blocking request with an envelope repeating the
// operation id; after STUDENT_SWITCHTONORMALOS it sends a burst of
// notifications.
__attribute__((noinline)) void daemonServeOurs(IPCStudentDaemonAPI& daemon)
{
    if (daemon.WaitForMsg(-1) != 0)
        return;
    CIntfData request;
    while (daemon.ReceiveMsg(request) == 0) {
        std::string name;
        int opid = 0;
        request.GetMessage(name);
        request.GetOperationID(opid);
        if (daemon.IsBlock()) {
            CIntfData answer(name, opid, "null");
            answer.SetResult(0);
            daemon.ReplyMsg(&answer);
        }
        if (name == "STUDENT_SWITCHTONORMALOS") {
            for (int i = 0; i < kBurst; ++i) {
                CIntfData note("NOTIFYTEACHERSTATUSCHANGED", opid, "null");
                note.m_ParaXml.setString("strTeacherID", "T1");
                note.m_ParaXml.setInt("iState", i);
                daemon.SendMsg(&note);
            }
        }
        request = CIntfData();
    }
}

int runOurDaemon()
{
    IPCStudentDaemonAPI daemon;
    for (;;)
        daemonServeOurs(daemon);
}

// A raw daemon waiting the same way, answering with a text of the reply's size.
__attribute__((noinline)) bool daemonServeRaw(DBusConnection* c, const std::string& answer)
{
    if (!dbus_connection_read_write(c, -1))
        return false;
    while (DBusMessage* m = dbus_connection_pop_message(c)) {
        if (dbus_message_get_type(m) == DBUS_MESSAGE_TYPE_METHOD_CALL) {
            DBusMessage* r = dbus_message_new_method_return(m);
            const char* text = answer.c_str();
            dbus_message_append_args(r, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID);
            dbus_connection_send(c, r, nullptr);
            dbus_connection_flush(c);
            dbus_message_unref(r);
        }
        dbus_message_unref(m);
    }
    return true;
}

int runRawDaemon(std::size_t replySize)
{
    DBusError err;
    dbus_error_init(&err);
    DBusConnection* c = dbus_bus_get_private(DBUS_BUS_SYSTEM, &err);
    if (!c || dbus_bus_request_name(c, kRawName, DBUS_NAME_FLAG_DO_NOT_QUEUE, &err) !=
                  DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER)
        return 1;
    const std::string answer(replySize, 'r');
    while (daemonServeRaw(c, answer)) {
    }
    return 0;
}

// Reads standard input until it is closed: the reader of a pipe.
int runDrain()
{
    static char buf[1 << 16];
    while (read(0, buf, sizeof buf) > 0 || errno == EINTR) {
    }
    return 0;
}

// ---- starting them ----

std::string g_self;
std::string g_daemonHome;
std::size_t g_requestSize = 0, g_replySize = 0;

// Starts this program with args, standard input and output as given, HOME
// set; the command line of TAV_BENCH_DAEMON_WRAP goes first when wrap.
pid_t spawnSelf(const std::vector<std::string>& args, int in, int out, const std::string& home,
                bool wrap)
{
    std::vector<std::string> words;
    const char* prefix = std::getenv("TAV_BENCH_DAEMON_WRAP");
    if (wrap && prefix) {
        std::istringstream split(prefix);
        for (std::string w; split >> w;)
            words.push_back(w);
    }
    words.push_back(g_self);
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    const std::string homeVar = "HOME=" + home;
    std::vector<char*> envp;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "HOME=", 5) != 0)
            envp.push_back(*e);
    envp.push_back(const_cast<char*>(homeVar.c_str()));
    envp.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (in >= 0)
            dup2(in, 0);
        if (out >= 0)
            dup2(out, 1);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    return pid;
}

void stop(pid_t& pid)
{
    if (pid > 0) {
        // Not SIGKILL: a profiler the daemon runs under writes its output.
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    pid = -1;
}

// A pipe with a reader process draining it; out is its writing end.
struct DrainedPipe {
    int out = -1;
    pid_t reader = -1;

    bool Open()
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return false;
        reader = spawnSelf({"--role=drain"}, fds[0], -1, g_daemonHome, false);
        close(fds[0]);
        out = fds[1];
        return reader > 0;
    }
    void Close()
    {
        if (out >= 0)
            close(out);
        out = -1;
        if (reader > 0)
            waitpid(reader, nullptr, 0);
        reader = -1;
    }
};

enum class Output { DevNull, Pipe };

// The two daemons and where standard output goes, for one output setting.
class Setup {
public:
    bool Use(Output output, bool fileLog)
    {
        if (m_active && output == m_output)
            return true;
        Stop();
        m_output = output;
        m_devnull = open("/dev/null", O_WRONLY | O_CLOEXEC);
        int daemonOut = m_devnull;
        if (output == Output::Pipe) {
            if (!m_callerPipe.Open() || !m_daemonPipe.Open())
                return false;
            daemonOut = m_daemonPipe.out;
            dup2(m_callerPipe.out, 1);
            close(m_callerPipe.out);
            m_callerPipe.out = -1;
        } else {
            dup2(m_devnull, 1);
        }
        const std::string home = fileLog ? g_daemonHome : "/proc";
        m_ours = spawnSelf({"--role=our-daemon"}, -1, daemonOut, home, true);
        m_raw = spawnSelf({"--role=raw-daemon", "--reply-size=" + std::to_string(g_replySize)}, -1,
                          m_devnull, home, true);
        // The daemon's copy is the only writer left: its reader ends with it.
        if (m_daemonPipe.out >= 0) {
            close(m_daemonPipe.out);
            m_daemonPipe.out = -1;
        }
        m_active = waitForNames();
        return m_active;
    }

    void Stop()
    {
        if (m_devnull >= 0) {
            // The caller's pipe closes here, and its reader ends.
            dup2(m_devnull, 1);
            close(m_devnull);
            m_devnull = -1;
        }
        stop(m_ours);
        stop(m_raw);
        m_callerPipe.Close();
        m_daemonPipe.Close();
        m_active = false;
    }

    pid_t OurDaemon() const { return m_ours; }
    pid_t RawDaemon() const { return m_raw; }

private:
    static bool waitForNames()
    {
        DBusConnection* c = dbus_bus_get_private(DBUS_BUS_SYSTEM, nullptr);
        if (!c)
            return false;
        bool both = false;
        // Long enough for daemons under a profiler.
        for (int i = 0; i < 6000 && !both; ++i) {
            both = dbus_bus_name_has_owner(c, "tav.student.daemon", nullptr) &&
                   dbus_bus_name_has_owner(c, kRawName, nullptr);
            if (!both)
                usleep(10000);
        }
        dbus_connection_close(c);
        dbus_connection_unref(c);
        return both;
    }

    bool m_active = false;
    Output m_output = Output::DevNull;
    int m_devnull = -1;
    pid_t m_ours = -1, m_raw = -1;
    DrainedPipe m_callerPipe, m_daemonPipe;
};

// ---- measuring ----

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    const std::size_t k = std::min(v.size() - 1, static_cast<std::size_t>(p * v.size()));
    std::nth_element(v.begin(), v.begin() + k, v.end());
    return v[k];
}

double threadCpuUs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e6 + ts.tv_nsec / 1e3;
}

// CPU time of a single-threaded process, nanosecond resolution.
double processCpuUs(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/schedstat");
    double ns = 0;
    in >> ns;
    return ns / 1e3;
}

class Counter : public IIPCStudentAPICallback {
public:
    std::atomic<int> seen{0};
    void ConnectTeacherCallBack(std::string, int) override {}
    void SearchTeacherCallBack(const std::list<std::string>&) override {}
    void NotifyLockStatusChanged(bool) override {}
    void NotifyTabNavPolicyChanged() override {}
    void NotifySchedulePolicyChanged() override {}
    void NotifyTeacherStatusChanged(std::string, int) override { ++seen; }
    void SearchLocalProgramCallBack(std::string) override {}
};

IPCStudentAPI* g_api = nullptr;
Counter g_counter;
DBusConnection* g_raw = nullptr;
Setup g_setup;
bool g_fileLog = true;
long g_iterations = 0;

__attribute__((noinline)) bool callerOurRequest(const std::string& xml)
{
    int ret = -1;
    return g_api->HardWareControl(xml, ret) == 0 && ret == 0;
}

__attribute__((noinline)) bool callerRawRequest(const std::string& request)
{
    DBusMessage* call =
        dbus_message_new_method_call(kRawName, kObject, "tav.studentapp.type", "HARDWARECONTROL");
    const char* text = request.c_str();
    dbus_message_append_args(call, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID);
    DBusPendingCall* pending = nullptr;
    dbus_connection_send_with_reply(g_raw, call, &pending, -1);
    dbus_connection_flush(g_raw);
    dbus_message_unref(call);
    dbus_pending_call_block(pending);
    DBusMessage* reply = dbus_pending_call_steal_reply(pending);
    dbus_pending_call_unref(pending);
    const char* got = nullptr;
    const bool ok =
        reply && dbus_message_get_args(reply, nullptr, DBUS_TYPE_STRING, &got, DBUS_TYPE_INVALID);
    if (reply)
        dbus_message_unref(reply);
    return ok;
}

struct Sample {
    std::vector<double> us;
    double cpu = 0;
};

template <class Fn>
bool measure(Sample& s, Fn fn)
{
    const double c0 = threadCpuUs();
    const auto t0 = Clock::now();
    const bool ok = fn();
    s.us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    s.cpu += threadCpuUs() - c0;
    return ok;
}

void BM_RequestVsRaw(benchmark::State& state, Output output)
{
    if (!g_setup.Use(output, g_fileLog)) {
        state.SkipWithError("daemons did not start");
        return;
    }
    const std::string xml = policyText();
    const std::string raw(g_requestSize, 'q');
    // One request of each before measuring: connections and caches warm.
    callerOurRequest(xml);
    callerRawRequest(raw);
    Sample ours, theirs;
    const double ourDaemon0 = processCpuUs(g_setup.OurDaemon());
    const double rawDaemon0 = processCpuUs(g_setup.RawDaemon());
    bool odd = false;
    for (auto _ : state) {
        // Alternate which goes first, so neither always follows the other.
        const bool ok = odd ? measure(theirs, [&] { return callerRawRequest(raw); }) &&
                                  measure(ours, [&] { return callerOurRequest(xml); })
                            : measure(ours, [&] { return callerOurRequest(xml); }) &&
                                  measure(theirs, [&] { return callerRawRequest(raw); });
        odd = !odd;
        if (!ok) {
            state.SkipWithError("request failed");
            break;
        }
    }
    const double n = static_cast<double>(std::max<std::size_t>(1, ours.us.size()));
    const double oursP50 = percentile(ours.us, 0.5), rawP50 = percentile(theirs.us, 0.5);
    state.counters["ours_p50_us"] = oursP50;
    state.counters["raw_p50_us"] = rawP50;
    state.counters["ratio_p50"] = rawP50 > 0 ? oursP50 / rawP50 : 0;
    state.counters["ratio_p90"] =
        percentile(theirs.us, 0.9) > 0 ? percentile(ours.us, 0.9) / percentile(theirs.us, 0.9) : 0;
    // Each request against the raw call next to it: steadier than the ratio
    // of the p50s while the machine's load changes during the run.
    std::vector<double> paired;
    for (std::size_t i = 0; i < std::min(ours.us.size(), theirs.us.size()); ++i)
        if (theirs.us[i] > 0)
            paired.push_back(ours.us[i] / theirs.us[i]);
    state.counters["ratio_paired"] = percentile(paired, 0.5);
    state.counters["ours_cpu_us"] = ours.cpu / n;
    state.counters["raw_cpu_us"] = theirs.cpu / n;
    state.counters["ours_daemon_cpu_us"] = (processCpuUs(g_setup.OurDaemon()) - ourDaemon0) / n;
    state.counters["raw_daemon_cpu_us"] = (processCpuUs(g_setup.RawDaemon()) - rawDaemon0) / n;
}

void BM_NotificationBurst100(benchmark::State& state)
{
    if (!g_setup.Use(Output::DevNull, g_fileLog)) {
        state.SkipWithError("daemons did not start");
        return;
    }
    for (auto _ : state) {
        const int start = g_counter.seen;
        int ret = 0;
        auto t0 = Clock::now();
        g_api->SwitchToNormalOS(ret);
        while (g_counter.seen < start + kBurst) {
            if (Clock::now() - t0 > std::chrono::seconds(30)) {
                state.SkipWithError("notifications did not arrive");
                break;
            }
            usleep(1000);
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    }
}

std::string option(int argc, char** argv, const char* name)
{
    const std::size_t len = std::strlen(name);
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], name, len) == 0)
            return argv[i] + len;
    return "";
}

} // namespace

int main(int argc, char** argv)
{
    const std::string role = option(argc, argv, "--role=");
    if (role == "our-daemon")
        return runOurDaemon();
    if (role == "raw-daemon")
        return runRawDaemon(std::strtoul(option(argc, argv, "--reply-size=").c_str(), nullptr, 10));
    if (role == "drain")
        return runDrain();

    g_fileLog = option(argc, argv, "--log=") != "stdout";
    g_iterations = std::strtol(option(argc, argv, "--iterations=").c_str(), nullptr, 10);
    benchmark::Initialize(&argc, argv);
    g_self = "/proc/self/exe";
    char self[4096];
    const ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
    if (len > 0)
        g_self.assign(self, static_cast<std::size_t>(len));

    tavtest::detail::InitTempRoot();
    // Each process logs into a home of its own on the local disk.
    g_daemonHome = tavtest::TempRoot() + "/daemon-home";
    mkdir(g_daemonHome.c_str(), 0700);
    if (!g_fileLog)
        setenv("HOME", "/proc", 1);
    signal(SIGPIPE, SIG_IGN);

    tavtest::PrivateBus bus;
    if (!bus.Start()) {
        std::fprintf(stderr, "cannot start a private dbus-daemon\n");
        return 1;
    }
    bus.Export();
    {
        CIntfData probe("HARDWARECONTROL", 1, "null");
        probe.m_ParaXml.setString("strXML", policyText());
        std::string text;
        probe.toString(text);
        g_requestSize = text.size();
        CIntfData answer("HARDWARECONTROL", 1, "null");
        answer.toString(text);
        g_replySize = text.size();
    }
    // Our log lines go where the setting of the benchmark sends them.
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    close(devnull);

    IPCAPIBase* base = nullptr;
    InitializeTAVLibrary(1, &base);
    g_api = static_cast<IPCStudentAPI*>(base);
    g_api->RegisterCallBack(&g_counter);
    g_raw = dbus_bus_get_private(DBUS_BUS_SYSTEM, nullptr);

    for (auto [name, output] : {std::pair{"BM_RequestVsRaw/stdout_devnull", Output::DevNull},
                                std::pair{"BM_RequestVsRaw/stdout_pipe", Output::Pipe}}) {
        auto* b = benchmark::RegisterBenchmark(name, BM_RequestVsRaw, output)
                      ->Unit(benchmark::kMicrosecond);
        if (g_iterations > 0)
            b->Iterations(g_iterations);
    }
    benchmark::RegisterBenchmark("BM_NotificationBurst100", BM_NotificationBurst100)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kSecond);
    std::cerr << "log: " << (g_fileLog ? "file and standard output" : "standard output only")
              << "; request envelope " << g_requestSize << " bytes, reply " << g_replySize
              << " bytes\n";
    benchmark::ConsoleReporter reporter;
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);

    g_setup.Stop();
    UninitializeTAVLibrary(base);
    dbus_connection_close(g_raw);
    dbus_connection_unref(g_raw);
    bus.Stop();
    tavtest::detail::RemoveTempRoot();
    return 0;
}
