// tav-sim-daemon: a simulated teacher or student daemon for the engineers
// who write the applications, built on the daemon APIs of libtav. See
// docs/tav-sim-daemon.md.
#include "IPCStudentDaemonAPI.h"
#include "IPCTeacherDaemonAPI.h"
#include "Json.h"
#include "ResultStream.h"
#include "SimOptions.h"
#include "StudentSim.h"
#include "TAVLog.h"
#include "TAVProtocol.h"
#include "TeacherSim.h"

#include <dbus/dbus.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace simdaemon;

namespace {

volatile std::sig_atomic_t g_stop = 0;

// A connection of our own (closed, then released) and a reference to the
// library's shared one (released).
struct ClosePrivate {
    void operator()(DBusConnection* c) const
    {
        dbus_connection_close(c);
        dbus_connection_unref(c);
    }
};
struct Unref {
    void operator()(DBusConnection* c) const { dbus_connection_unref(c); }
};
using PrivateConnection = std::unique_ptr<DBusConnection, ClosePrivate>;
using SharedConnection = std::unique_ptr<DBusConnection, Unref>;

void OnStopSignal(int) { g_stop = 1; }

// The signal mask the wait for requests runs with: SIGINT and SIGTERM are
// blocked everywhere else, so that one can only arrive inside that wait and
// end it (never between the check of g_stop and the wait, where it would
// be lost until the next request).
sigset_t g_waitMask;

void InstallSignals()
{
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0; // no restart: a signal ends the wait at once
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // Reading the terminal from the background must not stop the process.
    std::signal(SIGTTIN, SIG_IGN);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    // Before the library starts a thread: they inherit the mask.
    pthread_sigmask(SIG_BLOCK, &stop, &g_waitMask);
    sigdelset(&g_waitMask, SIGINT);
    sigdelset(&g_waitMask, SIGTERM);
}

void Log(const std::string& text,
         LibTAVData::CTAVLog::LOGLEVEL level = LibTAVData::CTAVLog::LOG_TRACE)
{
    LibTAVData::CTAVLog::WriteLine("tav-sim-daemon: " + text, level, "", false);
}

// What the daemon prints: text, or with --json one object a line on the
// original standard output (the library log, which echoes to descriptor 1,
// is sent nowhere then).
std::FILE* g_out = stdout;
bool g_json = false;

void Say(const std::string& text, const tavtools::JsonObject& object)
{
    if (g_json)
        std::fprintf(g_out, "%s\n", object.Text().c_str());
    else
        std::fputs(text.c_str(), g_out);
    std::fflush(g_out);
}

// An error on standard error, and as an object with --json.
void Complain(const std::string& text, int status = 0)
{
    std::fprintf(stderr, "tav-sim-daemon: %s\n", text.c_str());
    if (g_json) {
        tavtools::JsonObject o;
        o.Str("type", "error").Str("message", text);
        if (status != 0)
            o.Int("status", status);
        std::fprintf(g_out, "%s\n", o.Text().c_str());
        std::fflush(g_out);
    }
}

// Lines of text as a list.
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t nl = text.find('\n', start);
        lines.push_back(
            text.substr(start, nl == std::string::npos ? std::string::npos : nl - start));
        start = nl == std::string::npos ? text.size() : nl + 1;
    }
    return lines;
}

// The unique name owning name on the bus; empty when none.
std::string NameOwner(DBusConnection* c, const char* name)
{
    struct UnrefMessage {
        void operator()(DBusMessage* m) const { dbus_message_unref(m); }
    };
    using Message = std::unique_ptr<DBusMessage, UnrefMessage>;
    const Message m(dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS,
                                                 DBUS_INTERFACE_DBUS, "GetNameOwner"));
    if (!m)
        return "";
    dbus_message_append_args(m.get(), DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID);
    DBusError err;
    dbus_error_init(&err);
    const Message r(dbus_connection_send_with_reply_and_block(c, m.get(), 5000, &err));
    dbus_error_free(&err);
    const char* text = nullptr;
    if (r && dbus_message_get_args(r.get(), nullptr, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID) &&
        text)
        return text;
    return "";
}

bool InForeground() { return !isatty(STDIN_FILENO) || tcgetpgrp(STDIN_FILENO) == getpgrp(); }

// Commands typed on standard input; false when it asks to stop.
bool RunCommand(SimDaemon& sim, const std::string& raw)
{
    const std::size_t b = raw.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return true;
    const std::string line = raw.substr(b, raw.find_last_not_of(" \t\r") - b + 1);
    if (line == "quit" || line == "exit")
        return false;
    std::string out;
    tavtools::JsonObject answer;
    answer.Str("type", "command").Str("command", line);
    if (line == "help") {
        out = "commands: " + sim.CommandHelp() + "\n";
        Say(out, answer.Bool("ok", true).Strs("output", Lines(out)));
        return true;
    }
    if (sim.Command(line, out)) {
        Say(out, answer.Bool("ok", true).Strs("output", Lines(out)));
    } else {
        std::fprintf(stderr, "tav-sim-daemon: %s", out.c_str());
        if (g_json)
            Say("", answer.Bool("ok", false).Strs("output", Lines(out)));
        Log("command refused: " + line, LibTAVData::CTAVLog::LOG_WARNING);
    }
    return true;
}

