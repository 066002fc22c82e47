// Shared by the tavctl tests: tavctl run as a separate process (arguments,
// standard input, captured output and exit status), and a small daemon in a
// forked child built on our daemon API, which reports every request it
// takes and answers from a fixed script.
#ifndef TAVCTL_TESTS_CTLTESTSUPPORT_H
#define TAVCTL_TESTS_CTLTESTSUPPORT_H

#include "IntfData.h"

#include <sys/types.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace ctltest {

// One finished tavctl run.
struct Outcome {
    int status = -1; // exit status, 128 + signal when killed, -1 when not ended in time
    std::string out, err;
    // The output lines, in order.
    std::vector<std::string> Lines() const;
    bool Has(const std::string& line) const;
};

// Runs tavctl with args, standard input fed from input (closed after it).
Outcome Tavctl(const std::vector<std::string>& args, const std::string& input = "",
               int timeoutMs = 20000);

// tavctl started in the background; its output is read line by line.
class Background {
public:
    explicit Background(const std::vector<std::string>& args);
    ~Background();
    // The next output line within timeoutMs (false when none).
    bool ReadLine(std::string& line, int timeoutMs = 10000);
    // Waits for the exit (SIGKILL after timeoutMs); the rest of the output
    // is read into out.
    Outcome Finish(int timeoutMs = 20000);
    void Signal(int sig);
    // For a failed expectation: how tavctl ended and what it wrote to
    // standard error.
    std::string Why();

private:
    pid_t m_pid = -1;
    int m_out = -1, m_err = -1;
    std::string m_buffer;
    std::vector<std::string> m_lines;
};

// What the test daemon took off the bus.
struct Request {
    std::string member; // the bus member name
    bool blocking = false;
    std::string payload;        // the envelope text
    IPCAPI::CIntfData envelope; // the payload loaded

    std::string Message() const;
    std::string StudentID() const;
    int OperationID() const;
    // The printed parameter document.
    std::string Params() const;
    std::string String(const std::string& name) const;
    int Int(const std::string& name) const;
    std::vector<std::string> List() const;
};

// The daemon of one side in a forked child process. respond is called in
// the child for every request taken: for a blocking request it fills the
// reply envelope; for every request it may add notifications to send. A
// command written with Command() makes the child call onCommand.
class TestDaemon {
public:
    using Responder = std::function<void(const Request& req, IPCAPI::CIntfData& reply,
                                         std::vector<IPCAPI::CIntfData>& notifications)>;
    using CommandHandler = std::function<void(const std::string& command,
                                              std::vector<IPCAPI::CIntfData>& notifications)>;

    TestDaemon(bool teacher, Responder respond, CommandHandler onCommand);
    ~TestDaemon();
    bool Ok() const { return m_pid > 0; }

    // The next request the daemon took, or false after timeoutMs.
    bool Next(Request& request, int timeoutMs = 5000);
    void Command(const std::string& command);

private:
    pid_t m_pid = -1;
    int m_records = -1;  // read end: one record per request
    int m_commands = -1; // write end
    std::string m_buffer;
};

// A notification envelope (operation id 0, result 0).
IPCAPI::CIntfData Notification(const std::string& message, const std::string& studentID = "null");

// A printed parameter document, for exact comparison:
// Doc({S("a","x"), I("b",1)}).
std::string S(const std::string& name, const std::string& value);
std::string I(const std::string& name, int value);
std::string Doc(const std::vector<std::string>& params);

// The texts as output lines, each ended by a newline.
std::string lines(std::initializer_list<const char*> texts);

// Checks the next request the daemon took: member and message name, and
// whether it was a blocking call.
Request ExpectTook(TestDaemon& daemon, const std::string& message, bool blocking);

// Bad input on one side: each case must end with exit status 2, nothing on
// standard output and "tavctl: " + message at the start of standard error.
struct UsageCase {
    std::vector<std::string> args;
    std::string input, message;
};
void ExpectUsageErrors(const std::string& side, const std::vector<UsageCase>& cases);

// Every command tavctl SIDE --help lists has its own --help, whose first
// line is its usage; returns how many commands were listed.
int CheckHelpForEveryCommand(const std::string& side);

} // namespace ctltest

#endif
