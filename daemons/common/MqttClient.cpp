#include "MqttClient.h"

#include "InputLimits.h"
#include "LogScope.h"

#include <mosquitto.h>
#include <netdb.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tavd {

namespace {

using tav_common::LogScope;

// How long Stop() waits for the broker to take the will and the goodbye.
constexpr auto kStopGrace = std::chrono::seconds(2);

// Topics and texts from the network may hold anything: log a bounded,
// printable form.
std::string Shown(const char* text)
{
    std::string out;
    for (const char* p = text; p && *p && out.size() < 200; ++p)
        out += (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7f) ? '?' : *p;
    return out;
}

std::string Describe(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return std::strerror(errno);
    return mosquitto_strerror(rc);
}

// The numeric local address of a connected socket; empty when unknown.
std::string SocketAddress(int fd)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    char host[NI_MAXHOST] = {};
    if (fd < 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::getnameinfo(reinterpret_cast<sockaddr*>(&address), length, host, sizeof host, nullptr, 0,
                      NI_NUMERICHOST) != 0)
        return "";
    return host;
}

void LibraryInitOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

std::string CheckReadable(const char* what, const std::string& path)
{
    if (path.empty())
        return std::string(what) + " is not set";
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return std::string(what) + " " + path + ": " + std::strerror(errno);
    if (!S_ISREG(st.st_mode))
        return std::string(what) + " " + path + ": not a regular file";
    if (::access(path.c_str(), R_OK) != 0)
        return std::string(what) + " " + path + ": " + std::strerror(errno);
    return "";
}

} // namespace

MqttOptions MqttOptionsFrom(const DaemonConfig& config, DaemonRole role)
{
    MqttOptions o;
    o.clientId = role == DaemonRole::Teacher ? "teacher" : config.studentId;
    o.host = config.brokerHost;
    o.port = config.brokerPort;
    o.keepalive = config.keepalive;
    o.caFile = config.caFile;
    o.certFile = config.certFile;
    o.keyFile = config.keyFile;
    o.keepSession = role == DaemonRole::Teacher;
    return o;
}

void MqttClient::MosqDeleter::operator()(mosquitto* m) const { mosquitto_destroy(m); }

MqttClient::MqttClient(MqttOptions options, MqttHandlers handlers)
    : m_options(std::move(options)), m_handlers(std::move(handlers)),
      m_address(m_options.host + ":" + std::to_string(m_options.port)),
      m_wakeFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), m_retryDelay(m_options.reconnectMin)
{
    LibraryInitOnce();
}

MqttClient::~MqttClient() { Stop(); }