int Serve(SimDaemon& sim, DaemonPort& port)
{
    bool stdinOpen = true;
    std::string typed;
    while (!g_stop) {
        const bool more = sim.Poll();
        // Asked before each wait: it changes when the library connects again.
        const int busFd = port.WaitFD();
        if (busFd < 0) {
            Log("the bus went away; stopping", LibTAVData::CTAVLog::LOG_ERROR);
            Complain("the bus went away");
            return 1;
        }
        // Sleep until a request arrives, a line is typed or the next
        // notification is due.
        int wait = more ? 0 : sim.MsUntilNextDue();
        pollfd fds[2];
        nfds_t n = 0;
        fds[n++] = {busFd, POLLIN, 0};
        const bool readStdin = stdinOpen && InForeground();
        if (readStdin)
            fds[n++] = {STDIN_FILENO, POLLIN, 0};
        // A terminal that is not ours is looked at again now and then.
        if (stdinOpen && !readStdin && (wait < 0 || wait > 500))
            wait = 500;
        struct timespec slice = {wait / 1000, (wait % 1000) * 1000000L};
        if (ppoll(fds, n, wait < 0 ? nullptr : &slice, &g_waitMask) <= 0 || !readStdin ||
            !(fds[n - 1].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        char buf[4096];
        const ssize_t got = read(STDIN_FILENO, buf, sizeof buf);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0) {
            stdinOpen = false; // end of input: keep serving
            continue;
        }
        typed.append(buf, static_cast<std::size_t>(got));
        std::size_t nl;
        while ((nl = typed.find('\n')) != std::string::npos) {
            const std::string line = typed.substr(0, nl);
            typed.erase(0, nl + 1);
            if (!RunCommand(sim, line))
                return 0;
        }
        if (typed.size() > 65536) {
            Complain("input line too long, dropped");
            typed.clear();
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    SimOptions options;
    std::string error;
    bool help = false;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!ParseOptions(args, options, error, help)) {
        // Not understood, but a script that asked for JSON gets its error
        // as JSON.
        g_json = std::find(args.begin(), args.end(), "--json") != args.end();
        Complain(error + " (try --help)", 2);
        return 2;
    }
    if (help) {
        std::fputs(Usage().c_str(), stdout);
        return 0;
    }
    if (options.showVersion) {
        std::printf("tav-sim-daemon (TAV) %s\n", TAV_VERSION);
        return 0;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    g_json = options.json;
    if (g_json)
        g_out = tavtools::TakeStandardOutput(false);
    InstallSignals();
    if (!options.busAddress.empty())
        setenv("DBUS_SYSTEM_BUS_ADDRESS", options.busAddress.c_str(), 1);
    LibTAVData::CTAVLog::SetLogFileName(options.logName);

    const bool teacher = options.mode == SimOptions::Teacher;
    const char* busName = teacher ? IPCAPI::kTeacherDaemonName : IPCAPI::kStudentDaemonName;

    DBusError err;
    dbus_error_init(&err);
    const PrivateConnection probe(dbus_bus_get_private(DBUS_BUS_SYSTEM, &err));
    if (!probe) {
        Complain(std::string("cannot reach the system bus: ") +
                     (err.message ? err.message : "unknown error"),
                 1);
        dbus_error_free(&err);
        return 1;
    }
    dbus_connection_set_exit_on_disconnect(probe.get(), FALSE);
    if (dbus_bus_name_has_owner(probe.get(), busName, nullptr)) {
        Complain(std::string("another daemon already owns ") + busName +
                     " on this bus; a second instance is not started",
                 1);
        return 1;
    }

    std::unique_ptr<DaemonPort> port;
    if (teacher)
        port.reset(new ApiPort<IPCAPI::IPCTeacherDaemonAPI>);
    else
        port.reset(new ApiPort<IPCAPI::IPCStudentDaemonAPI>);
    {
        // The shared connection the daemon API uses: its unique name must
        // now own the daemon's name.
        const SharedConnection bus(dbus_bus_get(DBUS_BUS_SYSTEM, nullptr));
        const char* me = bus ? dbus_bus_get_unique_name(bus.get()) : nullptr;
        if (!me || NameOwner(probe.get(), busName) != me) {
            Complain(
                std::string("could not take the name ") + busName +
                    " (another daemon took it, or the bus policy does not let this user own it)",
                1);
            return 1;
        }
    }

    std::unique_ptr<SimDaemon> sim;
    if (teacher)
        sim.reset(new TeacherSim(*port, options));
    else
        sim.reset(new StudentSim(*port, options));
    const std::string what =
        teacher ? "teacher daemon with " + std::to_string(options.students.size()) + " students"
                : "student daemon";
    Log("serving as " + std::string(busName) + ": " + what);
    if (g_json)
        sim->SetEvents([](const tavtools::JsonObject& event) { Say("", event); });
    tavtools::JsonObject ready;
    ready.Str("type", "ready").Str("mode", teacher ? "teacher" : "student").Str("name", busName);
    if (teacher) {
        std::vector<std::string> ids;
        for (const IPCAPI::tagStudent_t& st : options.students)
            ids.push_back(st.studentID);
        ready.Strs("students", ids);
    } else {
        ready.Strs("teachers", options.teachers);
    }
    Say("tav-sim-daemon: " + what + " ready as " + busName +
            " (SIGINT or SIGTERM stops it; type help for commands)\n",
        ready);

    const int rc = Serve(*sim, *port);

    Log("stopping; releasing " + std::string(busName));
    sim.reset();
    port.reset(); // the last API object releases the bus name
    Say("tav-sim-daemon: stopped\n",
        tavtools::JsonObject().Str("type", "stopped").Int("status", rc));
    return rc;
}
