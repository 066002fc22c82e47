// Classes on the local network, by DNS-SD over multicast DNS through the
// machine's avahi-daemon: a teacher daemon announces its class, a student
// daemon browses for classes and keeps the list of those it can see.
//
// Threads: each object runs its own avahi poll thread, which talks to
// avahi-daemon over the system bus. A browser's thread only queues changes
// and makes WakeFd() readable; the daemon's main loop polls WakeFd() next to
// its other descriptors and calls Dispatch(), which runs the handler on the
// daemon's thread, as MqttClient does. avahi-daemon may be missing or
// restart at any time: both objects say so once in the log, wait for it and
// register or browse again when it is back.
#ifndef TAV_DAEMONS_DISCOVERY_H
#define TAV_DAEMONS_DISCOVERY_H

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "DaemonConfig.h"

namespace tavd {

// The DNS-SD service type of a class; the port is the broker's TLS port.
extern const char* const kClassServiceType;
// The "version" TXT value this build announces and understands.
extern const char* const kClassProtocolVersion;
// At most this many classes are kept: a network that announces more is
// broken or hostile, and the rest are ignored with a log line.
constexpr std::size_t kMaxDiscoveredClasses = 256;

// What a teacher daemon announces.
struct ClassAnnouncement {
    std::string className;
    int port = 8883;
    // TXT "broker": the host students connect to, when not the address the
    // announcement comes from. Empty: not announced.
    std::string brokerHost;
};

// The announcement of a teacher daemon's configuration: its class and
// broker port, and broker_host as "broker" unless it names the loopback
// (students cannot reach the teacher's "localhost").
ClassAnnouncement AnnouncementFrom(const DaemonConfig& config);

// A DNS-SD instance name is one label of at most 63 bytes: the class name,
// cut there (TXT "class" carries the whole name).
std::string InstanceNameFor(const std::string& className);

// The TXT strings of an announcement, "key=value" each: class, version and
// broker when set.
std::vector<std::string> ClassTxtRecords(const ClassAnnouncement& announcement);

// One class as a student machine sees it.
struct DiscoveredClass {
    // The service instance: unique on the network ("5A", or "5A #2" when a
    // second teacher announced the same class).
    std::string instance;
    std::string className; // TXT "class" (the instance name if absent)
    std::string hostName;  // the announcing host, e.g. "teacher-pc.local"
    // The announcing host's address as text: IPv4 when it has one, else
    // IPv6; a link-local IPv6 address carries its interface ("fe80::1%eth0").
    std::string address;
    bool ipv6 = false;
    int port = 0;
    std::string brokerHost;                 // TXT "broker", empty if absent
    std::map<std::string, std::string> txt; // every TXT key (lower case) and value

    // Where a student connects: the announced broker host, else the address.
    const std::string& ConnectHost() const { return brokerHost.empty() ? address : brokerHost; }
    bool operator==(const DiscoveredClass& other) const;
    bool operator!=(const DiscoveredClass& other) const { return !(*this == other); }
};

// Reads the TXT strings of a resolved service (wire order; keys compare
// without case and the first of a repeated key counts) into out.txt,
// className and brokerHost. False, with the reason in why, when the
// service is no class this build can use: no valid class name, another
// protocol version, a broker that is no host name or address.
bool ReadClassTxt(const std::vector<std::string>& records, const std::string& instance,
                  DiscoveredClass& out, std::string& why);

// Announces one class while it lives (between Start() and Stop()). When
// the name is taken on the network it moves to avahi's alternative ("5A #2")
// and says so in the log; after an avahi-daemon restart it announces again.
class ClassAnnouncer {
public:
    explicit ClassAnnouncer(ClassAnnouncement announcement);
    ~ClassAnnouncer(); // Stop()
    ClassAnnouncer(const ClassAnnouncer&) = delete;
    ClassAnnouncer& operator=(const ClassAnnouncer&) = delete;

    // Checks the announcement and starts the poll thread. False (with the
    // reason in error, also logged) for a bad class name or port or when no
    // poll thread could start; a missing avahi-daemon or system bus is no
    // failure (logged once, waited for).
    bool Start(std::string& error);
    // Withdraws the announcement and ends the thread. Idempotent.
    void Stop();

    // The instance name announced now, empty while not announced (any
    // thread).
    std::string AnnouncedName() const;

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

struct ClassChange {
    enum class Kind { Appeared, Changed, Gone } kind;
    DiscoveredClass cls; // for Gone: as last seen
};

// Keeps the list of classes announced on the network.
class ClassBrowser {
public:
    using Handler = std::function<void(const ClassChange&)>;
    explicit ClassBrowser(Handler onChange = nullptr);
    ~ClassBrowser(); // Stop()
    ClassBrowser(const ClassBrowser&) = delete;
    ClassBrowser& operator=(const ClassBrowser&) = delete;

    // Starts the poll thread; false (error also logged) only when it
    // cannot start. Without avahi-daemon the list stays empty until it runs.
    bool Start(std::string& error);
    // Ends the thread; the list keeps what was dispatched. Idempotent.
    void Stop();

    // Readable while changes wait for Dispatch().
    int WakeFd() const;
    // Applies every change queued so far to the list, in arrival order,
    // running the handler for each; returns how many.
    std::size_t Dispatch();

    // The list as of the last Dispatch(), by instance name. For the thread
    // that calls Dispatch().
    std::vector<DiscoveredClass> Classes() const;
    // The class of that name (TXT class; the first instance by name when
    // two teachers announce it), or null. For the thread that calls
    // Dispatch(); valid until its next call.
    const DiscoveredClass* Find(const std::string& className) const;

    // Whether avahi-daemon answers now (any thread).
    bool DaemonRunning() const;

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
    Handler m_handler;
    std::map<std::string, DiscoveredClass> m_classes; // Dispatch() thread
};

} // namespace tavd

#endif
