// tav-teacherd: the teacher daemon of a classroom. It owns the teacher
// daemon's bus name, answers the teacher applications and carries their
// requests to the students through the class broker (docs/classroom.md).
//
//   tav-teacherd [--config PATH]
//
// Exit status: 0 stopped by SIGTERM or SIGINT, 1 could not run (no bus, the
// bus name taken, the state folder unusable), 2 bad command line or
// configuration.
#include "CallerAccess.h"
#include "DaemonConfig.h"
#include "IPCTeacherDaemonAPI.h"
#include "TAVLog.h"
#include "TAVProtocol.h"
#include "TeacherDaemon.h"
#include "TeacherLog.h"
#include "Topics.h"
#include "UniqueFd.h"

#include <dbus/dbus.h>
#include <poll.h>
#include <sys/signalfd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace teacherd;

namespace {

const char kUsage[] =
    "Usage: tav-teacherd [--config PATH]\n"
    "The teacher daemon of a classroom: owns tav.teacher.daemon on the system bus,\n"
    "answers the teacher applications and reaches the students through the class\n"
    "broker. Runs in the foreground until SIGTERM or SIGINT.\n"
    "\n"
    "  --config PATH  configuration file (default /etc/TAV/tav-teacherd.conf; when\n"
    "                 that does not exist, every key keeps its default)\n"
    "  --version      print the version and exit\n"
    "  --help         print this help and exit\n"
    "\n"
    "Exit status: 0 stopped by a signal, 1 could not run, 2 bad command line or\n"
    "configuration. See docs/classroom.md.\n";

struct ConnectionCloser {
    void operator()(DBusConnection* c) const
    {
        dbus_connection_close(c);
        dbus_connection_unref(c);
    }
};
struct ConnectionUnref {
    void operator()(DBusConnection* c) const { dbus_connection_unref(c); }
};

// Who owns name on the system bus, asked on a connection of our own; empty
// when nobody does (or the bus cannot be asked).
std::string NameOwner(DBusConnection* c, const char* name)
{
    DBusError err;
    dbus_error_init(&err);
    std::string owner;
    if (dbus_bus_name_has_owner(c, name, &err)) {
        std::unique_ptr<DBusMessage, void (*)(DBusMessage*)> call(
            dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS,
                                         "GetNameOwner"),
            dbus_message_unref);
        if (call &&
            dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID)) {
            std::unique_ptr<DBusMessage, void (*)(DBusMessage*)> reply(
                dbus_connection_send_with_reply_and_block(c, call.get(), 5000, &err),
                dbus_message_unref);
            const char* text = nullptr;
            if (reply &&
                dbus_message_get_args(reply.get(), nullptr, DBUS_TYPE_STRING, &text,
                                      DBUS_TYPE_INVALID) &&
                text)
                owner = text;
        }
    }
    dbus_error_free(&err);
    return owner;
}

int Fail(int code, const std::string& why)
{
    std::fprintf(stderr, "tav-teacherd: %s\n", why.c_str());
    LogError(why);
    return code;
}

// SIGTERM and SIGINT arrive on a descriptor the main loop polls; blocked
// before any thread starts, so that every thread leaves them to it.
tavd::UniqueFd StopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0)
        return tavd::UniqueFd();
    std::signal(SIGPIPE, SIG_IGN);
    return tavd::UniqueFd(signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
}