bool MqttClient::Start(std::string& error)
{
    LogScope scope("MqttClient::Start()");
    auto fail = [&](const std::string& why) {
        error = why;
        LogScope::Error("MqttClient::Start() --" + why);
        return false;
    };
    if (m_mosq || m_stopped)
        return fail("already started");
    if (m_wakeFd.get() < 0)
        return fail("no event descriptor");
    if (m_options.host.empty())
        return fail("no broker host");
    if (m_options.port < 1 || m_options.port > 65535)
        return fail("broker port " + std::to_string(m_options.port) + " out of range");
    if (m_options.keepalive < 5)
        return fail("keepalive below 5 seconds");
    if (m_options.willPayload.size() > tav_common::kMaxDocumentBytes)
        return fail("last will larger than the message limit");
    for (const auto& [what, path] :
         {std::pair<const char*, const std::string&>{"CA file", m_options.caFile},
          {"certificate file", m_options.certFile},
          {"key file", m_options.keyFile}}) {
        const std::string why = CheckReadable(what, path);
        if (!why.empty())
            return fail(why);
    }

    std::unique_ptr<mosquitto, MosqDeleter> m(
        mosquitto_new(m_options.clientId.empty() ? nullptr : m_options.clientId.c_str(),
                      !m_options.keepSession, this));
    if (!m)
        return fail(std::string("mosquitto_new: ") + std::strerror(errno));
    mosquitto_threaded_set(m.get(), true);
    int rc = mosquitto_int_option(m.get(), MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_tls_set(m.get(), m_options.caFile.c_str(), nullptr,
                               m_options.certFile.c_str(), m_options.keyFile.c_str(), nullptr);
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_tls_opts_set(m.get(), 1 /* verify the broker */, "tlsv1.2", nullptr);
    if (rc == MOSQ_ERR_SUCCESS && !m_options.willTopic.empty())
        rc = mosquitto_will_set(m.get(), m_options.willTopic.c_str(),
                                static_cast<int>(m_options.willPayload.size()),
                                m_options.willPayload.data(), 1, true);
    if (rc != MOSQ_ERR_SUCCESS)
        return fail("TLS or last-will settings refused: " + Describe(rc));
    mosquitto_connect_callback_set(m.get(), &MqttClient::OnConnect);
    mosquitto_disconnect_callback_set(m.get(), &MqttClient::OnDisconnect);
    mosquitto_message_callback_set(m.get(), &MqttClient::OnMessage);
    mosquitto_subscribe_callback_set(m.get(), &MqttClient::OnSubscribe);
    mosquitto_publish_callback_set(m.get(), &MqttClient::OnPublish);
    mosquitto_log_callback_set(m.get(), &MqttClient::OnLog);

    m_mosq = std::move(m);
    m_thread = std::thread(&MqttClient::Run, this);
    LogScope::Trace("MqttClient::Start() --connecting to " + m_address + " as " +
                    m_options.clientId);
    return true;
}

void MqttClient::Stop()
{
    if (m_stopped.exchange(true) || !m_thread.joinable())
        return;
    LogScope scope("MqttClient::Stop()");
    if (m_connected && !m_options.willTopic.empty()) {
        // A clean disconnect does not release the will: say it ourselves.
        std::unique_lock<std::mutex> lock(m_stopMutex);
        m_willAcknowledged = false;
        if (PublishRaw(m_options.willTopic, m_options.willPayload, true, &m_willMid) &&
            !m_stopCv.wait_for(lock, kStopGrace, [this] { return m_willAcknowledged; }))
            LogScope::Warning("MqttClient::Stop() --the broker did not confirm the last will");
    }
    {
        std::lock_guard<std::mutex> lock(m_stopMutex);
        m_stopping = true;
    }
    m_stopCv.notify_all();
    mosquitto_disconnect(m_mosq.get());
    m_thread.join();
    m_connected = false;
}

void MqttClient::Run()
{
    bool haveSocket = false;
    bool initialised = false;
    auto deadline = std::chrono::steady_clock::time_point::max();
    for (;;) {
        if (m_stopping) {
            // Let the goodbye go out, but not for ever.
            if (!haveSocket)
                break;
            const auto now = std::chrono::steady_clock::now();
            if (deadline == std::chrono::steady_clock::time_point::max())
                deadline = now + kStopGrace;
            else if (now > deadline)
                break;
        }
        if (!haveSocket) {
            const int rc = initialised
                               ? mosquitto_reconnect_async(m_mosq.get())
                               : mosquitto_connect_async(m_mosq.get(), m_options.host.c_str(),
                                                         m_options.port, m_options.keepalive);
            initialised = initialised || rc != MOSQ_ERR_INVAL;
            if (rc != MOSQ_ERR_SUCCESS) {
                LogScope::Warning("MqttClient --cannot reach " + m_address + ": " + Describe(rc));
                WaitBeforeRetry();
                continue;
            }
            haveSocket = true;
        }
        // Every error is worth another try: libmosquitto's own loop gives
        // up for good after some (a TLS read error when the broker dies).
        const int rc = mosquitto_loop(m_mosq.get(), 1000, 1);
        if (rc == MOSQ_ERR_SUCCESS)
            continue;
        haveSocket = false;
        // A handshake that fails or gets no answer (libmosquitto gives up
        // after a keepalive) ends here too.
        if (!m_connected && !m_stopping)
            LogScope::Warning("MqttClient --connection attempt to " + m_address +
                              " failed: " + Describe(rc));
        ConnectionEnded(Describe(rc));
        if (!m_stopping)
            WaitBeforeRetry();
    }
}

void MqttClient::WaitBeforeRetry()
{
    std::unique_lock<std::mutex> lock(m_stopMutex);
    m_stopCv.wait_for(lock, m_retryDelay, [this] { return m_stopping.load(); });
    m_retryDelay = std::min(m_retryDelay * 2, m_options.reconnectMax);
}

void MqttClient::ConnectionEnded(const std::string& reason)
{
    bool was;
    {
        std::lock_guard<std::mutex> lock(m_subMutex);
        was = m_connected.exchange(false);
        m_localAddress.clear();
        m_pendingSubscriptions.clear();
        m_announcePending = false;
    }
    if (!was)
        return;
    if (m_stopping)
        LogScope::Trace("MqttClient --disconnected from the broker");
    else
        LogScope::Warning("MqttClient --connection to the broker lost: " + reason);
    Queue(Event{Event::Kind::Lost, {}, reason});
}

void MqttClient::OnConnect(mosquitto* m, void* self, int rc)
{
    auto* c = static_cast<MqttClient*>(self);
    if (rc != 0) {
        LogScope::Error(std::string("MqttClient --the broker refused the connection: ") +
                        mosquitto_connack_string(rc));
        return;
    }
    c->m_retryDelay = c->m_options.reconnectMin;
    const std::string local = SocketAddress(mosquitto_socket(m));
    bool announce;
    {
        std::lock_guard<std::mutex> lock(c->m_subMutex);
        c->m_connected = true;
        c->m_localAddress = local;
        for (const std::string& filter : c->m_filters) {
            int mid = 0;
            if (mosquitto_subscribe(m, &mid, filter.c_str(), 1) == MOSQ_ERR_SUCCESS)
                c->m_pendingSubscriptions[mid] = filter;
        }
        announce = c->m_pendingSubscriptions.empty();
        c->m_announcePending = !announce;
    }
    LogScope::Trace("MqttClient --connected to " + c->m_address);
    if (announce)
        c->Queue(Event{Event::Kind::Connected, {}, {}});
}

void MqttClient::OnDisconnect(mosquitto*, void* self, int rc)
{
    static_cast<MqttClient*>(self)->ConnectionEnded(rc == 0 ? "disconnected" : Describe(rc));
}

void MqttClient::OnMessage(mosquitto*, void* self, const mosquitto_message* msg)
{
    auto* c = static_cast<MqttClient*>(self);
    const std::size_t size = msg->payloadlen > 0 ? static_cast<std::size_t>(msg->payloadlen) : 0;
    // Refused before a copy is made.
    if (size > tav_common::kMaxDocumentBytes) {
        LogScope::Error("MqttClient --refused a message of " + std::to_string(size) + " bytes on " +
                        Shown(msg->topic) + " (limit " +
                        std::to_string(tav_common::kMaxDocumentBytes) + ")");
        return;
    }
    {
        std::lock_guard<std::mutex> lock(c->m_queueMutex);
        if (c->m_queuedBytes + size > kMaxQueuedBytes) {
            LogScope::Error("MqttClient --dropped a message of " + std::to_string(size) +
                            " bytes on " + Shown(msg->topic) + ": too much waiting for the daemon");
            return;
        }
    }
    Event e{Event::Kind::Message, {}, {}};
    e.message.topic = msg->topic ? msg->topic : "";
    e.message.payload.assign(static_cast<const char*>(msg->payload), size);
    e.message.retained = msg->retain;
    c->Queue(std::move(e));
}

void MqttClient::OnSubscribe(mosquitto*, void* self, int mid, int count, const int* granted)
{
    auto* c = static_cast<MqttClient*>(self);
    std::string filter;
    bool announce;
    {
        std::lock_guard<std::mutex> lock(c->m_subMutex);
        const auto it = c->m_pendingSubscriptions.find(mid);
        if (it == c->m_pendingSubscriptions.end())
            return;
        filter = it->second;
        c->m_pendingSubscriptions.erase(it);
        announce = c->m_announcePending && c->m_pendingSubscriptions.empty();
        if (announce)
            c->m_announcePending = false;
    }
    // 0x80 is the broker's refusal.
    if (count < 1 || granted[0] > 2)
        LogScope::Error("MqttClient --the broker refused the subscription to " + filter);
    if (announce)
        c->Queue(Event{Event::Kind::Connected, {}, {}});
}

void MqttClient::OnPublish(mosquitto*, void* self, int mid)
{
    auto* c = static_cast<MqttClient*>(self);
    {
        std::lock_guard<std::mutex> lock(c->m_stopMutex);
        if (mid != c->m_willMid)
            return;
        c->m_willAcknowledged = true;
    }
    c->m_stopCv.notify_all();
}

void MqttClient::OnLog(mosquitto*, void*, int level, const char* text)
{
    if (level & (MOSQ_LOG_ERR | MOSQ_LOG_WARNING))
        LogScope::Warning("MqttClient --libmosquitto: " + Shown(text));
}

void MqttClient::Queue(Event event)
{
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_queuedBytes += event.message.payload.size();
        m_queue.push_back(std::move(event));
    }
    const uint64_t one = 1;
    // Only fails when the counter is saturated, which is readable anyway.
    [[maybe_unused]] const ssize_t n = ::write(m_wakeFd.get(), &one, sizeof one);
}

