// What hostile or heavy traffic costs the receiving side, on a private bus.
// The daemon (IPCStudentDaemonAPI, polling like a host: ReceiveMsg until 1,
// then 10 ms of sleep) and the application (IPCStudentAPI with a callback)
// each run in a child process of their own; a raw libdbus peer sends.
//
//  - BM_PeakMemory: VmHWM of the receiving process once a 1 MB or a 33 MB
//    envelope has been handled (a probe sent after it has arrived), next to
//    its VmHWM before (counters idle_MiB, peak_MiB, above_idle_MiB).
//  - BM_SearchAnswers: four 236 KB search answers to the application; when
//    the last reached the callback, after the first was sent (the worker
//    hands over one message per 50 ms, so 150 ms of it is pacing).
//  - BM_LockBehindPostMessage: a lock notification sent right behind a 2 MB
//    POSTMESSAGE; when it reached the callback.
//  - BM_RequestBehindArglessFlood: a blocking request sent behind 2000
//    signals without argument to the daemon; its latency.
//  - BM_DaemonAfterOversized: a 33 MB envelope to the daemon (over what the
//    bus library reads): when its name has a new owner again (back_ms,
//    after sending; off_bus_ms, how long the name had no owner of ours),
//    what a request sent right behind it gets (inflight_ok 1 = answered)
//    and whether the next one is answered.
//  - BM_RequestAfterBusRestart: the bus restarted under a live application;
//    the latency and result of its first request once a daemon is back.
#include "IIPCStudentAPICallback.h"
#include "IPCStudentAPI.h"
#include "IPCStudentDaemonAPI.h"
#include "TestSupport.h"

#include <benchmark/benchmark.h>
#include <dbus/dbus.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>

namespace tavtest::detail {
void InitTempRoot();
void RemoveTempRoot();
} // namespace tavtest::detail

using namespace IPCAPI;

namespace {

const char kObject[] = "/orvelix/message/object";
tavtest::PrivateBus* g_bus = nullptr;

double nowMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double hwmMiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

std::string envelope(const std::string& message, const std::string& params)
{
    auto pad = [](std::string t, std::size_t w) { return t.append(w - t.size(), ' '); };
    return pad(message, 64) + pad("1", 10) + pad("null", 64) + pad("0", 10) +
           "<?xml version=\"1.0\" ?><Parameters>" + params + "</Parameters>";
}

std::string param(const std::string& name, const std::string& type, const std::string& value)
{
    return "<Parameter name=\"" + name + "\" type=\"" + type + "\" value=\"" + value + "\" />";
}

// A child process talking line by line over two pipes.
class Child {
public:
    explicit Child(const std::function<void(Child&)>& body)
    {
        int down[2], up[2];
        if (pipe(down) != 0 || pipe(up) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            close(down[1]);
            close(up[0]);
            m_in = down[0];
            m_out = up[1];
            body(*this);
            _exit(0);
        }
        close(down[0]);
        close(up[1]);
        m_out = down[1];
        m_in = up[0];
    }
    ~Child()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        close(m_in);
        close(m_out);
    }
    void Say(const std::string& line)
    {
        const std::string text = line + "\n";
        if (write(m_out, text.data(), text.size()) < 0)
            std::perror("write");
    }
    // The next line, or "" after timeoutMs.
    std::string Hear(int timeoutMs = 30000)
    {
        for (;;) {
            const std::size_t eol = m_buffer.find('\n');
            if (eol != std::string::npos) {
                std::string line = m_buffer.substr(0, eol);
                m_buffer.erase(0, eol + 1);
                return line;
            }
            pollfd p{m_in, POLLIN, 0};
            if (poll(&p, 1, timeoutMs) <= 0)
                return "";
            char chunk[256];
            const ssize_t n = read(m_in, chunk, sizeof chunk);
            if (n <= 0)
                return "";
            m_buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }
    bool Pending()
    {
        pollfd p{m_in, POLLIN, 0};
        return m_buffer.find('\n') != std::string::npos || poll(&p, 1, 0) > 0;
    }

private:
    pid_t m_pid = -1;
    int m_in = -1, m_out = -1;
    std::string m_buffer;
};

double field(const std::string& line, int index)
{
    std::istringstream in(line);
    std::string word;
    for (int i = 0; i <= index && in >> word; ++i) {
    }
    return std::atof(word.c_str());
}

// Our daemon: reports "ready <hwm>", then "seen <member> <hwm> <ms>" for
// each request; answers blocking ones with result 0.
void runDaemon(Child& self)
{
    IPCStudentDaemonAPI daemon;
    self.Say("ready " + std::to_string(hwmMiB()));
    for (;;) {
        int opid = 0;
        std::string member, payload;
        while (daemon.ReceiveMsg(opid, member, payload) == 0) {
            if (daemon.IsBlock())
                daemon.ReplyMsg(envelope(member, ""));
            self.Say("seen " + member + " " + std::to_string(hwmMiB()) + " " +
                     std::to_string(nowMs()));
        }
        usleep(10000);
    }
}

// Our application: reports "ready <hwm>" once its worker delivers, then
// "cb <what> <hwm> <ms>" per callback; on "request" it makes a blocking
// request and reports "rc <result> <ms taken>".
class Reporter : public IIPCStudentAPICallback {
public:
    explicit Reporter(Child& self) : m_self(self) {}
    void ConnectTeacherCallBack(std::string, int) override {}
    void SearchTeacherCallBack(const std::list<std::string>&) override {}
    void NotifyLockStatusChanged(bool) override { Report("lock"); }
    void NotifyTabNavPolicyChanged() override {}
    void NotifySchedulePolicyChanged() override {}
    void NotifyTeacherStatusChanged(std::string, int) override {}
    void SearchLocalProgramCallBack(std::string) override { Report("search"); }
    void OnMessage(int id, std::string) override { Report("message" + std::to_string(id)); }

private:
    void Report(const std::string& what)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_self.Say("cb " + what + " " + std::to_string(hwmMiB()) + " " + std::to_string(nowMs()));
    }
    Child& m_self;
    std::mutex m_mutex;
};

