// Machines on a private network, for a test of what crosses the wire: each
// machine is a network namespace ("ip netns add") with a veth pair on one
// bridge, its own /run and /etc/avahi (bind mounts that only its processes
// see), and its own system dbus-daemon and avahi-daemon. The test process
// reaches each machine's bus through the socket in that machine's /run.
//
// Nothing outlives the test process, even when it is killed: the namespace
// names live on a tmpfs over /run/netns in the test's private mount
// namespace (tav_add_gtest NEEDS ns), the daemons get the parent-death
// signal, and the namespaces with their veth pairs and the bridge go with
// the last process and mount that holds them.
#ifndef TAV_DAEMONS_TESTS_NETLAB_H
#define TAV_DAEMONS_TESTS_NETLAB_H

#include "TestBroker.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tavtest {

class NetLab {
public:
    NetLab() = default;
    ~NetLab() { Destroy(); }
    NetLab(const NetLab&) = delete;
    NetLab& operator=(const NetLab&) = delete;

    // The network: a switch namespace holding the bridge. False, with the
    // reason, where the machine does not allow it (no root, no private
    // mount namespace, no avahi-daemon): the caller skips.
    bool Create(std::string& why);
    // A machine on the bridge with interface eth0: ipv4 ("198.18.0.1",
    // a /24; empty for none) and a link-local ipv6 ("fe80::1", empty for
    // none), its bus and its avahi-daemon, ready to answer.
    bool AddMachine(const std::string& name, const std::string& ipv4, const std::string& ipv6,
                    std::string& why);

    // The machine's system bus address, as DBUS_SYSTEM_BUS_ADDRESS.
    std::string BusAddress(const std::string& machine) const;
    // SIGTERM (avahi-daemon says goodbye on the network) and wait.
    void StopAvahi(const std::string& machine);
    // Starts the machine's avahi-daemon and waits until it has started.
    bool StartAvahi(const std::string& machine, std::string& why);
    // Puts the calling thread into the machine's network (threads it starts
    // afterwards are there too): this process acts as that machine.
    bool Enter(const std::string& machine);
    // What the machine's avahi-daemon logged, for failure messages.
    std::string AvahiLog(const std::string& machine) const;

    // Stops every daemon and removes the namespaces. Idempotent.
    void Destroy();

private:
    struct Machine {
        std::string dir;
        ChildProcess bus, avahi;
        int avahiRuns = 0;
    };

    // Runs ip with args and waits; on failure why names the command.
    bool Ip(const std::vector<std::string>& args, std::string& why);
    // Starts argv inside the machine: its network, its /run, its /etc/avahi.
    bool SpawnInMachine(const std::string& name, const std::vector<std::string>& argv,
                        const std::string& logFile, ChildProcess& child);

    std::string m_dir;
    bool m_netnsMounted = false;
    std::vector<std::string> m_namespaces;
    std::map<std::string, std::unique_ptr<Machine>> m_machines;
};

} // namespace tavtest

#endif
