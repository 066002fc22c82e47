#include "Discovery.h"

#include "LogScope.h"
#include "Topics.h"
#include "UniqueFd.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>
#include <avahi-common/thread-watch.h>
#include <avahi-common/timeval.h>
#include <net/if.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <mutex>
#include <set>
#include <tuple>

namespace tavd {

const char* const kClassServiceType = "_tav-class._tcp";
const char* const kClassProtocolVersion = "1";

namespace {

using std::chrono::milliseconds;
using tav_common::LogScope;

// One DNS label; TXT strings are at most 255 bytes each.
constexpr std::size_t kMaxLabel = 63;
constexpr std::size_t kMaxTxtString = 255;
// Keys kept of one TXT record: ours are three, the rest is for show.
constexpr std::size_t kMaxTxtKeys = 32;
// Waits before another try when the system bus or an avahi object fails.
constexpr milliseconds kRetryMin{1000};
constexpr milliseconds kRetryMax{30000};

struct PollFree {
    void operator()(AvahiThreadedPoll* p) const { avahi_threaded_poll_free(p); }
};
struct ClientFree {
    void operator()(AvahiClient* c) const { avahi_client_free(c); }
};
struct GroupFree {
    void operator()(AvahiEntryGroup* g) const { avahi_entry_group_free(g); }
};
struct BrowserFree {
    void operator()(AvahiServiceBrowser* b) const { avahi_service_browser_free(b); }
};
struct ResolverFree {
    void operator()(AvahiServiceResolver* r) const { avahi_service_resolver_free(r); }
};
struct StringListFree {
    void operator()(AvahiStringList* l) const { avahi_string_list_free(l); }
};
struct AvahiTextFree {
    void operator()(char* text) const { avahi_free(text); }
};
struct TimeoutFree {
    const AvahiPoll* api;
    void operator()(AvahiTimeout* t) const { api->timeout_free(t); }
};
using PollPtr = std::unique_ptr<AvahiThreadedPoll, PollFree>;
using ClientPtr = std::unique_ptr<AvahiClient, ClientFree>;
using GroupPtr = std::unique_ptr<AvahiEntryGroup, GroupFree>;
using BrowserPtr = std::unique_ptr<AvahiServiceBrowser, BrowserFree>;
using ResolverPtr = std::unique_ptr<AvahiServiceResolver, ResolverFree>;
using StringListPtr = std::unique_ptr<AvahiStringList, StringListFree>;
using TimeoutPtr = std::unique_ptr<AvahiTimeout, TimeoutFree>;

// Names and texts from the network may hold anything: log a bounded,
// printable form.
std::string Shown(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (out.size() >= 100)
            return out + "...";
        out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? '?' : c;
    }
    return out;
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A host name or an IP address a broker may be reached at.
bool IsHostText(const std::string& text)
{
    if (text.empty() || text.size() > 253)
        return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == ':';
    });
}

bool IsLoopbackHost(const std::string& host)
{
    const std::string h = Lower(host);
    return h == "localhost" || h == "localhost.localdomain" || h == "ip6-localhost" ||
           h == "ip6-loopback" || h == "::1" || h.rfind("127.", 0) == 0;
}

std::string AvahiError(int error) { return avahi_strerror(error); }

// One connection to avahi-daemon, on an avahi poll thread of its own. The
// client waits for a missing daemon and follows its restarts; when the
// system bus itself goes away a new client is made after a pause. What
// lives on that connection (an entry group, a browser) belongs to the
// derived class, which makes it in OnDaemonUp() and drops it in
// DropObjects(): everything is gone when the daemon is.
class AvahiSession {
public:
    AvahiSession(const char* who, const char* whatWaits) : m_who(who), m_whatWaits(whatWaits) {}
    virtual ~AvahiSession() = default;
    AvahiSession(const AvahiSession&) = delete;
    AvahiSession& operator=(const AvahiSession&) = delete;

    bool StartSession(std::string& error);
    // Not on the poll thread. The derived destructor calls it, before its
    // objects go.
    void StopSession();
    bool DaemonUp() const { return m_daemonUp.load(); }

protected:
    // All on the poll thread (or in StartSession() before it runs).
    // The daemon answers: make what is missing. Called again after
    // RetryLater(), and after a host name change.
    virtual void OnDaemonUp(AvahiClient* client) = 0;
    // The daemon is gone: what was announced or seen is gone with it.
    virtual void OnDaemonDown() { DropObjects(); }
    // Frees every object made on the client.
    virtual void DropObjects() = 0;
    // The daemon registers its host name again (after a collision, or
    // while starting): announced services must wait for it.
    virtual void OnHostNameChanging() {}
    // Calls OnDaemonUp() again after a pause, for an object that failed.
    void RetryLater() { Arm(false); }

