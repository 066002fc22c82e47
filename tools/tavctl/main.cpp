// tavctl: every request of the teacher and the student application as a
// subcommand, over the system bus (or the bus DBUS_SYSTEM_BUS_ADDRESS or
// --bus names), through the IPC library exactly as a host program uses it.
//
// Exit status: 0 the request got an answer (or was sent, for a signal
// request without --wait); 1 it did not (no bus, no daemon, send failed,
// answers missing); 2 bad input, nothing sent. Ctrl-C (SIGINT, SIGTERM,
// SIGHUP) ends it by that signal once what arrived is printed.
#include "CommandLine.h"
#include "Commands.h"
#include "Output.h"
#include "Session.h"
#include "TAVLog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace tavctl;

namespace {

const char* const kUsage =
    "usage: tavctl [--bus ADDRESS] [--verbose] teacher|student COMMAND [OPTIONS]\n"
    "\n"
    "Sends one request of the teacher or the student application to the daemon of\n"
    "its side and prints the result code and what the answer carries; \"listen\"\n"
    "prints the daemon's notifications as they arrive.\n"
    "\n"
    "  --bus ADDRESS   use this bus instead of the system bus\n"
    "                  (the same as DBUS_SYSTEM_BUS_ADDRESS=ADDRESS)\n"
    "  --verbose       show the library's log lines on standard error\n"
    "  --help          this text; tavctl teacher --help and tavctl student --help\n"
    "                  list the commands, tavctl SIDE COMMAND --help explains one\n"
    "  --version       print the version\n"
    "\n"
    "Exit status: 0 answered (signal requests: sent, and with --wait all answers\n"
    "arrived), 1 no answer (no bus, no daemon, nothing came back), 2 bad input\n"
    "(nothing was sent). Ctrl-C ends it as it ends any program (status 130 in\n"
    "the shell), after printing what arrived.\n";

int usageError(const std::string& message, const std::string& hint)
{
    Output::Error(message + " (" + hint + ")");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    // Before the library starts any thread: terminal signals are taken by
    // the main thread alone (see Session.h).
    BlockTerminalSignals();

    std::vector<std::string> words(argv + 1, argv + argc);
    bool verbose = false, help = false;
    std::string globalError;
    std::size_t i = 0;
    for (; i < words.size() && words[i].compare(0, 1, "-") == 0 && globalError.empty() && !help; ++i) {
        const std::string& w = words[i];
        if (w == "--verbose" || w == "-v") {
            verbose = true;
        } else if (w == "--bus" || w.compare(0, 6, "--bus=") == 0) {
            std::string address = w == "--bus" ? "" : w.substr(6);
            if (w == "--bus" && i + 1 < words.size())
                address = words[++i];
            if (address.empty() || address.compare(0, 2, "--") == 0)
                globalError = "--bus needs an address";
            else
                ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
        } else if (w == "--help" || w == "-h") {
            help = true;
        } else if (w == "--version") {
            std::printf("tavctl (TAV) %s\n", TAV_VERSION);
            return 0;
        } else {
            globalError = "unknown option " + w;
        }
    }
    // Only now may the library log: its echo on standard output is moved
    // away first.
    Output::Setup(verbose);
    LibTAVData::CTAVLog::SetLogFileName("tavctl");
    if (!globalError.empty())
        return usageError(globalError, "tavctl --help");
    if (help) {
        Output::Line(std::string(kUsage).substr(0, std::strlen(kUsage) - 1));
        return 0;
    }

    if (i >= words.size())
        return usageError("name a side: teacher or student", "tavctl --help");
    const std::string side = words[i++];
    if (side != "teacher" && side != "student")
        return usageError("unknown side '" + side + "': teacher or student", "tavctl --help");
    const std::vector<CommandSpec>& commands = side == "teacher" ? TeacherCommands() : StudentCommands();
    if (i >= words.size())
        return usageError("name a command", "tavctl " + side + " --help");
    const std::string name = words[i++];
    if (name == "--help" || name == "-h" || name == "help") {
        const std::string help = SideHelp(side, commands);
        Output::Line(help.substr(0, help.size() - 1));
        return 0;
    }
    const CommandSpec* command = nullptr;
    for (const CommandSpec& c : commands)
        if (c.name == name)
            command = &c;
    if (!command)
        return usageError("unknown " + side + " command '" + name + "'", "tavctl " + side + " --help");

    const std::string hint = "tavctl " + side + " " + name + " --help";
    int status = 0;
    try {
        const ParsedArgs args = ParsedArgs::Parse(*command, std::vector<std::string>(words.begin() + i, words.end()));
        if (args.Help()) {
            const std::string help = CommandHelp(side, *command);
            Output::Line(help.substr(0, help.size() - 1));
            return 0;
        }
        Session session(side == "teacher" ? Side::Teacher : Side::Student);
        status = command->run(session, args);
    } catch (const UsageError& e) {
        status = usageError(e.what(), hint);
    } catch (const Failure& e) {
        Output::Error(e.what());
        status = 1;
    }
    // Ctrl-C ends tavctl as it ends any program, also when it came while
    // waiting or while a request failed (a daemon stopped by the same
    // Ctrl-C): a calling script sees it and stops too.
    DieIfInterrupted();
    return status;
}