void runApplication(Child& self)
{
    IPCStudentAPI api;
    Reporter reporter(self);
    api.RegisterCallBack(&reporter);
    usleep(1200000); // the worker's first delivery comes after 1.05 s
    self.Say("ready " + std::to_string(hwmMiB()));
    while (self.Hear(-1) == "request") {
        int ret = -1;
        const double t0 = nowMs();
        const int rc = api.HardWareControl("<x/>", ret);
        self.Say("rc " + std::to_string(rc) + " " + std::to_string(nowMs() - t0));
    }
}

DBusConnection* peer()
{
    static DBusConnection* c = nullptr;
    if (c && !dbus_connection_get_is_connected(c)) {
        dbus_connection_close(c);
        dbus_connection_unref(c);
        c = nullptr;
    }
    if (!c) {
        c = dbus_bus_get_private(DBUS_BUS_SYSTEM, nullptr);
        if (c)
            dbus_connection_set_exit_on_disconnect(c, FALSE);
    }
    return c;
}

// A signal with text as its argument (none when null); broadcast, or to
// destination only.
void signal(const char* iface, const char* member, const std::string* text,
            const char* destination = nullptr)
{
    DBusMessage* m = dbus_message_new_signal(kObject, iface, member);
    if (destination)
        dbus_message_set_destination(m, destination);
    if (text) {
        const char* p = text->c_str();
        dbus_message_append_args(m, DBUS_TYPE_STRING, &p, DBUS_TYPE_INVALID);
    }
    dbus_connection_send(peer(), m, nullptr);
    dbus_connection_flush(peer());
    dbus_message_unref(m);
}

// A blocking request to the daemon; true when answered.
bool request(const char* member, int timeoutMs)
{
    DBusMessage* m =
        dbus_message_new_method_call("tav.student.daemon", kObject, "tav.studentapp.type", member);
    const std::string text = envelope(member, "");
    const char* p = text.c_str();
    dbus_message_append_args(m, DBUS_TYPE_STRING, &p, DBUS_TYPE_INVALID);
    DBusMessage* r = dbus_connection_send_with_reply_and_block(peer(), m, timeoutMs, nullptr);
    dbus_message_unref(m);
    if (r)
        dbus_message_unref(r);
    return r != nullptr;
}

