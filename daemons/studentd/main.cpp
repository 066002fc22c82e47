// tav-studentd [--config PATH]: the student machine's classroom daemon, in
// the foreground. Exit status 0 after SIGTERM or SIGINT, 2 for a bad
// command line or configuration, 1 when it cannot run.
#include "DaemonConfig.h"
#include "StudentDaemon.h"
#include "TAVLog.h"
#include "UniqueFd.h"

#include <signal.h>
#include <sys/signalfd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "Usage: tav-studentd [--config PATH]\n"
    "The student machine's classroom daemon: answers the student applications on\n"
    "the system bus as tav.student.daemon and is this machine in the class over\n"
    "MQTT (presence, the teacher's commands and policies, the lock). Runs in the\n"
    "foreground until SIGTERM or SIGINT.\n"
    "\n"
    "  --config PATH  the configuration file (default /etc/TAV/tav-studentd.conf)\n"
    "  --help         this text\n"
    "  --version      the version\n"
    "\n"
    "Exit status: 0 stopped by a signal, 1 cannot run (no bus, bus name taken,\n"
    "state folder unusable), 2 bad command line or configuration.\n";

} // namespace

int main(int argc, char** argv)
{
    std::string configPath = tavd::DefaultConfigPath(tavd::DaemonRole::Student);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("tav-studentd (TAV) %s\n", TAV_VERSION);
            return 0;
        }
        if (arg == "--config" && i + 1 < argc) {
            configPath = argv[++i];
        } else {
            std::fprintf(stderr, "tav-studentd: unknown argument '%s' (try --help)\n", arg.c_str());
            return 2;
        }
    }
    LibTAVData::CTAVLog::SetLogFileName("tav-studentd");

    tavd::DaemonConfig config;
    std::vector<std::string> errors;
    if (!tavd::LoadDaemonConfig(configPath, tavd::DaemonRole::Student, config, errors)) {
        for (const std::string& e : errors)
            std::fprintf(stderr, "tav-studentd: %s\n", e.c_str());
        return 2;
    }

    // The stop signals are read from a descriptor in the main loop, so they
    // are never handled in the middle of anything.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    if (sigprocmask(SIG_BLOCK, &stop, nullptr) != 0) {
        std::perror("tav-studentd: sigprocmask");
        return 1;
    }
    const tavd::UniqueFd signals(::signalfd(-1, &stop, SFD_NONBLOCK | SFD_CLOEXEC));
    if (signals.get() < 0) {
        std::perror("tav-studentd: signalfd");
        return 1;
    }
    ::signal(SIGPIPE, SIG_IGN);

    studentd::StudentDaemon daemon(config);
    const int rc = daemon.Run(signals.get());
    if (rc != 0)
        std::fprintf(stderr, "tav-studentd: cannot run (the log says why)\n");
    return rc;
}