    void Warning(const std::string& text) const { LogScope::Warning(m_who + " --" + text); }
    void Error(const std::string& text) const { LogScope::Error(m_who + " --" + text); }
    void Trace(const std::string& text) const { LogScope::Trace(m_who + " --" + text); }

    const std::string m_who;

private:
    static void ClientCallback(AvahiClient* client, AvahiClientState state, void* self);
    static void TimerCallback(AvahiTimeout* timeout, void* self);
    void Connect();
    void DaemonLost(const std::string& why);
    void Arm(bool reconnect, bool now = false);

    const std::string m_whatWaits; // for the log: what the missing daemon holds up
    PollPtr m_poll;
    TimeoutPtr m_timer;
    ClientPtr m_client;
    std::atomic<bool> m_daemonUp{false};
    bool m_started = false;
    // Poll thread only.
    bool m_reconnect = false;    // the timer makes a new client
    bool m_outageLogged = false; // one log line per absence of the daemon
    milliseconds m_retry = kRetryMin;
};

bool AvahiSession::StartSession(std::string& error)
{
    if (m_started || m_poll) {
        error = "already started";
        return false;
    }
    PollPtr poll(avahi_threaded_poll_new());
    if (!poll) {
        error = "cannot make an avahi poll";
        return false;
    }
    const AvahiPoll* api = avahi_threaded_poll_get(poll.get());
    TimeoutPtr timer(api->timeout_new(api, nullptr, &AvahiSession::TimerCallback, this),
                     TimeoutFree{api});
    if (!timer) {
        error = "cannot make an avahi timer";
        return false;
    }
    m_poll = std::move(poll);
    m_timer = std::move(timer);
    Connect();
    if (avahi_threaded_poll_start(m_poll.get()) < 0) {
        error = "cannot start the avahi poll thread";
        DropObjects();
        m_client.reset();
        m_timer.reset();
        m_poll.reset();
        return false;
    }
    m_started = true;
    return true;
}

void AvahiSession::StopSession()
{
    if (!m_started)
        return;
    m_started = false;
    avahi_threaded_poll_stop(m_poll.get());
    // The thread has ended: nothing else touches the objects now. An
    // entry group freed here withdraws its services at once.
    DropObjects();
    m_client.reset();
    m_timer.reset();
    m_poll.reset();
    m_daemonUp = false;
}

void AvahiSession::Connect()
{
    int error = 0;
    // The callback runs inside avahi_client_new already, with the client.
    AvahiClient* client =
        avahi_client_new(avahi_threaded_poll_get(m_poll.get()), AVAHI_CLIENT_NO_FAIL,
                         &AvahiSession::ClientCallback, this, &error);
    if (!client) {
        DaemonLost("cannot reach avahi-daemon over the system bus (" + AvahiError(error) + ")");
        Arm(true);
        return;
    }
    m_client.reset(client);
}

void AvahiSession::ClientCallback(AvahiClient* client, AvahiClientState state, void* self)
{
    auto* s = static_cast<AvahiSession*>(self);
    switch (state) {
    case AVAHI_CLIENT_S_RUNNING:
        if (s->m_outageLogged)
            LogScope::Warning(s->m_who + " --avahi-daemon is running");
        s->m_outageLogged = false;
        s->m_retry = kRetryMin;
        s->m_daemonUp = true;
        s->OnDaemonUp(client);
        break;
    case AVAHI_CLIENT_S_REGISTERING:
    case AVAHI_CLIENT_S_COLLISION:
        s->m_daemonUp = true;
        s->OnHostNameChanging();
        break;
    case AVAHI_CLIENT_CONNECTING:
        s->DaemonLost("avahi-daemon is not running");
        break;
    case AVAHI_CLIENT_FAILURE: {
        // This client is done. A daemon that just went away is waited for
        // by a new client at once; a bus that fails us is tried later.
        const bool wasUp = s->m_daemonUp;
        s->DaemonLost("lost avahi-daemon (" + AvahiError(avahi_client_errno(client)) + ")");
        s->Arm(true, wasUp);
        break;
    }
    }
}

