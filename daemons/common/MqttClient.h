// The classroom daemons' MQTT connection: TLS with the machine's client
// certificate, QoS 1, a retained last will, reconnection with backoff, and
// a network thread of its own.
//
// Threads: the network thread only queues what arrives (messages and
// connection changes) and makes WakeFd() readable. The handlers run in
// Dispatch(), on whichever thread calls it: the daemon's main loop polls
// WakeFd() next to its bus descriptor and calls Dispatch() when it is
// readable. The other operations may be called from any thread.
#ifndef TAV_DAEMONS_MQTTCLIENT_H
#define TAV_DAEMONS_MQTTCLIENT_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "DaemonConfig.h"
#include "UniqueFd.h"

struct mosquitto;
struct mosquitto_message;

namespace tavd {

struct MqttOptions {
    std::string clientId; // the broker may replace it by the certificate's name
    std::string host;
    int port = 8883;
    // Seconds; the broker gives up on a silent client after 1.5 times this.
    // libmosquitto accepts no less than 5.
    int keepalive = 5;
    std::string caFile, certFile, keyFile;
    // Waits between connection attempts: from the first, doubling up to the
    // second; back to the first after a successful connection.
    std::chrono::milliseconds reconnectMin{1000};
    std::chrono::milliseconds reconnectMax{10000};
    // Retained QoS 1 message the broker publishes when the connection dies
    // without a goodbye (empty topic: none). Stop() publishes it too.
    std::string willTopic, willPayload;
    // The broker keeps this client's subscriptions while it is away and
    // queues the QoS 1 messages they match, delivered when it is back (a
    // persistent session; needs a client id). Otherwise a clean session.
    bool keepSession = false;
};

// The connection settings of a daemon's configuration. The client id is the
// certificate's name ("teacher" or the student id), which is what the
// class broker uses anyway; no last will is set. The teacher keeps its
// session: the students' answers sent while it is away (a broker restart
// both sides reconnect from) wait for it instead of being dropped.
MqttOptions MqttOptionsFrom(const DaemonConfig& config, DaemonRole role);

struct MqttMessage {
    std::string topic;
    std::string payload;
    bool retained = false;
};

struct MqttHandlers {
    std::function<void(const MqttMessage&)> onMessage;
    // After every successful connection, once the broker has answered
    // every subscription: what is published from here on reaches them.
    std::function<void()> onConnected;
    // When an established connection ends, with the reason.
    std::function<void(const std::string&)> onConnectionLost;
};

class MqttClient {
public:
    MqttClient(MqttOptions options, MqttHandlers handlers);
    ~MqttClient(); // Stop()
    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    // Checks the options and credentials and starts the network thread,
    // which connects and keeps reconnecting until Stop(). False (with the
    // reason in error, also logged) when the options or files are unusable.
    bool Start(std::string& error);
    // Publishes the last will (waiting up to two seconds for the broker to
    // take it), disconnects and ends the network thread. Idempotent.
    void Stop();

    // QoS 1 subscription, kept across reconnections (also before Start()).
    bool Subscribe(const std::string& filter);
    // QoS 1. Refused (false, logged) over tav_common::kMaxDocumentBytes.
    // While disconnected the message waits for the next connection.
    bool Publish(const std::string& topic, const std::string& payload, bool retain = false);
    // Removes the retained message of topic at the broker.
    bool ClearRetained(const std::string& topic);

    bool IsConnected() const { return m_connected.load(); }
    // This machine's address on the route to the broker (numeric), as the
    // socket of the current connection shows it; empty while disconnected.
    std::string LocalAddress() const;

    // Readable while events wait for Dispatch().
    int WakeFd() const { return m_wakeFd.get(); }
    // Runs the handlers for every event queued so far, in arrival order;
    // returns how many ran.
    std::size_t Dispatch();

    // Most bytes of payload held for Dispatch(); beyond it messages are
    // dropped with a log line rather than let a flood exhaust memory.
    static constexpr std::size_t kMaxQueuedBytes = 64u * 1024 * 1024;

private:
    struct Event {
        enum class Kind { Message, Connected, Lost } kind;
        MqttMessage message;
        std::string reason;
    };
    struct MosqDeleter {
        void operator()(mosquitto* m) const;
    };

    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* msg);
    static void OnSubscribe(mosquitto*, void* self, int mid, int count, const int* granted);
    static void OnPublish(mosquitto*, void* self, int mid);
    static void OnLog(mosquitto*, void* self, int level, const char* text);

    void Run();
    void WaitBeforeRetry();
    void Queue(Event event);
    void ConnectionEnded(const std::string& reason);
    bool PublishRaw(const std::string& topic, const std::string& payload, bool retain, int* mid);

    const MqttOptions m_options;
    const MqttHandlers m_handlers;
    const std::string m_address; // host:port, for log lines
    std::unique_ptr<mosquitto, MosqDeleter> m_mosq;
    UniqueFd m_wakeFd;
    std::thread m_thread;
    std::atomic<bool> m_connected{false};
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_stopped{false};
    std::chrono::milliseconds m_retryDelay; // network thread only

    std::mutex m_queueMutex;
    std::deque<Event> m_queue;
    std::size_t m_queuedBytes = 0;

    // Subscriptions and the connected state change together, so that a
    // filter is sent exactly once per connection.
    mutable std::mutex m_subMutex;
    std::vector<std::string> m_filters;
    std::map<int, std::string> m_pendingSubscriptions; // message id -> filter
    bool m_announcePending = false;                    // connected, subscriptions unanswered
    std::string m_localAddress;                        // of the current connection

    std::mutex m_stopMutex;
    std::condition_variable m_stopCv;
    int m_willMid = -1;
    bool m_willAcknowledged = false;
};

} // namespace tavd

#endif
