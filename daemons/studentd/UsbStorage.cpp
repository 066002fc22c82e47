#include "UsbStorage.h"

#include "LogScope.h"
#include "SafeFile.h"
#include "StateStore.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace studentd {

using tav_common::LogScope;

namespace {

// Unloading normally takes a moment; one stuck on a busy device is given up.
constexpr auto kUnloadLimit = std::chrono::seconds(10);

} // namespace

const char* const UsbStorageSwitch::kRule =
    "# Written by tav-studentd while USB storage is switched off; removed when it\n"
    "# is switched on again.\n"
    "install usb-storage /bin/false\n"
    "blacklist usb-storage\n";

UsbStorageSwitch::~UsbStorageSwitch()
{
    if (m_child > 0)
        LogScope::Warning("UsbStorageSwitch --leaving " + m_modprobe + " (pid " +
                          std::to_string(m_child) + ") to finish on its own");
}

bool UsbStorageSwitch::Apply(bool enabled, std::string& error)
{
    if (enabled) {
        if (::unlink(m_ruleFile.c_str()) != 0 && errno != ENOENT) {
            error = "cannot remove " + m_ruleFile + ": " + std::strerror(errno);
            return false;
        }
        LogScope::Trace("UsbStorageSwitch --USB storage on: " + m_ruleFile + " removed");
        return true;
    }
    std::string current, why;
    if (!tavtools::ReadRegularFile(m_ruleFile, 4096, current, why) || current != kRule) {
        if (!tavd::WriteFileAtomic(m_ruleFile, kRule, 0644, error))
            return false;
        LogScope::Trace("UsbStorageSwitch --USB storage off: " + m_ruleFile + " written");
    }
    StartUnload();
    return true;
}

void UsbStorageSwitch::StartUnload()
{
    if (m_child > 0)
        return; // the one running does the same
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null",
                                         fd == STDIN_FILENO ? O_RDONLY : O_WRONLY, 0);
    // The daemon blocks its stop signals (it reads them from a descriptor);
    // the child starts with none blocked and default handling.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const char* argv[] = {"modprobe", "-r", "usb-storage", nullptr};
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, m_modprobe.c_str(), &actions, &attr,
                               const_cast<char* const*>(argv), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        LogScope::Error("UsbStorageSwitch --cannot start " + m_modprobe + ": " + std::strerror(rc));
        return;
    }
    m_child = pid;
    m_started = Clock::now();
}

void UsbStorageSwitch::Poll()
{
    if (m_child <= 0)
        return;
    int status = 0;
    const pid_t r = ::waitpid(m_child, &status, WNOHANG);
    if (r == 0) {
        if (Clock::now() - m_started < kUnloadLimit)
            return;
        LogScope::Error("UsbStorageSwitch --" + m_modprobe +
                        " -r usb-storage takes too long; ended");
        ::kill(m_child, SIGKILL);
        ::waitpid(m_child, &status, 0);
    } else if (r == m_child && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        LogScope::Trace("UsbStorageSwitch --usb-storage unloaded (or was not loaded)");
    } else if (r == m_child) {
        // A device in use keeps the module: the rule still holds from the
        // next start of the machine on.
        LogScope::Warning("UsbStorageSwitch --" + m_modprobe + " -r usb-storage failed (status " +
                          std::to_string(status) + "); the module stays loaded until it is free");
    }
    m_child = -1;
}

} // namespace studentd
