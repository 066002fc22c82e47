// Processes of a classroom lab: children that die with the lab, started in
// a "machine" (a private mount namespace with its own /etc/TAV and /run).
#ifndef TAV_DAEMONS_LAB_LABPROCESS_H
#define TAV_DAEMONS_LAB_LABPROCESS_H

#include "UniqueFd.h"

#include <sys/types.h>

#include <string>
#include <vector>

namespace tavlab {

class MachineSpace;

// A child program, killed and reaped when the object goes (and killed by
// the kernel if the process that started it dies first).
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { Kill(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (a path) with standard output and error appended to
    // outputFile (or /dev/null; "-" keeps this process's). env entries
    // ("NAME=value") replace or add to the inherited environment. With a
    // machine, the program runs in it.
    bool Spawn(const std::vector<std::string>& argv, const std::string& outputFile = "",
               const std::vector<std::string>& env = {}, const MachineSpace* machine = nullptr);
    pid_t Pid() const { return m_pid; }
    bool Running();
    bool Signal(int sig) const;
    // The exit status, or -1 when the program did not end within timeoutMs
    // or died of a signal.
    int Wait(int timeoutMs);
    // SIGTERM, then SIGKILL after graceMs; the exit status as Wait's.
    int Stop(int graceMs = 5000);
    void Kill();

private:
    pid_t m_pid = -1;
};

// What makes a machine of the lab: its own host name (a UTS namespace)
// and its own view of the files (a mount namespace) in which etcDir is
// /etc/TAV and runDir is /run. Where /etc/TAV does not exist, /etc is
// overlaid first (layers on a tmpfs at scratchDir that only the machine
// sees), so that the real /etc is never written. Held as descriptors: the
// namespaces live as long as the object or a process inside them. Needs
// root.
class MachineSpace {
public:
    bool Make(const std::string& hostName, const std::string& etcDir, const std::string& runDir,
              const std::string& scratchDir, std::string& why);
    int MountFd() const { return m_mount.get(); }
    int UtsFd() const { return m_uts.get(); }

private:
    tavd::UniqueFd m_mount, m_uts;
};

// The environment of this process with entries replaced or added.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& changes);

// True once a stream socket listens at path (within timeoutMs).
bool WaitForSocket(const std::string& path, int timeoutMs);

// The configuration of a machine's system bus on /run/dbus/system_bus_socket
// that lets every local program own and call anything: a lab's machines
// trust their own processes.
std::string MachineBusConfig();

} // namespace tavlab

#endif