std::string owner(const char* name)
{
    DBusMessage* m = dbus_message_new_method_call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "GetNameOwner");
    dbus_message_append_args(m, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID);
    DBusMessage* r = dbus_connection_send_with_reply_and_block(peer(), m, 1000, nullptr);
    dbus_message_unref(m);
    const char* unique = nullptr;
    std::string result;
    if (r && dbus_message_get_args(r, nullptr, DBUS_TYPE_STRING, &unique, DBUS_TYPE_INVALID))
        result = unique;
    if (r)
        dbus_message_unref(r);
    return result;
}

void waitForOwner(const char* name)
{
    for (int i = 0; i < 500 && owner(name).empty(); ++i)
        usleep(10000);
}

// Sends what send() sends, then probes until the child reports the probe;
// the child's last VmHWM.
double peakAfter(Child& child, const std::string& probeWord, const std::function<void()>& send,
                 const std::function<void()>& probe)
{
    send();
    const double t0 = nowMs();
    while (nowMs() - t0 < 20000) {
        probe();
        while (child.Pending()) {
            const std::string line = child.Hear(100);
            if (line.find(probeWord) != std::string::npos)
                return field(line, 2);
        }
        usleep(20000);
    }
    return -1;
}

void BM_PeakMemory(benchmark::State& state)
{
    const bool daemonSide = state.range(0) == 0;
    const std::size_t bytes = static_cast<std::size_t>(state.range(1)) * 1000 * 1000;
    for (auto _ : state) {
        Child child(daemonSide ? runDaemon : runApplication);
        const double idle = field(child.Hear(), 1);
        const std::string big =
            envelope("POSTMESSAGE", param("MessageID", "int", "1") +
                                        param("Message", "string", std::string(bytes, 'a')));
        const std::string probe = envelope("POSTMESSAGE", param("MessageID", "int", "2") +
                                                              param("Message", "string", "probe"));
        const double peak =
            daemonSide
                ? peakAfter(
                      child, "PROBE", [&] { signal("tav.studentapp.type", "POSTMESSAGE", &big); },
                      [&] { signal("tav.studentapp.type", "PROBE", &probe); })
                : peakAfter(
                      child, "message2",
                      [&] {
                          signal("tav.studentdaemon.type", "POSTMESSAGE", &big, "tav.student.app");
                      },
                      [&] { signal("tav.studentdaemon.type", "POSTMESSAGE", &probe); });
        if (peak < 0)
            state.SkipWithError("the probe did not arrive");
        state.counters["idle_MiB"] = idle;
        state.counters["peak_MiB"] = peak;
        state.counters["above_idle_MiB"] = peak - idle;
    }
}

// Sends the texts back to back to the application; when the callback
// reported the last of `expect` (ms after the first was sent).
double arrivalOfLast(const std::vector<std::pair<const char*, std::string>>& notes,
                     const std::string& expect, int count)
{
    Child child(runApplication);
    child.Hear();
    const double t0 = nowMs();
    for (const auto& note : notes)
        signal("tav.studentdaemon.type", note.first, &note.second);
    double last = -1;
    for (int seen = 0; seen < count;) {
        const std::string line = child.Hear(30000);
        if (line.empty())
            return -1;
        if (line.find("cb " + expect) == 0) {
            ++seen;
            last = field(line, 3) - t0;
        }
    }
    return last;
}

void BM_SearchAnswers(benchmark::State& state)
{
    const std::string answer = envelope(
        "SEARCHLOCALPROGRAMCALLBACK", param("programsXML", "string", std::string(236 * 1000, 'p')));
    std::vector<std::pair<const char*, std::string>> notes(4,
                                                           {"SEARCHLOCALPROGRAMCALLBACK", answer});
    for (auto _ : state) {
        const double last = arrivalOfLast(notes, "search", 4);
        if (last < 0)
            state.SkipWithError("answers missing");
        state.counters["last_ms"] = last;
        state.counters["last_minus_pacing_ms"] = last - 150;
    }
}