void AvahiSession::DaemonLost(const std::string& why)
{
    m_daemonUp = false;
    OnDaemonDown();
    if (!m_outageLogged)
        Warning(why + ": " + m_whatWaits + " until it answers");
    m_outageLogged = true;
}

void AvahiSession::Arm(bool reconnect, bool now)
{
    m_reconnect = m_reconnect || reconnect;
    struct timeval when;
    avahi_elapse_time(&when, now ? 0u : static_cast<unsigned>(m_retry.count()), 0);
    avahi_threaded_poll_get(m_poll.get())->timeout_update(m_timer.get(), &when);
    if (!now)
        m_retry = std::min(m_retry * 2, kRetryMax);
}

void AvahiSession::TimerCallback(AvahiTimeout*, void* self)
{
    auto* s = static_cast<AvahiSession*>(self);
    avahi_threaded_poll_get(s->m_poll.get())->timeout_update(s->m_timer.get(), nullptr);
    if (s->m_reconnect) {
        // A client is freed here, never in its own callback.
        s->m_reconnect = false;
        s->DropObjects();
        s->m_client.reset();
        s->Connect();
    } else if (s->m_client && avahi_client_get_state(s->m_client.get()) == AVAHI_CLIENT_S_RUNNING) {
        s->OnDaemonUp(s->m_client.get());
    }
}

std::vector<std::string> TxtStrings(AvahiStringList* list)
{
    std::vector<std::string> out;
    for (AvahiStringList* l = list; l; l = avahi_string_list_get_next(l))
        out.emplace_back(reinterpret_cast<const char*>(avahi_string_list_get_text(l)),
                         avahi_string_list_get_size(l));
    return out;
}

} // namespace

ClassAnnouncement AnnouncementFrom(const DaemonConfig& config)
{
    ClassAnnouncement a;
    a.className = config.className;
    a.port = config.brokerPort;
    if (!IsLoopbackHost(config.brokerHost))
        a.brokerHost = config.brokerHost;
    return a;
}

std::string InstanceNameFor(const std::string& className) { return className.substr(0, kMaxLabel); }

std::vector<std::string> ClassTxtRecords(const ClassAnnouncement& announcement)
{
    std::vector<std::string> records{"class=" + announcement.className};
    if (!announcement.brokerHost.empty())
        records.push_back("broker=" + announcement.brokerHost);
    records.push_back(std::string("version=") + kClassProtocolVersion);
    return records;
}

bool DiscoveredClass::operator==(const DiscoveredClass& o) const
{
    return std::tie(instance, className, hostName, address, ipv6, port, brokerHost, txt) ==
           std::tie(o.instance, o.className, o.hostName, o.address, o.ipv6, o.port, o.brokerHost,
                    o.txt);
}

bool ReadClassTxt(const std::vector<std::string>& records, const std::string& instance,
                  DiscoveredClass& out, std::string& why)
{
    std::map<std::string, std::string> txt;
    for (const std::string& record : records) {
        const auto eq = record.find('=');
        const std::string key = Lower(record.substr(0, eq));
        // An empty key or one with bytes outside printable ASCII is no key.
        if (key.empty() ||
            !std::all_of(key.begin(), key.end(), [](char c) { return c >= 0x20 && c < 0x7f; }))
            continue;
        if (txt.size() < kMaxTxtKeys)
            txt.emplace(key, eq == std::string::npos ? std::string() : record.substr(eq + 1));
    }
    const auto value = [&](const char* key) -> const std::string* {
        const auto it = txt.find(key);
        return it == txt.end() ? nullptr : &it->second;
    };
    const std::string* version = value("version");
    if (version && *version != kClassProtocolVersion) {
        why = "protocol version " + Shown(*version) + ", not " + kClassProtocolVersion;
        return false;
    }
    const std::string* className = value("class");
    const std::string name = className ? *className : instance;
    if (!IsValidClassName(name)) {
        why = "no valid class name (" + Shown(name) + ")";
        return false;
    }
    const std::string* broker = value("broker");
    if (broker && !broker->empty() && !IsHostText(*broker)) {
        why = "broker " + Shown(*broker) + " is no host name or address";
        return false;
    }
    out.txt = std::move(txt);
    out.className = name;
    out.brokerHost = broker ? *broker : std::string();
    return true;
}

