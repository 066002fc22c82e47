// Shared by the application API tests: envelope texts written out by hand
// (not with our payload classes) and a raw daemon that records what reaches
// it on the wire and answers blocking calls.
#ifndef TAV_IPC_TESTS_APITESTSUPPORT_H
#define TAV_IPC_TESTS_APITESTSUPPORT_H

#include "IPCAPIBase.h"
#include "RawPeer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace apitest {

// The operation-id counter, so that a test knows the ids to expect.
struct OpidAccess : IPCAPI::IPCAPIBase {
    static void Set(int v) { m_iOPID = v; }
};

inline std::string Pad(std::string text, std::size_t width)
{
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

// The 148-character header followed by the parameter text.
inline std::string Envelope(const std::string& message, int opid, const std::string& studentID,
                            int result, const std::string& params = "")
{
    return Pad(message, 64) + Pad(std::to_string(opid), 10) + Pad(studentID, 64) +
           Pad(std::to_string(result), 10) + params;
}

// One printed parameter; value as it appears in the text (already escaped).
inline std::string P(const std::string& name, const std::string& type, const std::string& value,
                     char quote = '"')
{
    return "<Parameter name=\"" + name + "\" type=\"" + type + "\" value=" + quote + value + quote +
           " />";
}
inline std::string S(const std::string& name, const std::string& value)
{
    return P(name, "string", value);
}
inline std::string I(const std::string& name, int value)
{
    return P(name, "int", std::to_string(value));
}

inline std::string Doc(std::initializer_list<std::string> params)
{
    std::string text = "<?xml version=\"1.0\" ?><Parameters>";
    for (const std::string& p : params)
        text += p;
    return text + "</Parameters>";
}

// A student record as the payload library prints it.
inline std::string Student(const std::string& id, const std::string& user, const std::string& host,
                           const std::string& ip, int locked, int start, int status)
{
    auto m = [](const std::string& n, const std::string& t, const std::string& v) {
        return "<Member name=\"" + n + "\" type=\"" + t + "\" value=\"" + v + "\" />";
    };
    return "<Parameter name=\"list_student_info\" type=\"struct_StudentInfo\" value=\"\">" +
           m("studentID", "string", id) + m("username", "string", user) +
           m("hostname", "string", host) + m("IP", "string", ip) +
           m("bLocked", "int", std::to_string(locked)) +
           m("start_time", "int", std::to_string(start)) +
           m("status", "int", std::to_string(status)) + "</Parameter>";
}

inline std::string LogText(const std::string& name)
{
    return tavtest::ReadFile(tavtest::Home() + "/TAVLog/" + name + ".log");
}

// True when the log holds a line with this level and exactly this message.
inline bool Logged(const std::string& log, const std::string& level, const std::string& message)
{
    return log.find(level + ":   " + message + "\n") != std::string::npos;
}

// One message as it arrived at the raw daemon.
struct WireMsg {
    int type = 0;
    std::string member, iface, path, destination, signature, arg;
};

// One application request as it reached the raw daemon: a signal on
// signalIface (ret untouched), or, when that is null, a blocking call on
// callIface to daemon whose echoed result (opid + 1000) came back in ret.
inline void ExpectRequestOnWire(const WireMsg& m, const std::string& member,
                                const std::string& envelope, const char* signalIface,
                                const char* callIface, const char* daemon, int opid, int ret)
{
    EXPECT_EQ(m.member, member);
    EXPECT_EQ(m.path, "/orvelix/message/object");
    EXPECT_EQ(m.signature, "s");
    EXPECT_EQ(m.arg, envelope);
    if (signalIface) {
        EXPECT_EQ(m.type, DBUS_MESSAGE_TYPE_SIGNAL);
        EXPECT_EQ(m.iface, signalIface);
        EXPECT_EQ(m.destination, "");
        EXPECT_EQ(ret, -1);
    } else {
        EXPECT_EQ(m.type, DBUS_MESSAGE_TYPE_METHOD_CALL);
        EXPECT_EQ(m.iface, callIface);
        EXPECT_EQ(m.destination, daemon);
        EXPECT_EQ(ret, opid + 1000);
    }
}

inline int OpidOf(const std::string& envelope)
{
    return envelope.size() >= 74 ? std::atoi(envelope.substr(64, 10).c_str()) : -1;
}

// How the raw daemon answers one call.
struct Answer {
    enum Kind { Text, NoArgument, Error } kind = Text;
    std::string text;
};

// Owns name on a private connection of its own thread, listens to the
// signals of the given rules, records every call and signal (the bus's own
// signals aside) and answers calls with respond(call).
class RawDaemon {
public:
    using Responder = std::function<Answer(const WireMsg&)>;

    RawDaemon(const char* name, std::vector<std::string> rules, Responder respond)
        : m_respond(std::move(respond))
    {
        std::atomic<int> state{0};
        m_thread = std::thread([this, name, rules, &state] {
            DBusConnection* c = rawpeer::Connect(name);
            bool ok = c != nullptr;
            for (const std::string& rule : rules)
                ok = ok && rawpeer::AddMatch(c, rule);
            state = ok ? 1 : 2;
            if (!c)
                return;
            while (!m_stop) {
                dbus_connection_read_write(c, 20);
                while (DBusMessage* m = dbus_connection_pop_message(c)) {
                    Handle(c, m);
                    dbus_message_unref(m);
                }
            }
            rawpeer::Close(c);
        });
        while (state == 0)
            std::this_thread::yield();
        m_ok = state == 1;
    }
    ~RawDaemon()
    {
        m_stop = true;
        m_thread.join();
    }
    bool Ok() const { return m_ok; }

    // The next recorded message, or a message of type 0 after timeoutMs.
    WireMsg Take(int timeoutMs = 5000)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [this] { return !m_queue.empty(); }))
            return WireMsg();
        WireMsg m = m_queue.front();
        m_queue.pop_front();
        return m;
    }