int Run(TeacherDaemon& daemon, IPCAPI::IPCTeacherDaemonAPI& api, int stopFd)
{
    for (;;) {
        const bool more = daemon.ServeRequests();
        // Asked before every wait: it changes when the library connects again.
        const int busFd = api.GetWaitFD();
        const int classFd = daemon.ClassWakeFd();
        pollfd fds[3] = {{stopFd, POLLIN, 0}, {classFd, POLLIN, 0}, {busFd, POLLIN, 0}};
        // Without a bus the library connects again on its own: look now and then.
        const int timeout = more ? 0 : busFd < 0 ? 1000 : -1;
        if (poll(fds, 3, timeout) < 0)
            continue;
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info;
            const bool read =
                ::read(stopFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info);
            Log(std::string("stopping on ") +
                (read ? strsignal(static_cast<int>(info.ssi_signo)) : "a signal"));
            return 0;
        }
        if (fds[1].revents & POLLIN)
            daemon.DispatchClass();
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::string configPath;
    bool explicitConfig = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--version") {
            std::printf("tav-teacherd (TAV) %s\n", TAV_VERSION);
            return 0;
        }
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--config" && i + 1 < argc) {
            configPath = argv[++i];
            explicitConfig = true;
        } else {
            std::fprintf(stderr, "tav-teacherd: unknown argument '%s' (try --help)\n", arg.c_str());
            return 2;
        }
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    LibTAVData::CTAVLog::SetLogFileName("tav-teacherd");

    const tavd::DaemonRole role = tavd::DaemonRole::Teacher;
    tavd::DaemonConfig config = tavd::DaemonConfig::Defaults(role);
    std::vector<std::string> errors;
    if (!explicitConfig)
        configPath = tavd::DefaultConfigPath(role);
    if (explicitConfig || access(configPath.c_str(), F_OK) == 0) {
        if (!tavd::LoadDaemonConfig(configPath, role, config, errors)) {
            for (const std::string& e : errors)
                std::fprintf(stderr, "tav-teacherd: %s\n", e.c_str());
            return 2;
        }
    } else {
        Log(configPath + " does not exist: every setting keeps its default");
    }
    const auto topics = tavd::ClassTopics::ForClass(config.className);
    if (!topics)
        return Fail(2, "class name '" + config.className + "' is not valid");

    // Files a request names are read with the caller's rights; the daemon's
    // own groups must not add to them.
    if (!DropSupplementaryGroups())
        LogWarning(
            "running without root: files named in requests are read with this user's groups too");
    tavd::UniqueFd stopFd = StopSignals();
    if (stopFd.get() < 0)
        return Fail(1, std::string("cannot take SIGTERM and SIGINT: ") + std::strerror(errno));

    DBusError err;
    dbus_error_init(&err);
    std::unique_ptr<DBusConnection, ConnectionCloser> probe(
        dbus_bus_get_private(DBUS_BUS_SYSTEM, &err));
    if (!probe) {
        const std::string why = err.message ? err.message : "unknown error";
        dbus_error_free(&err);
        return Fail(1, "cannot reach the system bus: " + why);
    }
    dbus_connection_set_exit_on_disconnect(probe.get(), FALSE);
    if (!NameOwner(probe.get(), IPCAPI::kTeacherDaemonName).empty())
        return Fail(1,
                    std::string("another daemon owns ") + IPCAPI::kTeacherDaemonName + " already");

    IPCAPI::IPCTeacherDaemonAPI api;
    {
        // The library's connection is the process's shared one: it must
        // now own the name.
        std::unique_ptr<DBusConnection, ConnectionUnref> shared(
            dbus_bus_get(DBUS_BUS_SYSTEM, nullptr));
        const char* me = shared ? dbus_bus_get_unique_name(shared.get()) : nullptr;
        if (!me || NameOwner(probe.get(), IPCAPI::kTeacherDaemonName) != me)
            return Fail(
                1,
                std::string("could not take ") + IPCAPI::kTeacherDaemonName +
                    " (another daemon took it, or the bus policy does not let this user own it)");
    }
    probe.reset();

    TeacherDaemon daemon(config, *topics, api);
    std::string why;
    if (!daemon.Start(why))
        return Fail(1, why);
    Log("serving class " + config.className + " as " + IPCAPI::kTeacherDaemonName);
    std::printf("tav-teacherd: class %s, serving as %s\n", config.className.c_str(),
                IPCAPI::kTeacherDaemonName);
    const int rc = Run(daemon, api, stopFd.get());
    daemon.Stop();
    Log("stopped");
    return rc;
}
