#include "CtlTestSupport.h"

#include "IPCAPIManager.h"
#include "IPCStudentDaemonAPI.h"
#include "IPCTeacherDaemonAPI.h"
#include "TAVLog.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

#ifndef TAVCTL_PATH
#error "TAVCTL_PATH must name the tavctl program"
#endif

using namespace IPCAPI;

namespace ctltest {

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

std::string escape(const std::string& text)
{
    std::string e;
    for (char c : text) {
        if (c == '\\')
            e += "\\\\";
        else if (c == '\n')
            e += "\\n";
        else
            e += c;
    }
    return e;
}

std::string unescape(const std::string& text)
{
    std::string u;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            u += text[i + 1] == 'n' ? '\n' : text[i + 1];
            ++i;
        } else {
            u += text[i];
        }
    }
    return u;
}

void writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

// Reads whatever fd has within timeoutMs into buffer; false at end of file.
bool readSome(int fd, std::string& buffer, int timeoutMs)
{
    struct pollfd p = {fd, POLLIN, 0};
    const int r = ::poll(&p, 1, timeoutMs);
    if (r <= 0)
        return true;
    char chunk[4096];
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR)
        return true;
    if (n <= 0)
        return false;
    buffer.append(chunk, static_cast<std::size_t>(n));
    return true;
}

bool takeLine(std::string& buffer, std::string& line)
{
    const std::size_t nl = buffer.find('\n');
    if (nl == std::string::npos)
        return false;
    line = buffer.substr(0, nl);
    buffer.erase(0, nl + 1);
    return true;
}

pid_t spawn(const std::vector<std::string>& args, int& in, int& out, int& err)
{
    int pin[2], pout[2], perr[2];
    if (::pipe2(pin, O_CLOEXEC) != 0 || ::pipe2(pout, O_CLOEXEC) != 0 ||
        ::pipe2(perr, O_CLOEXEC) != 0)
        return -1;
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::dup2(pin[0], 0);
        ::dup2(pout[1], 1);
        ::dup2(perr[1], 2);
        std::vector<char*> argv;
        static std::string program = TAVCTL_PATH;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(pin[0]);
    ::close(pout[1]);
    ::close(perr[1]);
    in = pin[1];
    out = pout[0];
    err = perr[0];
    return pid;
}