// ---------------------------------------------------------------- announcer

struct ClassAnnouncer::Impl : AvahiSession {
    explicit Impl(ClassAnnouncement a)
        : AvahiSession("ClassAnnouncer", "the class is not announced"), announcement(std::move(a)),
          name(InstanceNameFor(announcement.className))
    {}
    ~Impl() override { StopSession(); }

    void OnDaemonUp(AvahiClient* client) override;
    void DropObjects() override
    {
        group.reset();
        groupFailed = false;
        SetAnnounced("");
    }
    void OnHostNameChanging() override
    {
        if (group)
            avahi_entry_group_reset(group.get());
        SetAnnounced("");
    }

    static void GroupCallback(AvahiEntryGroup* g, AvahiEntryGroupState state, void* self);
    void Register(AvahiEntryGroup* g);
    void Rename();
    void SetAnnounced(const std::string& value)
    {
        std::lock_guard<std::mutex> lock(mutex);
        announced = value;
    }

    const ClassAnnouncement announcement;
    std::string name; // poll thread: the name asked for now
    GroupPtr group;
    bool groupFailed = false;

    mutable std::mutex mutex;
    std::string announced;
};

void ClassAnnouncer::Impl::OnDaemonUp(AvahiClient* client)
{
    if (groupFailed) {
        group.reset();
        groupFailed = false;
    }
    if (!group) {
        group.reset(avahi_entry_group_new(client, &Impl::GroupCallback, this));
        if (!group) {
            Error("cannot make an entry group: " + AvahiError(avahi_client_errno(client)));
            RetryLater();
            return;
        }
    }
    if (avahi_entry_group_is_empty(group.get()))
        Register(group.get());
}

void ClassAnnouncer::Impl::Register(AvahiEntryGroup* g)
{
    const std::vector<std::string> records = ClassTxtRecords(announcement);
    // Bounded: each round takes the next alternative name.
    for (int attempt = 0; attempt < 20; ++attempt) {
        StringListPtr txt;
        for (auto it = records.rbegin(); it != records.rend(); ++it) // each add goes first
            txt.reset(avahi_string_list_add(txt.release(), it->c_str()));
        int rc = avahi_entry_group_add_service_strlst(
            g, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0), name.c_str(),
            kClassServiceType, nullptr, nullptr, static_cast<uint16_t>(announcement.port),
            txt.get());
        if (rc == AVAHI_ERR_COLLISION) {
            // Taken by another service of this machine.
            Rename();
            avahi_entry_group_reset(g);
            continue;
        }
        if (rc == AVAHI_OK)
            rc = avahi_entry_group_commit(g);
        if (rc != AVAHI_OK) {
            Error("cannot announce class " + announcement.className + " as " + Shown(name) + ": " +
                  AvahiError(rc));
            groupFailed = true;
            RetryLater();
        }
        return;
    }
    Error("no free name found for class " + announcement.className);
    groupFailed = true;
    RetryLater();
}

void ClassAnnouncer::Impl::Rename()
{
    const std::unique_ptr<char, AvahiTextFree> other(avahi_alternative_service_name(name.c_str()));
    if (!other)
        return;
    Warning("the name " + Shown(name) + " is taken on the network (another teacher of class " +
            announcement.className + "?): announcing as " + Shown(other.get()));
    name = other.get();
}

void ClassAnnouncer::Impl::GroupCallback(AvahiEntryGroup* g, AvahiEntryGroupState state, void* self)
{
    auto* impl = static_cast<Impl*>(self);
    switch (state) {
    case AVAHI_ENTRY_GROUP_ESTABLISHED:
        impl->Trace("class " + impl->announcement.className + " announced as " + Shown(impl->name) +
                    ", port " + std::to_string(impl->announcement.port));
        impl->SetAnnounced(impl->name);
        break;
    case AVAHI_ENTRY_GROUP_COLLISION:
        impl->SetAnnounced("");
        impl->Rename();
        avahi_entry_group_reset(g);
        impl->Register(g);
        break;
    case AVAHI_ENTRY_GROUP_FAILURE:
        impl->Error("announcing class " + impl->announcement.className +
                    " failed: " + AvahiError(avahi_client_errno(avahi_entry_group_get_client(g))));
        impl->SetAnnounced("");
        impl->groupFailed = true;
        impl->RetryLater();
        break;
    case AVAHI_ENTRY_GROUP_UNCOMMITED:
    case AVAHI_ENTRY_GROUP_REGISTERING:
        break;
    }
}

