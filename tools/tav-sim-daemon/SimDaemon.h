// The common part of both simulated daemons: the request loop on a daemon
// API object, the reply envelopes, result codes per message name and the
// queue of notifications waiting for their time.
#ifndef TAV_TOOLS_SIMDAEMON_H
#define TAV_TOOLS_SIMDAEMON_H

#include "IntfData.h"
#include "Json.h"
#include "ProgramListing.h"
#include "SimOptions.h"

#include <chrono>
#include <deque>
#include <functional>
#include <string>

namespace simdaemon {

// What the simulation needs from IPCTeacherDaemonAPI or IPCStudentDaemonAPI
// (the two share no interface of their own).
class DaemonPort {
public:
    virtual ~DaemonPort() = default;
    virtual int Receive(std::string& message, std::string& payload) = 0;
    virtual bool IsBlock() = 0;
    virtual int Reply(IPCAPI::CIntfData& data) = 0;
    virtual int Send(IPCAPI::CIntfData& data) = 0;
    // The descriptor to poll for the next request; -1 without a bus.
    virtual int WaitFD() = 0;
};

template <class Api>
class ApiPort : public DaemonPort {
public:
    int Receive(std::string& message, std::string& payload) override
    {
        int unused = 0;
        return m_api.ReceiveMsg(unused, message, payload);
    }
    bool IsBlock() override { return m_api.IsBlock(); }
    int Reply(IPCAPI::CIntfData& data) override { return m_api.ReplyMsg(&data); }
    int Send(IPCAPI::CIntfData& data) override { return m_api.SendMsg(&data); }
    int WaitFD() override { return m_api.GetWaitFD(); }

private:
    Api m_api;
};

class SimDaemon {
public:
    using Clock = std::chrono::steady_clock;

    SimDaemon(DaemonPort& port, const SimOptions& options);
    virtual ~SimDaemon();
    SimDaemon(const SimDaemon&) = delete;
    SimDaemon& operator=(const SimDaemon&) = delete;

    // Takes and answers the requests waiting, then sends the notifications
    // whose time has come. True when requests may still be waiting (a full
    // round was answered): poll again without waiting.
    bool Poll();
    // Milliseconds until the next queued notification is due; -1 when none.
    int MsUntilNextDue() const;
    // A command line from standard input; the answer for the user in out.
    // False for a command it does not know (out says why).
    virtual bool Command(const std::string& line, std::string& out) = 0;
    // The commands of this side, one line.
    virtual std::string CommandHelp() const = 0;

    // Told of every request taken, reply sent and notification sent, as an
    // object of type "request", "reply" or "notification" (--json).
    using Events = std::function<void(const tavtools::JsonObject&)>;
    void SetEvents(Events events) { m_events = std::move(events); }

protected:
    // One request as received.
    struct Request {
        std::string name;       // bus member name
        IPCAPI::CIntfData data; // the loaded envelope
        int opid = 0;
        std::string studentID;
        bool block = false;
    };

    // Handles a known request and fills the reply's result and parameters;
    // false for a name this side does not know.
    virtual bool Handle(Request& request, IPCAPI::CIntfData& reply) = 0;

    // The configured result for any of the names (first configured wins),
    // else fallback.
    int ResultFor(std::initializer_list<std::string> names, int fallback = 0) const;
    // Queues a notification to go out delayMs from now (0: with this poll).
    void Notify(const IPCAPI::CIntfData& note, int delayMs = 0);
    // Drops the queued notifications of an operation; how many.
    int Cancel(int opid);

    // The programs of the folder a search names, or of --programs when
    // that one cannot be read (folder then names it).
    tavtools::ProgramListing ListForSearch(std::string& folder) const;

    static void Log(const std::string& text);
    static void LogError(const std::string& text);

    const SimOptions& m_options;

private:
    struct Pending {
        Clock::time_point due;
        IPCAPI::CIntfData note;
        int opid;
    };

    void Answer(const std::string& name, const std::string& payload);
    void SendDue();

    void Event(const tavtools::JsonObject& event) const;

    DaemonPort& m_port;
    std::deque<Pending> m_queue; // in due order
    Events m_events;
};

} // namespace simdaemon

#endif