private:
    void Handle(DBusConnection* c, DBusMessage* m)
    {
        if (rawpeer::Str(dbus_message_get_sender(m)) == "org.freedesktop.DBus")
            return;
        WireMsg w;
        w.type = dbus_message_get_type(m);
        if (w.type != DBUS_MESSAGE_TYPE_METHOD_CALL && w.type != DBUS_MESSAGE_TYPE_SIGNAL)
            return;
        w.member = rawpeer::Str(dbus_message_get_member(m));
        w.iface = rawpeer::Str(dbus_message_get_interface(m));
        w.path = rawpeer::Str(dbus_message_get_path(m));
        w.destination = rawpeer::Str(dbus_message_get_destination(m));
        w.signature = rawpeer::Str(dbus_message_get_signature(m));
        w.arg = rawpeer::StringArg(m);
        if (w.type == DBUS_MESSAGE_TYPE_METHOD_CALL) {
            const Answer a = m_respond(w);
            if (a.kind == Answer::Error)
                rawpeer::ReplyError(c, m, "tav.Error.Failed", "refused");
            else
                rawpeer::Reply(c, m, a.kind == Answer::Text ? a.text.c_str() : nullptr);
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_queue.push_back(w);
        }
        m_cond.notify_all();
    }

    Responder m_respond;
    std::atomic<bool> m_stop{false};
    bool m_ok = false;
    std::mutex m_mutex;
    std::condition_variable m_cond;
    std::deque<WireMsg> m_queue;
    std::thread m_thread;
};

// What a hostile local user can send to an application's name that is no
// notification of its daemon, each carrying envelope with member as name:
// a signal on a made-up interface, a method call on the daemon's
// interface, and one with no interface at all.
inline void SendForgeries(DBusConnection* peer, const char* appName, const char* daemonIface,
                          const char* member, const std::string& envelope)
{
    rawpeer::UnicastSignal(peer, appName, "evil.iface", member, envelope.c_str());
    rawpeer::CallNoReply(peer, appName, daemonIface, member, envelope.c_str());
    rawpeer::CallNoReply(peer, appName, nullptr, member, envelope.c_str());
}

// Thread-safe list of what a callback saw.
class Journal {
public:
    void Add(const std::string& entry)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_entries.push_back(entry);
    }
    std::vector<std::string> Entries()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_entries;
    }
    bool Has(const std::string& entry)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const std::string& e : m_entries)
            if (e == entry)
                return true;
        return false;
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_entries;
};

} // namespace apitest

#endif