std::size_t MqttClient::Dispatch()
{
    uint64_t count;
    [[maybe_unused]] const ssize_t n = ::read(m_wakeFd.get(), &count, sizeof count);
    std::deque<Event> events;
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        events.swap(m_queue);
        m_queuedBytes = 0;
    }
    for (const Event& e : events) {
        switch (e.kind) {
        case Event::Kind::Message:
            if (m_handlers.onMessage)
                m_handlers.onMessage(e.message);
            break;
        case Event::Kind::Connected:
            if (m_handlers.onConnected)
                m_handlers.onConnected();
            break;
        case Event::Kind::Lost:
            if (m_handlers.onConnectionLost)
                m_handlers.onConnectionLost(e.reason);
            break;
        }
    }
    return events.size();
}

std::string MqttClient::LocalAddress() const
{
    std::lock_guard<std::mutex> lock(m_subMutex);
    return m_localAddress;
}

bool MqttClient::Subscribe(const std::string& filter)
{
    if (m_stopped || mosquitto_sub_topic_check(filter.c_str()) != MOSQ_ERR_SUCCESS) {
        LogScope::Error("MqttClient::Subscribe() --refused " + Shown(filter.c_str()));
        return false;
    }
    std::lock_guard<std::mutex> lock(m_subMutex);
    for (const std::string& f : m_filters)
        if (f == filter)
            return true;
    m_filters.push_back(filter);
    if (m_connected) {
        int mid = 0;
        const int rc = mosquitto_subscribe(m_mosq.get(), &mid, filter.c_str(), 1);
        if (rc == MOSQ_ERR_SUCCESS)
            m_pendingSubscriptions[mid] = filter;
        // Otherwise the next connection subscribes.
    }
    return true;
}

bool MqttClient::PublishRaw(const std::string& topic, const std::string& payload, bool retain,
                            int* mid)
{
    if (!m_mosq)
        return false;
    if (payload.size() > tav_common::kMaxDocumentBytes) {
        LogScope::Error("MqttClient::Publish() --refused " + std::to_string(payload.size()) +
                        " bytes for " + Shown(topic.c_str()) + " (limit " +
                        std::to_string(tav_common::kMaxDocumentBytes) + ")");
        return false;
    }
    const int rc = mosquitto_publish(m_mosq.get(), mid, topic.c_str(),
                                     static_cast<int>(payload.size()), payload.data(), 1, retain);
    if (rc != MOSQ_ERR_SUCCESS) {
        LogScope::Error("MqttClient::Publish() --" + Shown(topic.c_str()) + ": " + Describe(rc));
        return false;
    }
    return true;
}

bool MqttClient::Publish(const std::string& topic, const std::string& payload, bool retain)
{
    return !m_stopped && PublishRaw(topic, payload, retain, nullptr);
}

bool MqttClient::ClearRetained(const std::string& topic)
{
    return Publish(topic, std::string(), true);
}

} // namespace tavd