int reap(pid_t pid, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return WIFEXITED(status)     ? WEXITSTATUS(status)
                   : WIFSIGNALED(status) ? 128 + WTERMSIG(status)
                                         : -1;
        if (Clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// Both output pipes until end of file or the deadline.
void drain(int out, int err, std::string& outText, std::string& errText, Clock::time_point deadline)
{
    bool outOpen = out >= 0, errOpen = err >= 0;
    while ((outOpen || errOpen) && msLeft(deadline) > 0) {
        struct pollfd p[2] = {{outOpen ? out : -1, POLLIN, 0}, {errOpen ? err : -1, POLLIN, 0}};
        if (::poll(p, 2, msLeft(deadline)) <= 0)
            continue;
        char chunk[4096];
        if (outOpen && (p[0].revents & (POLLIN | POLLHUP))) {
            const ssize_t n = ::read(out, chunk, sizeof chunk);
            if (n > 0)
                outText.append(chunk, static_cast<std::size_t>(n));
            else if (n == 0 || errno != EINTR)
                outOpen = false;
        }
        if (errOpen && (p[1].revents & (POLLIN | POLLHUP))) {
            const ssize_t n = ::read(err, chunk, sizeof chunk);
            if (n > 0)
                errText.append(chunk, static_cast<std::size_t>(n));
            else if (n == 0 || errno != EINTR)
                errOpen = false;
        }
    }
}

template <class Api>
[[noreturn]] void daemonMain(int role, const TestDaemon::Responder& respond,
                             const TestDaemon::CommandHandler& onCommand, int records, int commands)
{
    // The library log echoes to standard output: keep it out of the test's.
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    LibTAVData::CTAVLog::SetLogFileName(role == 2 ? "test-teacher-daemon" : "test-student-daemon");
    IPCAPIBase* base = nullptr;
    if (InitializeTAVLibrary(role, &base) != 0 || !base)
        ::_exit(3);
    Api* api = static_cast<Api*>(base);
    writeAll(records, "ready\n");
    ::fcntl(commands, F_SETFL, O_NONBLOCK);
    std::string pending;
    for (;;) {
        std::vector<CIntfData> notes;
        char chunk[256];
        const ssize_t n = ::read(commands, chunk, sizeof chunk);
        if (n == 0)
            break; // the test went away
        if (n > 0)
            pending.append(chunk, static_cast<std::size_t>(n));
        std::string command;
        bool quit = false;
        while (takeLine(pending, command)) {
            if (command == "quit")
                quit = true;
            else
                onCommand(command, notes);
        }
        if (quit)
            break;
        int opid = 0;
        Request req;
        if (api->ReceiveMsg(opid, req.member, req.payload) == 0) {
            req.blocking = api->IsBlock();
            const bool loaded = req.envelope.load(req.payload);
            CIntfData reply;
            if (loaded) {
                reply.SetMessage(req.Message());
                reply.SetOperationID(req.OperationID());
                reply.SetStudentID(req.StudentID());
            }
            respond(req, reply, notes);
            writeAll(records, std::string(req.blocking ? "B " : "S ") + req.member + "\t" +
                                  escape(req.payload) + "\n");
            if (req.blocking)
                api->ReplyMsg(&reply);
        } else if (notes.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        for (CIntfData& note : notes)
            api->SendMsg(&note);
    }
    UninitializeTAVLibrary(base);
    ::_exit(0);
}

} // namespace

std::vector<std::string> Outcome::Lines() const
{
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool Outcome::Has(const std::string& line) const
{
    for (const std::string& l : Lines())
        if (l == line)
            return true;
    return false;
}

Outcome Tavctl(const std::vector<std::string>& args, const std::string& input, int timeoutMs)
{
    Outcome run;
    int in = -1, out = -1, err = -1;
    const pid_t pid = spawn(args, in, out, err);
    if (pid < 0)
        return run;
    // Small inputs: the pipe holds them whole, even if tavctl never reads.
    writeAll(in, input);
    ::close(in);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    drain(out, err, run.out, run.err, deadline);
    ::close(out);
    ::close(err);
    run.status = reap(pid, msLeft(deadline) + 100);
    return run;
}

Background::Background(const std::vector<std::string>& args)
{
    int in = -1;
    m_pid = spawn(args, in, m_out, m_err);
    if (in >= 0)
        ::close(in);
}

Background::~Background()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0)
        ::close(m_out);
    if (m_err >= 0)
        ::close(m_err);
}

bool Background::ReadLine(std::string& line, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (takeLine(m_buffer, line)) {
            m_lines.push_back(line);
            return true;
        }
        if (msLeft(deadline) <= 0 || m_out < 0)
            return false;
        if (!readSome(m_out, m_buffer, msLeft(deadline))) {
            ::close(m_out);
            m_out = -1;
        }
    }
}

void Background::Signal(int sig)
{
    if (m_pid > 0)
        ::kill(m_pid, sig);
}

std::string Background::Why()
{
    const Outcome run = Finish(2000);
    return "tavctl ended with status " + std::to_string(run.status) +
           ", standard error: " + run.err;
}

Outcome Background::Finish(int timeoutMs)
{
    Outcome run;
    for (const std::string& l : m_lines)
        run.out += l + "\n";
    run.out += m_buffer;
    m_buffer.clear();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    drain(m_out, m_err, run.out, run.err, deadline);
    if (m_out >= 0)
        ::close(m_out);
    if (m_err >= 0)
        ::close(m_err);
    m_out = m_err = -1;
    run.status = m_pid > 0 ? reap(m_pid, msLeft(deadline) + 100) : -1;
    m_pid = -1;
    return run;
}

std::string Request::Message() const
{
    std::string m;
    envelope.GetMessage(m);
    return m;
}

std::string Request::StudentID() const
{
    std::string s;
    envelope.GetStudentID(s);
    return s;
}

int Request::OperationID() const
{
    int id = -1;
    envelope.GetOperationID(id);
    return id;
}

std::string Request::Params() const
{
    std::string text;
    envelope.m_ParaXml.toString(text);
    return text;
}

std::string Request::String(const std::string& name) const
{
    std::string v = "<absent>";
    CParaXml copy = envelope.m_ParaXml;
    copy.getString(name, v);
    return v;
}

int Request::Int(const std::string& name) const
{
    int v = -99999;
    CParaXml copy = envelope.m_ParaXml;
    copy.getInt(name, v);
    return v;
}

std::vector<std::string> Request::List() const
{
    std::list<std::string> list;
    CParaXml copy = envelope.m_ParaXml;
    copy.getListPara(list);
    return std::vector<std::string>(list.begin(), list.end());
}

