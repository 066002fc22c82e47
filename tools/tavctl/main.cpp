// tavctl: every request of the teacher and the student application as a
// subcommand, over the system bus (or the bus DBUS_SYSTEM_BUS_ADDRESS or
// --bus names), through the IPC library exactly as a host program uses it.
//
// Exit status: 0 the request got an answer (or was sent, for a signal
// request without --wait); 1 it did not (no bus, no daemon, send failed,
// answers missing); 2 bad input, nothing sent; with --result-status 3 to 125
// for a daemon's result code other than 0 (ExitStatus.h). Ctrl-C (SIGINT,
// SIGTERM, SIGHUP) ends it by that signal once what arrived is printed.
#include "CommandLine.h"
#include "Commands.h"
#include "ExitStatus.h"
#include "Output.h"
#include "Session.h"
#include "TAVLog.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace tavctl;

namespace {

void printHelp(const std::string& help) { Output::Line(help.substr(0, help.size() - 1)); }

// The status an error ends tavctl with: by a terminal signal taken or
// pending, as the shell shows it, else status.
int errorStatus(int status)
{
    const int sig = Interruption();
    return sig != 0 ? 128 + sig : status;
}

} // namespace

int main(int argc, char** argv)
{
    // Before the library starts any thread: terminal signals are taken by
    // the main thread alone (see Session.h).
    BlockTerminalSignals();

    const std::vector<std::string> words(argv + 1, argv + argc);
    CommandLine line;
    std::string usageError;
    bool json = false;
    try {
        ParseCommandLine(words, line);
        json = line.args.Has("json");
    } catch (const UsageError& e) {
        usageError = e.what();
        // The line was not understood, but a script that asked for JSON
        // gets its error as JSON.
        for (const std::string& w : words)
            json = json || w == "--json";
    }
    const ParsedArgs& args = line.args;
    if (usageError.empty() && !line.help && args.Has("version")) {
        std::printf("tavctl (TAV) %s\n", TAV_VERSION);
        return 0;
    }
    if (usageError.empty() && args.Has("bus")) {
        if (args.Get("bus").empty())
            usageError = "--bus needs an address";
        else
            ::setenv("DBUS_SYSTEM_BUS_ADDRESS", args.Get("bus").c_str(), 1);
    }
    // Only now may the library log: its echo on standard output is moved
    // away first. --help is plain text even with --json.
    Output::Setup(args.Has("verbose"), json && !line.help);
    LibTAVData::CTAVLog::SetLogFileName("tavctl");
    if (!usageError.empty()) {
        Output::Error(usageError + " (" + HelpHint(line) + ")", 2);
        return 2;
    }
    if (line.help) {
        if (line.command)
            printHelp(CommandHelp(line.side, *line.command));
        else if (!line.side.empty())
            printHelp(SideHelp(line.side,
                               line.side == "teacher" ? TeacherCommands() : StudentCommands()));
        else
            printHelp(TopHelp());
        return 0;
    }

    int status = 0;
    std::unique_ptr<Session> session;
    try {
        session.reset(new Session(line.side == "teacher" ? Side::Teacher : Side::Student));
        status = line.command->run(*session, args);
    } catch (const UsageError& e) {
        status = 2;
        Output::Error(std::string(e.what()) + " (" + HelpHint(line) + ")", errorStatus(status));
    } catch (const Failure& e) {
        status = 1;
        Output::Error(e.what(), errorStatus(status));
    }
    if (status == 0 && args.Has("result-status"))
        status = tavtools::ResultExitStatus(session->Verdict());
    session.reset();
    // Ctrl-C ends tavctl as it ends any program, also when it came while
    // waiting or while a request failed (a daemon stopped by the same
    // Ctrl-C): a calling script sees it and stops too.
    DieIfInterrupted();
    return status;
}