ClassAnnouncer::ClassAnnouncer(ClassAnnouncement announcement)
    : m_impl(std::make_unique<Impl>(std::move(announcement)))
{}

ClassAnnouncer::~ClassAnnouncer() = default;

bool ClassAnnouncer::Start(std::string& error)
{
    LogScope scope("ClassAnnouncer::Start()");
    const ClassAnnouncement& a = m_impl->announcement;
    if (!IsValidClassName(a.className))
        error = "class name " + Shown(a.className) + " is not 1 to 64 letters, digits, _ or -";
    else if (a.port < 1 || a.port > 65535)
        error = "port " + std::to_string(a.port) + " out of range";
    else if (!a.brokerHost.empty() &&
             (!IsHostText(a.brokerHost) || a.brokerHost.size() + 7 > kMaxTxtString))
        error = "broker host " + Shown(a.brokerHost) + " is no host name or address";
    else if (m_impl->StartSession(error))
        return true;
    LogScope::Error("ClassAnnouncer::Start() --" + error);
    return false;
}

void ClassAnnouncer::Stop() { m_impl->StopSession(); }

std::string ClassAnnouncer::AnnouncedName() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->announced;
}

// ------------------------------------------------------------------ browser

struct ClassBrowser::Impl : AvahiSession {
    Impl()
        : AvahiSession("ClassBrowser", "classes on the network are not seen"),
          wakeFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    {}
    ~Impl() override { StopSession(); }

    // One service as seen on one interface and protocol.
    struct Sighting {
        ResolverPtr resolver; // kept: it reports changes of the service too
        bool resolved = false;
        DiscoveredClass cls;
    };
    // Interface, protocol, instance name, domain.
    using Key = std::tuple<AvahiIfIndex, AvahiProtocol, std::string, std::string>;

    void OnDaemonUp(AvahiClient* client) override;
    void OnDaemonDown() override
    {
        DropObjects();
        Publish({});
    }
    void DropObjects() override
    {
        sightings.clear();
        browser.reset();
        browserFailed = false;
    }

    static void BrowseCallback(AvahiServiceBrowser* b, AvahiIfIndex iface, AvahiProtocol proto,
                               AvahiBrowserEvent event, const char* name, const char* type,
                               const char* domain, AvahiLookupResultFlags flags, void* self);
    static void ResolveCallback(AvahiServiceResolver* r, AvahiIfIndex iface, AvahiProtocol proto,
                                AvahiResolverEvent event, const char* name, const char* type,
                                const char* domain, const char* host, const AvahiAddress* address,
                                uint16_t port, AvahiStringList* txt, AvahiLookupResultFlags flags,
                                void* self);
    void Seen(AvahiServiceBrowser* b, const Key& key, const char* type);
    void Resolved(Sighting& s, AvahiIfIndex iface, const std::string& name, const char* host,
                  const AvahiAddress* address, uint16_t port, AvahiStringList* txt);
    // The class of one instance from its sightings (IPv4 first).
    void Recompute(const std::string& name);
    void Publish(std::map<std::string, DiscoveredClass> next);

    BrowserPtr browser;
    bool browserFailed = false;
    std::map<Key, Sighting> sightings;
    std::set<std::string> refused; // instances logged as unusable
    bool overflowLogged = false;

    // The poll thread's list, handed to Dispatch() whole: the daemon sees
    // the net change since its last look, however much the network churns.
    mutable std::mutex mutex;
    std::map<std::string, DiscoveredClass> current;
    UniqueFd wakeFd;
};

void ClassBrowser::Impl::OnDaemonUp(AvahiClient* client)
{
    if (browserFailed)
        DropObjects();
    if (browser)
        return;
    browser.reset(avahi_service_browser_new(client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                            kClassServiceType, nullptr, AvahiLookupFlags(0),
                                            &Impl::BrowseCallback, this));
    if (!browser) {
        Error("cannot browse for classes: " + AvahiError(avahi_client_errno(client)));
        RetryLater();
    }
}

