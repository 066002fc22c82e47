#include "NetLab.h"

#include "LabProcess.h"

#include "TestSupport.h"
#include "UniqueFd.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tavtest {

namespace {

constexpr const char* kNetnsDir = "/run/netns";
constexpr const char* kSwitch = "switch";
constexpr const char* kBridge = "lan";

// Binds the machine's folders over /run and /etc/avahi in the mount
// namespace "ip netns exec" made for the command, then runs it on the
// machine's own bus (libdbus prefers the variable to /run, and the test
// process may have set it).
constexpr const char* kEnterMachine =
    "mount --bind \"$1\" /run && mount --bind \"$2\" /etc/avahi && shift 2 && "
    "DBUS_SYSTEM_BUS_ADDRESS=unix:path=/run/dbus/system_bus_socket exec \"$@\"";

std::string AvahiConfig(const std::string& machine, bool ipv4, bool ipv6)
{
    return "[server]\n"
           "host-name=lab-" +
           machine +
           "\n"
           "domain-name=local\n"
           "use-ipv4=" +
           std::string(ipv4 ? "yes" : "no") +
           "\n"
           "use-ipv6=" +
           std::string(ipv6 ? "yes" : "no") +
           "\n"
           "allow-interfaces=eth0\n"
           "disallow-other-stacks=yes\n"
           "enable-dbus=yes\n"
           "[wide-area]\n"
           "enable-wide-area=no\n"
           "[publish]\n"
           "publish-hinfo=no\n"
           "publish-workstation=no\n"
           "[reflector]\n"
           "enable-reflector=no\n";
}

std::string Tail(const std::string& text)
{
    return text.size() > 2000 ? text.substr(text.size() - 2000) : text;
}

} // namespace

