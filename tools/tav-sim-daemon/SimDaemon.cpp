#include "SimDaemon.h"

#include "IPCCommonUtil.h"
#include "TAVLog.h"

#include <algorithm>

namespace simdaemon {

namespace {
// Requests answered per poll at most, so that queued notifications still go
// out while requests pour in.
constexpr int kRequestsPerPoll = 64;
constexpr std::size_t kNameWidth = 64; // the envelope's message field
// Notifications waiting at most; a flood of requests must not eat memory.
constexpr std::size_t kMaxQueued = 2000;
} // namespace

SimDaemon::SimDaemon(DaemonPort& port, const SimOptions& options) : m_options(options), m_port(port)
{}

SimDaemon::~SimDaemon() = default;

tavtools::ProgramListing SimDaemon::ListForSearch(std::string& folder) const
{
    tavtools::ProgramListing listing = tavtools::ListPrograms(folder);
    if (!listing.listed) {
        Log("search: folder '" + folder + "' cannot be read (" + listing.error + "), listing " +
            m_options.programsDir);
        folder = m_options.programsDir;
        listing = tavtools::ListPrograms(folder);
    }
    return listing;
}

void SimDaemon::Log(const std::string& text)
{
    LibTAVData::CTAVLog::WriteLine("tav-sim-daemon: " + text, LibTAVData::CTAVLog::LOG_TRACE, "",
                                   false);
}

void SimDaemon::LogError(const std::string& text)
{
    LibTAVData::CTAVLog::WriteLine("tav-sim-daemon: " + text, LibTAVData::CTAVLog::LOG_ERROR, "",
                                   false);
}

bool SimDaemon::Poll()
{
    // The library skips what does not reach the host within one take, so
    // "nothing" means nothing is waiting.
    bool more = true;
    for (int i = 0; i < kRequestsPerPoll && more; ++i) {
        std::string name, payload;
        if (m_port.Receive(name, payload) != 0)
            more = false;
        else
            Answer(name, payload);
    }
    SendDue();
    return more;
}

void SimDaemon::Answer(const std::string& name, const std::string& payload)
{
    Request request;
    request.name = name;
    request.block = m_port.IsBlock();
    const bool loaded = IPCAPI::IPCCommonUtil::LoadString(request.data, payload) == 0;
    if (loaded) {
        request.data.GetOperationID(request.opid);
        request.data.GetStudentID(request.studentID);
        std::string inner;
        request.data.GetMessage(inner);
        if (inner != name)
            Log("request " + name + " carries the message name '" + inner + "'; answered as " +
                name);
    }
    Log("request " + name + " op " + std::to_string(request.opid) + " student '" +
        request.studentID + "'" + (request.block ? " (blocking)" : " (signal)"));
    tavtools::JsonObject event;
    event.Str("type", "request")
        .Str("message", name)
        .Int("opid", request.opid)
        .Str("studentID", request.studentID);
    event.Bool("blocking", request.block);

    IPCAPI::CIntfData reply(name.substr(0, kNameWidth), request.opid, request.studentID);
    if (!loaded) {
        LogError("request " + name + ": not an envelope" +
                 (request.block ? ", answered with result 1" : ""));
        Event(event.Str("error", "not an envelope"));
        reply.SetResult(1);
    } else if (Handle(request, reply)) {
        Event(event);
    } else {
        const int code = ResultFor({name}, 1);
        LogError("request " + name + ": unknown message name" +
                 (request.block ? ", answered with result " + std::to_string(code) : ""));
        Event(event.Str("error", "unknown message name"));
        reply.SetResult(code);
    }
    if (!request.block)
        return;
    int result = 0;
    reply.GetResult(result);
    const bool failed = m_port.Reply(reply) != 0;
    if (failed)
        LogError("reply to " + name + " could not be sent");
    else
        Log("reply " + name + " op " + std::to_string(request.opid) + " result " +
            std::to_string(result));
    Event(tavtools::JsonObject()
              .Str("type", "reply")
              .Str("message", name)
              .Int("opid", request.opid)
              .Int("result", result)
              .Bool("sent", !failed));
}

void SimDaemon::Event(const tavtools::JsonObject& event) const
{
    if (m_events)
        m_events(event);
}

int SimDaemon::ResultFor(std::initializer_list<std::string> names, int fallback) const
{
    for (const std::string& name : names) {
        auto it = m_options.results.find(name);
        if (it != m_options.results.end())
            return it->second;
    }
    return fallback;
}

void SimDaemon::Notify(const IPCAPI::CIntfData& note, int delayMs)
{
    std::string name;
    note.GetMessage(name);
    if (m_queue.size() >= kMaxQueued) {
        LogError("notification " + name + " dropped: " + std::to_string(kMaxQueued) +
                 " are waiting already");
        return;
    }
    int opid = 0;
    note.GetOperationID(opid);
    Pending p{Clock::now() + std::chrono::milliseconds(delayMs), note, opid};
    // After everything due at the same time or earlier: order of queuing kept.
    auto at = std::upper_bound(
        m_queue.begin(), m_queue.end(), p.due,
        [](const Clock::time_point& due, const Pending& q) { return due < q.due; });
    m_queue.insert(at, std::move(p));
}

int SimDaemon::Cancel(int opid)
{
    const auto before = m_queue.size();
    m_queue.erase(std::remove_if(m_queue.begin(), m_queue.end(),
                                 [opid](const Pending& p) { return p.opid == opid; }),
                  m_queue.end());
    return static_cast<int>(before - m_queue.size());
}

void SimDaemon::SendDue()
{
    const auto now = Clock::now();
    while (!m_queue.empty() && m_queue.front().due <= now) {
        Pending p = std::move(m_queue.front());
        m_queue.pop_front();
        std::string name, student;
        int result = 0;
        p.note.GetMessage(name);
        p.note.GetStudentID(student);
        p.note.GetResult(result);
        const bool failed = m_port.Send(p.note) != 0;
        if (failed)
            LogError("notification " + name + " could not be sent");
        else
            Log("notification " + name + " op " + std::to_string(p.opid) + " student '" + student +
                "' result " + std::to_string(result));
        Event(tavtools::JsonObject()
                  .Str("type", "notification")
                  .Str("message", name)
                  .Int("opid", p.opid)
                  .Str("studentID", student)
                  .Int("result", result)
                  .Bool("sent", !failed));
    }
}

int SimDaemon::MsUntilNextDue() const
{
    if (m_queue.empty())
        return -1;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(m_queue.front().due - Clock::now())
            .count();
    return left < 0 ? 0 : static_cast<int>(left);
}

} // namespace simdaemon