void ClassBrowser::Impl::BrowseCallback(AvahiServiceBrowser* b, AvahiIfIndex iface,
                                        AvahiProtocol proto, AvahiBrowserEvent event,
                                        const char* name, const char* type, const char* domain,
                                        AvahiLookupResultFlags, void* self)
{
    auto* impl = static_cast<Impl*>(self);
    switch (event) {
    case AVAHI_BROWSER_NEW:
        impl->Seen(b, Key{iface, proto, name, domain}, type);
        break;
    case AVAHI_BROWSER_REMOVE:
        impl->sightings.erase(Key{iface, proto, name, domain});
        impl->Recompute(name);
        break;
    case AVAHI_BROWSER_FAILURE:
        impl->Error("browsing for classes failed: " +
                    AvahiError(avahi_client_errno(avahi_service_browser_get_client(b))));
        // Freed by the next try, not inside its own callback.
        impl->sightings.clear();
        impl->browserFailed = true;
        impl->Publish({});
        impl->RetryLater();
        break;
    case AVAHI_BROWSER_ALL_FOR_NOW:
    case AVAHI_BROWSER_CACHE_EXHAUSTED:
        break;
    }
}

void ClassBrowser::Impl::Seen(AvahiServiceBrowser* b, const Key& key, const char* type)
{
    if (sightings.count(key))
        return;
    const std::string& name = std::get<2>(key);
    std::set<std::string> names;
    for (const auto& entry : sightings)
        names.insert(std::get<2>(entry.first));
    if (names.size() >= kMaxDiscoveredClasses && !names.count(name)) {
        if (!overflowLogged)
            Error("more than " + std::to_string(kMaxDiscoveredClasses) +
                  " classes announced on the network: ignoring the others, such as " + Shown(name));
        overflowLogged = true;
        return;
    }
    // The address of the protocol the service was seen on: IPv4 where the
    // host has it, and the other sightings give IPv6.
    AvahiServiceResolver* r = avahi_service_resolver_new(
        avahi_service_browser_get_client(b), std::get<0>(key), std::get<1>(key), name.c_str(), type,
        std::get<3>(key).c_str(), std::get<1>(key), AvahiLookupFlags(0), &Impl::ResolveCallback,
        this);
    if (!r) {
        Warning("cannot resolve " + Shown(name) + ": " +
                AvahiError(avahi_client_errno(avahi_service_browser_get_client(b))));
        return;
    }
    sightings[key].resolver.reset(r);
}

void ClassBrowser::Impl::ResolveCallback(AvahiServiceResolver* r, AvahiIfIndex iface, AvahiProtocol,
                                         AvahiResolverEvent event, const char*, const char*,
                                         const char*, const char* host, const AvahiAddress* address,
                                         uint16_t port, AvahiStringList* txt,
                                         AvahiLookupResultFlags, void* self)
{
    auto* impl = static_cast<Impl*>(self);
    const auto it =
        std::find_if(impl->sightings.begin(), impl->sightings.end(),
                     [r](const auto& entry) { return entry.second.resolver.get() == r; });
    if (it == impl->sightings.end())
        return;
    const std::string instance = std::get<2>(it->first);
    if (event == AVAHI_RESOLVER_FOUND && address) {
        impl->Resolved(it->second, iface, instance, host, address, port, txt);
    } else {
        impl->Warning("cannot resolve " + Shown(instance) + ": " +
                      AvahiError(avahi_client_errno(avahi_service_resolver_get_client(r))));
        it->second.resolved = false;
        it->second.resolver.reset(); // finished; freeing it here is allowed
    }
    impl->Recompute(instance);
}

void ClassBrowser::Impl::Resolved(Sighting& s, AvahiIfIndex iface, const std::string& name,
                                  const char* host, const AvahiAddress* address, uint16_t port,
                                  AvahiStringList* txt)
{
    DiscoveredClass cls;
    cls.instance = name;
    cls.hostName = host ? host : "";
    cls.port = port;
    char text[AVAHI_ADDRESS_STR_MAX] = {};
    avahi_address_snprint(text, sizeof text, address);
    cls.address = text;
    cls.ipv6 = address->proto == AVAHI_PROTO_INET6;
    const uint8_t* v6 = address->data.ipv6.address;
    if (cls.ipv6 && v6[0] == 0xfe && (v6[1] & 0xc0) == 0x80) {
        // A link-local address means nothing without its interface.
        char ifname[IF_NAMESIZE] = {};
        if (::if_indextoname(static_cast<unsigned>(iface), ifname))
            cls.address += std::string("%") + ifname;
    }
    std::string why;
    if (port == 0)
        why = "port 0";
    else
        ReadClassTxt(TxtStrings(txt), name, cls, why);
    if (!why.empty()) {
        if (refused.insert(name).second)
            Warning("ignoring " + Shown(name) + " announced by " + Shown(cls.hostName) + ": " +
                    why);
        s.resolved = false;
        return;
    }
    refused.erase(name);
    s.cls = std::move(cls);
    s.resolved = true;
}