void BM_LockBehindPostMessage(benchmark::State& state)
{
    const std::vector<std::pair<const char*, std::string>> notes = {
        {"POSTMESSAGE",
         envelope("POSTMESSAGE", param("MessageID", "int", "1") +
                                     param("Message", "string", std::string(2000 * 1000, 'm')))},
        {"NOTIFYLOCKSTATUSCHANGED",
         envelope("NOTIFYLOCKSTATUSCHANGED", param("bLock", "string", "TRUE"))}};
    for (auto _ : state) {
        const double last = arrivalOfLast(notes, "lock", 1);
        if (last < 0)
            state.SkipWithError("lock notification missing");
        state.counters["lock_ms"] = last;
    }
}

void BM_RequestBehindArglessFlood(benchmark::State& state)
{
    for (auto _ : state) {
        Child child(runDaemon);
        child.Hear();
        waitForOwner("tav.student.daemon");
        for (int i = 0; i < 2000; ++i)
            signal("tav.studentapp.type", "NOARG", nullptr);
        const double t0 = nowMs();
        const bool ok = request("HARDWARECONTROL", 30000);
        state.counters["request_ms"] = nowMs() - t0;
        if (!ok)
            state.SkipWithError("request not answered");
    }
}

void BM_DaemonAfterOversized(benchmark::State& state)
{
    const std::string big =
        envelope("POSTMESSAGE", param("Message", "string", std::string(33 * 1000 * 1000, 'a')));
    for (auto _ : state) {
        Child child(runDaemon);
        child.Hear();
        waitForOwner("tav.student.daemon");
        const std::string before = owner("tav.student.daemon");
        const double t0 = nowMs();
        signal("tav.studentapp.type", "POSTMESSAGE", &big);
        const bool answered = request("HARDWARECONTROL", 5000);
        const double inflight = nowMs() - t0;
        // Off the bus from the moment its name is gone until it is back.
        double lost = -1, back = -1;
        while (nowMs() - t0 < 10000 && back < 0) {
            const std::string now = owner("tav.student.daemon");
            if (lost < 0 && now != before)
                lost = nowMs();
            if (lost >= 0 && !now.empty() && now != before)
                back = nowMs();
        }
        state.counters["back_ms"] = back - t0;
        state.counters["off_bus_ms"] = back - lost;
        state.counters["inflight_ok"] = answered;
        state.counters["inflight_ms"] = inflight;
        state.counters["next_ok"] = request("HARDWARECONTROL", 5000);
    }
}

void BM_RequestAfterBusRestart(benchmark::State& state)
{
    for (auto _ : state) {
        Child app(runApplication);
        app.Hear();
        g_bus->Restart();
        Child daemon(runDaemon);
        daemon.Hear();
        waitForOwner("tav.student.daemon");
        app.Say("request");
        const std::string line = app.Hear();
        state.counters["request_rc"] = field(line, 1);
        state.counters["request_ms"] = field(line, 2);
    }
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    tavtest::detail::InitTempRoot();
    // Log lines go to files in the temporary home and to a file as
    // standard output; the results to standard error.
    const std::string out = tavtest::TempRoot() + "/stdout.log";
    int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 1);
    close(fd);

    tavtest::PrivateBus bus;
    if (!bus.Start()) {
        std::fprintf(stderr, "cannot start a private dbus-daemon\n");
        return 1;
    }
    bus.Export();
    g_bus = &bus;
    auto once = [](benchmark::internal::Benchmark* b) {
        b->Iterations(1)->Unit(benchmark::kMillisecond);
    };
    once(benchmark::RegisterBenchmark("BM_PeakMemory", BM_PeakMemory)
             ->ArgNames({"app", "MB"})
             ->Args({0, 1})
             ->Args({0, 33})
             ->Args({1, 1})
             ->Args({1, 33}));
    once(benchmark::RegisterBenchmark("BM_SearchAnswers", BM_SearchAnswers));
    once(benchmark::RegisterBenchmark("BM_LockBehindPostMessage", BM_LockBehindPostMessage));
    once(
        benchmark::RegisterBenchmark("BM_RequestBehindArglessFlood", BM_RequestBehindArglessFlood));
    once(benchmark::RegisterBenchmark("BM_DaemonAfterOversized", BM_DaemonAfterOversized));
    once(benchmark::RegisterBenchmark("BM_RequestAfterBusRestart", BM_RequestAfterBusRestart));
    benchmark::ConsoleReporter reporter;
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    bus.Stop();
    tavtest::detail::RemoveTempRoot();
    return 0;
}
