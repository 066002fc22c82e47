// A small daemon for the dialog tests, built on our daemon API and run in a
// forked child process: it records every request of the applications,
// answers the blocking ones (as told beforehand, since the dialog waits in
// the GTK thread), and sends notifications when told.
//
// The child must be forked before the test process holds any bus
// connection (the library's shared connection would be inherited), so the
// test program starts it from a global test environment:
//
//   static auto* const env = ::testing::AddGlobalTestEnvironment(
//       new tavguitest::FakeDaemonEnvironment(tavguitest::FakeDaemon::Student));
//   ... tavguitest::Daemon().SetReply(...), .Take(), .Send(...)
//
// Commands travel on one socket pair and are acknowledged once the child
// has acted on them; records travel on another.
#ifndef TAV_GUI_TESTS_FAKEDAEMON_H
#define TAV_GUI_TESTS_FAKEDAEMON_H

#include "IPCAPIManager.h"
#include "IPCStudentDaemonAPI.h"
#include "IPCTeacherDaemonAPI.h"
#include "IntfData.h"
#include "TAVLog.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

namespace tavguitest {

// One request as the daemon took it.
struct Request {
    std::string message; // empty: nothing arrived in time
    std::string payload;
    bool blocking = false;

    // The envelope's parameter name as a string ("" when absent).
    std::string String(const std::string& name) const
    {
        IPCAPI::CIntfData data;
        std::string value;
        if (data.load(payload))
            data.m_ParaXml.getString(name, value);
        return value;
    }
    int Int(const std::string& name) const
    {
        IPCAPI::CIntfData data;
        int value = -1;
        if (data.load(payload))
            data.m_ParaXml.getInt(name, value);
        return value;
    }
    int OperationID() const
    {
        IPCAPI::CIntfData data;
        int value = -1;
        if (data.load(payload))
            data.GetOperationID(value);
        return value;
    }
};

namespace fakedaemon {

inline bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

inline bool ReadAll(int fd, char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::read(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

inline bool WriteFrame(int fd, const std::string& text)
{
    const std::uint32_t size = std::uint32_t(text.size());
    return WriteAll(fd, reinterpret_cast<const char*>(&size), sizeof size) &&
           WriteAll(fd, text.data(), text.size());
}

// A whole frame within timeoutMs (-1: wait for ever); false on timeout or
// when the other end has gone.
inline bool ReadFrame(int fd, std::string& text, int timeoutMs)
{
    pollfd p = {fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0)
        return false;
    std::uint32_t size = 0;
    if (!ReadAll(fd, reinterpret_cast<char*>(&size), sizeof size))
        return false;
    text.assign(size, '\0');
    return size == 0 || ReadAll(fd, &text[0], size);
}

// "<first line>\n<rest>"
inline std::string Head(const std::string& text, std::string& rest)
{
    const std::size_t nl = text.find('\n');
    rest = nl == std::string::npos ? std::string() : text.substr(nl + 1);
    return text.substr(0, nl);
}

// The daemon API of either side behind one face.
template <class Api>
int Serve(int commands, int records)
{
    IPCAPI::IPCAPIBase* base = nullptr;
    const int role = std::is_same<Api, IPCAPI::IPCStudentDaemonAPI>::value ? 3 : 2;
    if (IPCAPI::InitializeTAVLibrary(role, &base) != 0 || !base)
        return 1;
    Api* api = static_cast<Api*>(base);
    // Reply templates per message name; "GARBAGE" answers with a text that
    // is not an envelope.
    std::map<std::string, std::string> replies;
    for (;;) {
        pollfd p = {commands, POLLIN, 0};
        if (::poll(&p, 1, 2) > 0) {
            std::string command;
            if (!ReadFrame(commands, command, 0))
                break; // the test process has gone
            std::string rest;
            const std::string verb = Head(command, rest);
            bool ok = true;
            if (verb == "QUIT") {
                WriteFrame(commands, "OK");
                break;
            } else if (verb == "PING") {
            } else if (verb == "RESET") {
                replies.clear();
            } else if (verb == "REPLY") {
                std::string text;
                const std::string message = Head(rest, text);
                replies[message] = text;
            } else if (verb == "SEND") {
                IPCAPI::CIntfData data;
                ok = data.load(rest) && api->SendMsg(&data) == 0;
            } else {
                ok = false;
            }
            WriteFrame(commands, ok ? "OK" : "FAIL");
        }
        int opid = 0;
        std::string message, payload;
        while (api->ReceiveMsg(opid, message, payload) == 0) {
            const bool blocking = api->IsBlock();
            WriteFrame(records,
                       std::string(blocking ? "B" : "S") + "\n" + message + "\n" + payload);
            if (!blocking)
                continue;
            IPCAPI::CIntfData request;
            request.load(payload);
            int requestID = 0;
            request.GetOperationID(requestID);
            auto rule = replies.find(message);
            if (rule != replies.end() && rule->second == "GARBAGE") {
                api->ReplyMsg(std::string("no envelope"));
                continue;
            }
            IPCAPI::CIntfData answer(message, requestID, "null");
            if (rule != replies.end()) {
                answer = IPCAPI::CIntfData();
                answer.load(rule->second);
                answer.SetOperationID(requestID);
            }
            api->ReplyMsg(&answer);
        }
    }
    IPCAPI::UninitializeTAVLibrary(base);
    return 0;
}

} // namespace fakedaemon

class FakeDaemon {
public:
    enum Role { Student, Teacher };

    FakeDaemon() = default;
    ~FakeDaemon() { Stop(); }
    FakeDaemon(const FakeDaemon&) = delete;
    FakeDaemon& operator=(const FakeDaemon&) = delete;

    // Forks the daemon; true once it owns its bus name (its first
    // acknowledged command).
    bool Start(Role role)
    {
        int commands[2], records[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, commands) != 0)
            return false;
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, records) != 0)
            return false;
        std::fflush(nullptr);
        m_pid = ::fork();
        if (m_pid < 0)
            return false;
        if (m_pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::close(commands[0]);
            ::close(records[0]);
            // Our own log file: two processes must not roll one file.
            LibTAVData::CTAVLog::SetLogFileName("fakeDaemon");
            const int rc =
                role == Student
                    ? fakedaemon::Serve<IPCAPI::IPCStudentDaemonAPI>(commands[1], records[1])
                    : fakedaemon::Serve<IPCAPI::IPCTeacherDaemonAPI>(commands[1], records[1]);
            std::fflush(nullptr);
            ::_exit(rc);
        }
        ::close(commands[1]);
        ::close(records[1]);
        m_commands = commands[0];
        m_records = records[0];
        return Command("PING");
    }