void ClassBrowser::Impl::Recompute(const std::string& name)
{
    const DiscoveredClass* best = nullptr;
    bool seen = false, ipv4Pending = false;
    for (const auto& [key, s] : sightings) {
        if (std::get<2>(key) != name)
            continue;
        seen = true;
        if (s.resolved && (!best || (best->ipv6 && !s.cls.ipv6)))
            best = &s.cls;
        ipv4Pending =
            ipv4Pending || (std::get<1>(key) == AVAHI_PROTO_INET && !s.resolved && s.resolver);
    }
    if (!seen)
        refused.erase(name);
    std::map<std::string, DiscoveredClass> next;
    {
        std::lock_guard<std::mutex> lock(mutex);
        next = current;
    }
    const auto it = next.find(name);
    if (!best && it == next.end())
        return;
    if (best && it != next.end() && it->second == *best)
        return;
    if (best) {
        if (it == next.end()) {
            // A new class shows with the address students prefer, unless
            // that one does not resolve.
            if (best->ipv6 && ipv4Pending)
                return;
            Trace("class " + Shown(best->className) + " seen as " + Shown(name) + " at " +
                  Shown(best->address) + " port " + std::to_string(best->port));
        }
        next[name] = *best;
    } else {
        Trace("class instance " + Shown(name) + " is gone");
        next.erase(it);
    }
    Publish(std::move(next));
}

void ClassBrowser::Impl::Publish(std::map<std::string, DiscoveredClass> next)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (next == current)
            return;
        current = std::move(next);
    }
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd.get(), &one, sizeof one);
}

ClassBrowser::ClassBrowser(Handler onChange)
    : m_impl(std::make_unique<Impl>()), m_handler(std::move(onChange))
{}

ClassBrowser::~ClassBrowser() = default;

bool ClassBrowser::Start(std::string& error)
{
    LogScope scope("ClassBrowser::Start()");
    if (m_impl->wakeFd.get() < 0)
        error = "no event descriptor";
    else if (m_impl->StartSession(error))
        return true;
    LogScope::Error("ClassBrowser::Start() --" + error);
    return false;
}

void ClassBrowser::Stop() { m_impl->StopSession(); }

int ClassBrowser::WakeFd() const { return m_impl->wakeFd.get(); }

bool ClassBrowser::DaemonRunning() const { return m_impl->DaemonUp(); }

std::size_t ClassBrowser::Dispatch()
{
    uint64_t count;
    [[maybe_unused]] const ssize_t n = ::read(m_impl->wakeFd.get(), &count, sizeof count);
    std::map<std::string, DiscoveredClass> next;
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        next = m_impl->current;
    }
    std::vector<ClassChange> changes;
    for (const auto& [name, cls] : m_classes)
        if (!next.count(name))
            changes.push_back({ClassChange::Kind::Gone, cls});
    for (const auto& [name, cls] : next) {
        const auto it = m_classes.find(name);
        if (it == m_classes.end())
            changes.push_back({ClassChange::Kind::Appeared, cls});
        else if (it->second != cls)
            changes.push_back({ClassChange::Kind::Changed, cls});
    }
    m_classes = std::move(next);
    if (m_handler)
        for (const ClassChange& change : changes)
            m_handler(change);
    return changes.size();
}

std::vector<DiscoveredClass> ClassBrowser::Classes() const
{
    std::vector<DiscoveredClass> out;
    for (const auto& entry : m_classes)
        out.push_back(entry.second);
    return out;
}

const DiscoveredClass* ClassBrowser::Find(const std::string& className) const
{
    for (const auto& entry : m_classes)
        if (entry.second.className == className)
            return &entry.second;
    return nullptr;
}

} // namespace tavd
