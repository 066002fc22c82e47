// A teacher machine's class announcement and nothing more, in a process of
// its own (its system bus is that of its test machine):
//
//   tav_discovery_peer CONFIG
//
// Reads a teacher daemon configuration and announces its class; prints
// "announced NAME" whenever the announced name changes. SIGTERM withdraws
// the announcement and ends it.
#include "DaemonConfig.h"
#include "Discovery.h"

#include <signal.h>

#include <cstdio>
#include <ctime>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CONFIG\n", argv[0]);
        return 2;
    }
    tavd::DaemonConfig config;
    std::vector<std::string> errors;
    if (!tavd::LoadDaemonConfig(argv[1], tavd::DaemonRole::Teacher, config, errors))
        return 2;
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    // Before any thread starts, so that every thread leaves them to sigtimedwait.
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    tavd::ClassAnnouncer announcer(tavd::AnnouncementFrom(config));
    std::string error;
    if (!announcer.Start(error))
        return 1;
    std::string shown;
    const struct timespec tick = {0, 20 * 1000 * 1000};
    while (sigtimedwait(&stop, nullptr, &tick) < 0) {
        const std::string name = announcer.AnnouncedName();
        if (name != shown && !name.empty())
            std::printf("announced %s\n", name.c_str());
        std::fflush(stdout);
        shown = name;
    }
    announcer.Stop();
    return 0;
}