TestDaemon::TestDaemon(bool teacher, Responder respond, CommandHandler onCommand)
{
    int records[2], commands[2];
    if (::pipe2(records, O_CLOEXEC) != 0 || ::pipe2(commands, O_CLOEXEC) != 0)
        return;
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::close(records[0]);
        ::close(commands[1]);
        if (teacher)
            daemonMain<IPCTeacherDaemonAPI>(2, respond, onCommand, records[1], commands[0]);
        daemonMain<IPCStudentDaemonAPI>(3, respond, onCommand, records[1], commands[0]);
    }
    ::close(records[1]);
    ::close(commands[0]);
    m_records = records[0];
    m_commands = commands[1];
    m_pid = pid;
    std::string line;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!takeLine(m_buffer, line) && msLeft(deadline) > 0)
        if (!readSome(m_records, m_buffer, msLeft(deadline)))
            break;
    if (line != "ready") {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
}

TestDaemon::~TestDaemon()
{
    if (m_pid > 0) {
        Command("quit");
        if (reap(m_pid, 5000) < 0)
            m_pid = -1;
        m_pid = -1;
    }
    if (m_records >= 0)
        ::close(m_records);
    if (m_commands >= 0)
        ::close(m_commands);
}

bool TestDaemon::Next(Request& request, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string line;
    while (!takeLine(m_buffer, line)) {
        if (msLeft(deadline) <= 0 || m_records < 0)
            return false;
        if (!readSome(m_records, m_buffer, msLeft(deadline)))
            return false;
    }
    request = Request();
    request.blocking = line.compare(0, 2, "B ") == 0;
    const std::size_t tab = line.find('\t');
    request.member = line.substr(2, tab == std::string::npos ? std::string::npos : tab - 2);
    request.payload = tab == std::string::npos ? "" : unescape(line.substr(tab + 1));
    request.envelope.load(request.payload);
    return true;
}

void TestDaemon::Command(const std::string& command)
{
    if (m_commands >= 0)
        writeAll(m_commands, command + "\n");
}

CIntfData Notification(const std::string& message, const std::string& studentID)
{
    return CIntfData(message, 0, studentID);
}

std::string S(const std::string& name, const std::string& value)
{
    return "<Parameter name=\"" + name + "\" type=\"string\" value=\"" + value + "\" />";
}

std::string I(const std::string& name, int value)
{
    return "<Parameter name=\"" + name + "\" type=\"int\" value=\"" + std::to_string(value) +
           "\" />";
}

std::string Doc(const std::vector<std::string>& params)
{
    if (params.empty())
        return "";
    std::string text = "<?xml version=\"1.0\" ?><Parameters>";
    for (const std::string& p : params)
        text += p;
    return text + "</Parameters>";
}

std::string lines(std::initializer_list<const char*> texts)
{
    std::string text;
    for (const char* t : texts)
        text += std::string(t) + "\n";
    return text;
}

Request ExpectTook(TestDaemon& daemon, const std::string& message, bool blocking)
{
    Request r;
    EXPECT_TRUE(daemon.Next(r)) << "nothing reached the daemon; expected " << message;
    EXPECT_EQ(r.member, message);
    EXPECT_EQ(r.Message(), message);
    EXPECT_EQ(r.blocking, blocking) << message;
    return r;
}

void ExpectUsageErrors(const std::string& side, const std::vector<UsageCase>& cases)
{
    for (const UsageCase& c : cases) {
        std::vector<std::string> args = {side};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Outcome run = Tavctl(args, c.input);
        EXPECT_EQ(run.status, 2) << c.args[0] << " " << run.err;
        EXPECT_EQ(run.out, "") << c.args[0];
        EXPECT_EQ(run.err.compare(0, 8 + c.message.size(), "tavctl: " + c.message), 0)
            << "got: " << run.err << "expected: " << c.message;
    }
}

int CheckHelpForEveryCommand(const std::string& side)
{
    const Outcome list = Tavctl({side, "--help"});
    EXPECT_EQ(list.status, 0);
    int commands = 0;
    for (const std::string& l : list.Lines()) {
        // "  name   summary"; options start with a dash.
        if (l.compare(0, 2, "  ") != 0 || l.size() < 3 || l[2] < 'a' || l[2] > 'z')
            continue;
        const std::string name = l.substr(2, l.find(' ', 2) - 2);
        const Outcome help = Tavctl({side, name, "--help"});
        EXPECT_EQ(help.status, 0) << name;
        if (help.Lines().empty()) {
            ADD_FAILURE() << name << " --help printed nothing";
            continue;
        }
        const std::string usage = "usage: tavctl " + side + " " + name;
        const std::string first = help.Lines()[0];
        EXPECT_TRUE(first == usage || first.compare(0, usage.size() + 1, usage + " ") == 0)
            << first;
        ++commands;
    }
    return commands;
}

} // namespace ctltest
