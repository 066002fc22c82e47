// End-to-end cost of the IPC library on a private bus:
//  - a blocking request of the student application to a daemon built on our
//    daemon API, next to a raw libdbus method call carrying texts of the same
//    sizes to a raw daemon on the same bus, both daemons polling the same way;
//  - a burst of 100 notifications from the daemon to the application's
//    callback (the worker's 50 ms pacing sets a floor of about 5 s).
// Latencies are medians over all iterations (counter p50_us).
//
//   ipc_request_bench [--log=full|stdout]   (default full)
// full: both sides log as usual, to files in a temporary home on the local
// disk and to standard output (sent to a file there too); stdout: the file
// side is switched off (home not writable), standard output still written.
#include "IPCAPIManager.h"
#include "IPCStudentAPI.h"
#include "IPCStudentDaemonAPI.h"
#include "IIPCStudentAPICallback.h"
#include "TestSupport.h"

#include <benchmark/benchmark.h>
#include <dbus/dbus.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
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
const int kBurst = 100;

// A lock-schedule sized policy text, as HardWareControl carries in practice.
std::string policyText()
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<SystemSetting>\n";
    for (int i = 0; i < 6; ++i)
        xml += "    <Switch name=\"switch" + std::to_string(i) + "\" value=\"1\" />\n";
    return xml + "</SystemSetting>\n";
}

std::size_t g_requestSize = 0, g_replySize = 0;

// Our daemon: answers every blocking request with an envelope repeating the
// operation id; after STUDENT_SWITCHTONORMALOS it sends a burst of
// notifications.
[[noreturn]] void runOurDaemon()
{
    IPCStudentDaemonAPI daemon;
    for (;;) {
        CIntfData request;
        if (daemon.ReceiveMsg(request) != 0) {
            usleep(10);
            continue;
        }
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
    }
}

// A raw daemon polling like ours, answering with a text of the reply's size.
[[noreturn]] void runRawDaemon()
{
    DBusError err;
    dbus_error_init(&err);
    DBusConnection* c = dbus_bus_get_private(DBUS_BUS_SYSTEM, &err);
    if (!c || dbus_bus_request_name(c, kRawName, DBUS_NAME_FLAG_DO_NOT_QUEUE, &err) !=
                  DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER)
        _exit(1);
    const std::string answer(g_replySize, 'r');
    for (;;) {
        dbus_connection_read_write(c, 0);
        DBusMessage* m = dbus_connection_pop_message(c);
        if (!m) {
            usleep(10);
            continue;
        }
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
}

pid_t spawn(void (*body)())
{
    pid_t pid = fork();
    if (pid == 0)
        body();
    return pid;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
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

void BM_OurBlockingRequest(benchmark::State& state)
{
    const std::string xml = policyText();
    std::vector<double> us;
    for (auto _ : state) {
        int ret = -1;
        auto t0 = Clock::now();
        int rc = g_api->HardWareControl(xml, ret);
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        if (rc != 0 || ret != 0)
            state.SkipWithError("request failed");
    }
    state.counters["p50_us"] = median(us);
}

void BM_RawBlockingCall(benchmark::State& state)
{
    const std::string request(g_requestSize, 'q');
    std::vector<double> us;
    for (auto _ : state) {
        auto t0 = Clock::now();
        DBusMessage* call = dbus_message_new_method_call(kRawName, "/orvelix/message/object",
                                                         "tav.studentapp.type", "HARDWARECONTROL");
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
        bool ok = reply && dbus_message_get_args(reply, nullptr, DBUS_TYPE_STRING, &got, DBUS_TYPE_INVALID);
        if (reply)
            dbus_message_unref(reply);
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        if (!ok)
            state.SkipWithError("raw call failed");
    }
    state.counters["p50_us"] = median(us);
}

void BM_NotificationBurst100(benchmark::State& state)
{
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

} // namespace

int main(int argc, char** argv)
{
    bool fileLog = true;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--log=stdout") == 0)
            fileLog = false;
    benchmark::Initialize(&argc, argv);

    tavtest::detail::InitTempRoot();
    if (!fileLog)
        setenv("HOME", "/proc", 1);
    // Standard output is where every log line is echoed: a file on the local
    // disk; the results go to standard error.
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
    // Children first: nothing here has touched the bus yet.
    pid_t ours = spawn(runOurDaemon);
    pid_t raw = spawn(runRawDaemon);

    IPCAPIBase* base = nullptr;
    InitializeTAVLibrary(1, &base);
    g_api = static_cast<IPCStudentAPI*>(base);
    g_api->RegisterCallBack(&g_counter);
    g_raw = dbus_bus_get_private(DBUS_BUS_SYSTEM, nullptr);
    // Both daemons own their names before the first measured call.
    for (int i = 0; i < 500 && !(dbus_bus_name_has_owner(g_raw, "tav.student.daemon", nullptr) &&
                                 dbus_bus_name_has_owner(g_raw, kRawName, nullptr));
         ++i)
        usleep(10000);

    benchmark::RegisterBenchmark("BM_OurBlockingRequest", BM_OurBlockingRequest)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("BM_RawBlockingCall", BM_RawBlockingCall)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("BM_NotificationBurst100", BM_NotificationBurst100)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kSecond);
    std::cerr << "log: " << (fileLog ? "file and standard output" : "standard output only")
              << "; request envelope " << g_requestSize << " bytes, reply " << g_replySize << " bytes\n";
    benchmark::ConsoleReporter reporter;
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);

    UninitializeTAVLibrary(base);
    dbus_connection_close(g_raw);
    dbus_connection_unref(g_raw);
    kill(ours, SIGKILL);
    kill(raw, SIGKILL);
    waitpid(ours, nullptr, 0);
    waitpid(raw, nullptr, 0);
    bus.Stop();
    tavtest::detail::RemoveTempRoot();
    return 0;
}