    void Stop()
    {
        if (m_pid <= 0)
            return;
        Command("QUIT");
        int status = 0;
        for (int i = 0; i < 500 && ::waitpid(m_pid, &status, WNOHANG) == 0; ++i)
            ::usleep(10000);
        if (::waitpid(m_pid, &status, WNOHANG) == 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
        }
        ::close(m_commands);
        ::close(m_records);
        m_pid = -1;
    }

    // From now on, blocking requests named message are answered with this
    // envelope (its operation id replaced by the request's).
    bool SetReply(const std::string& message, const IPCAPI::CIntfData& reply)
    {
        std::string text;
        return reply.toString(text) && Command("REPLY\n" + message + "\n" + text);
    }
    bool SetReply(const std::string& message, int result)
    {
        IPCAPI::CIntfData reply(message, 0, "null");
        reply.SetResult(result);
        return SetReply(message, reply);
    }
    // ... with a text that is not an envelope (the request then fails).
    bool SetGarbageReply(const std::string& message)
    {
        return Command("REPLY\n" + message + "\nGARBAGE");
    }
    // Back to the plain answers (result 0, no parameters) for every request.
    bool ResetReplies() { return Command("RESET"); }
    // Sends a notification to the applications of its side.
    bool Send(const IPCAPI::CIntfData& notification)
    {
        std::string text;
        return notification.toString(text) && Command("SEND\n" + text);
    }

    // The next request that arrived, or one with an empty message after
    // timeoutMs.
    Request Take(int timeoutMs = 5000)
    {
        Request request;
        std::string frame;
        if (m_records < 0 || !fakedaemon::ReadFrame(m_records, frame, timeoutMs))
            return request;
        std::string rest;
        request.blocking = fakedaemon::Head(frame, rest) == "B";
        request.message = fakedaemon::Head(rest, request.payload);
        return request;
    }
    // Every request that arrives until none has come for quietMs.
    std::vector<Request> TakeAll(int quietMs = 300)
    {
        std::vector<Request> all;
        for (Request r = Take(quietMs); !r.message.empty(); r = Take(quietMs))
            all.push_back(r);
        return all;
    }
    std::vector<std::string> TakeNames(int quietMs = 300)
    {
        std::vector<std::string> names;
        for (const Request& r : TakeAll(quietMs))
            names.push_back(r.message);
        return names;
    }

private:
    bool Command(const std::string& command)
    {
        std::string answer;
        return m_commands >= 0 && fakedaemon::WriteFrame(m_commands, command) &&
               fakedaemon::ReadFrame(m_commands, answer, 10000) && answer == "OK";
    }

    pid_t m_pid = -1;
    int m_commands = -1;
    int m_records = -1;
};

inline FakeDaemon*& DaemonSlot()
{
    static FakeDaemon* daemon = nullptr;
    return daemon;
}

// The daemon of this test program.
inline FakeDaemon& Daemon() { return *DaemonSlot(); }

// Before a test: the daemon is running, answers with its default replies
// and has no request of an earlier test left to take.
inline ::testing::AssertionResult FreshDaemon()
{
    if (!DaemonSlot())
        return ::testing::AssertionFailure() << "the fake daemon is not running";
    if (!Daemon().ResetReplies())
        return ::testing::AssertionFailure() << "the fake daemon did not reset its replies";
    Daemon().TakeAll(50);
    return ::testing::AssertionSuccess();
}

// Starts the daemon before the first test (before any API object exists in
// this process) and stops it after the last.
class FakeDaemonEnvironment : public ::testing::Environment {
public:
    explicit FakeDaemonEnvironment(FakeDaemon::Role role) : m_role(role) {}
    void SetUp() override
    {
        DaemonSlot() = new FakeDaemon;
        ASSERT_TRUE(DaemonSlot()->Start(m_role)) << "the fake daemon did not start";
    }
    void TearDown() override
    {
        delete DaemonSlot();
        DaemonSlot() = nullptr;
    }

private:
    FakeDaemon::Role m_role;
};

} // namespace tavguitest

#endif