bool NetLab::Create(std::string& why)
{
    if (::geteuid() != 0) {
        why = "network namespaces need root";
        return false;
    }
    if (!InPrivateNamespace()) {
        why = "no private mount namespace for the namespace names";
        return false;
    }
    if (::access(TAV_AVAHI_DAEMON, X_OK) != 0 || !FileExists("/etc/avahi")) {
        why = "avahi-daemon is not installed (scripts/setup.sh installs it)";
        return false;
    }
    ::mkdir(kNetnsDir, 0755);
    if (::mount("tavlab", kNetnsDir, "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC, "mode=0755") != 0) {
        why = std::string("tmpfs on ") + kNetnsDir + ": " + std::strerror(errno);
        return false;
    }
    m_netnsMounted = true;
    m_dir = MakeTempDir("netlab");
    if (!Ip({"netns", "add", kSwitch}, why))
        return false;
    m_namespaces.push_back(kSwitch);
    // Multicast snooping would hold back mDNS until a querier shows up.
    return Ip({"-n", kSwitch, "link", "add", "name", kBridge, "type", "bridge", "mcast_snooping",
               "0"},
              why) &&
           Ip({"-n", kSwitch, "link", "set", kBridge, "up"}, why);
}

bool NetLab::Ip(const std::vector<std::string>& args, std::string& why)
{
    std::vector<std::string> argv{TAV_IP_COMMAND};
    argv.insert(argv.end(), args.begin(), args.end());
    const std::string log = m_dir + "/ip.log";
    ChildProcess ip;
    if (ip.Spawn(argv, log) && ip.Wait(10000) == 0)
        return true;
    why = "ip";
    for (const std::string& a : args)
        why += " " + a;
    why += " failed: " + Tail(ReadFile(log));
    return false;
}

bool NetLab::SpawnInMachine(const std::string& name, const std::vector<std::string>& argv,
                            const std::string& logFile, ChildProcess& child)
{
    const Machine& m = *m_machines.at(name);
    std::vector<std::string> full{
        TAV_IP_COMMAND, "netns",       "exec", name,           "/bin/sh",
        "-c",           kEnterMachine, "sh",   m.dir + "/run", m.dir + "/avahi"};
    full.insert(full.end(), argv.begin(), argv.end());
    return child.Spawn(full, logFile);
}

bool NetLab::AddMachine(const std::string& name, const std::string& ipv4, const std::string& ipv6,
                        std::string& why)
{
    if (m_dir.empty() || m_machines.count(name)) {
        why = "no lab, or machine " + name + " exists";
        return false;
    }
    if (!Ip({"netns", "add", name}, why))
        return false;
    m_namespaces.push_back(name);
    const std::string port = "p-" + name;
    if (!Ip({"-n", kSwitch, "link", "add", port, "type", "veth", "peer", "name", "eth0", "netns",
             name},
            why) ||
        !Ip({"-n", kSwitch, "link", "set", port, "master", kBridge, "up"}, why) ||
        !Ip({"-n", name, "link", "set", "lo", "up"}, why) ||
        // Only the addresses given: no kernel-made link-local address,
        // and no duplicate detection holding a given one back.
        !Ip({"-n", name, "link", "set", "eth0", "addrgenmode", "none"}, why) ||
        !Ip({"-n", name, "link", "set", "eth0", "up"}, why) ||
        (!ipv4.empty() && !Ip({"-n", name, "addr", "add", ipv4 + "/24", "dev", "eth0"}, why)) ||
        (!ipv6.empty() &&
         !Ip({"-n", name, "addr", "add", ipv6 + "/64", "dev", "eth0", "nodad"}, why)))
        return false;

    auto machine = std::make_unique<Machine>();
    machine->dir = m_dir + "/" + name;
    for (const char* sub : {"", "/run", "/run/dbus", "/avahi", "/avahi/services"})
        ::mkdir((machine->dir + sub).c_str(), 0755);
    if (!WriteFile(machine->dir + "/bus.conf", tavlab::MachineBusConfig()) ||
        !WriteFile(machine->dir + "/avahi/avahi-daemon.conf",
                   AvahiConfig(name, !ipv4.empty(), !ipv6.empty()))) {
        why = "cannot write the configuration of " + name;
        return false;
    }
    Machine& m = *machine;
    m_machines[name] = std::move(machine);

    const std::string socket = m.dir + "/run/dbus/system_bus_socket";
    if (!SpawnInMachine(
            name,
            {TAV_DBUS_DAEMON, "--config-file=" + m.dir + "/bus.conf", "--nofork", "--nopidfile"},
            m.dir + "/bus.log", m.bus) ||
        !WaitFor([&] { return FileExists(socket) || !m.bus.Running(); }, 10000) ||
        !m.bus.Running()) {
        why = "the bus of " + name + " did not start: " + Tail(ReadFile(m.dir + "/bus.log"));
        return false;
    }
    return StartAvahi(name, why);
}

std::string NetLab::BusAddress(const std::string& machine) const
{
    return "unix:path=" + m_machines.at(machine)->dir + "/run/dbus/system_bus_socket";
}

bool NetLab::StartAvahi(const std::string& machine, std::string& why)
{
    Machine& m = *m_machines.at(machine);
    StopAvahi(machine);
    // A pid file left by a killed daemon would name a live process by chance.
    ::unlink((m.dir + "/run/avahi-daemon/pid").c_str());
    const std::string log = m.dir + "/avahi-" + std::to_string(++m.avahiRuns) + ".log";
    // As root throughout, so that the parent-death signal stays armed.
    if (!SpawnInMachine(machine,
                        {TAV_AVAHI_DAEMON, "--no-drop-root", "--no-chroot", "--no-rlimits",
                         "--no-proc-title", "--debug", "--file=/etc/avahi/avahi-daemon.conf"},
                        log, m.avahi) ||
        !WaitFor(
            [&] {
                return ReadFile(log).find("Server startup complete") != std::string::npos ||
                       !m.avahi.Running();
            },
            15000) ||
        !m.avahi.Running()) {
        why = "avahi-daemon of " + machine + " did not start: " + Tail(ReadFile(log));
        return false;
    }
    return true;
}

void NetLab::StopAvahi(const std::string& machine)
{
    ChildProcess& avahi = m_machines.at(machine)->avahi;
    if (avahi.Signal(SIGTERM) && avahi.Wait(5000) == -1)
        avahi.Kill();
}

bool NetLab::Enter(const std::string& machine)
{
    tavd::UniqueFd ns(
        ::open((std::string(kNetnsDir) + "/" + machine).c_str(), O_RDONLY | O_CLOEXEC));
    return ns.get() >= 0 && ::setns(ns.get(), CLONE_NEWNET) == 0;
}

std::string NetLab::AvahiLog(const std::string& machine) const
{
    const auto it = m_machines.find(machine);
    if (it == m_machines.end())
        return "";
    std::string text;
    for (int run = 1; run <= it->second->avahiRuns; ++run)
        text += ReadFile(it->second->dir + "/avahi-" + std::to_string(run) + ".log");
    return Tail(text);
}

void NetLab::Destroy()
{
    for (auto& entry : m_machines) {
        entry.second->avahi.Kill();
        entry.second->bus.Kill();
    }
    m_machines.clear();
    std::string ignored;
    // The machines first: their veth pairs go with them, then the bridge.
    for (auto it = m_namespaces.rbegin(); it != m_namespaces.rend(); ++it)
        Ip({"netns", "delete", *it}, ignored);
    m_namespaces.clear();
    if (m_netnsMounted)
        ::umount2(kNetnsDir, MNT_DETACH);
    m_netnsMounted = false;
}

} // namespace tavtest
