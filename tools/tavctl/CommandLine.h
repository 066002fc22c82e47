// Subcommands with named options: the table every subcommand is described
// by, the options every command takes, the command line parsed against them
// (by the tools' shared parser) and the help texts printed from them.
// Nothing here touches the bus.
#ifndef TAVCTL_COMMANDLINE_H
#define TAVCTL_COMMANDLINE_H

#include "Options.h"

#include <string>
#include <vector>

namespace tavctl {

using tavtools::OptionDef;
using tavtools::ParsedArgs;
using tavtools::ParseInt;
using tavtools::UsageError;

class Session;

struct CommandDef {
    std::string name;    // e.g. "get-student-list"
    std::string message; // the message name(s) it sends, for the help
    std::string summary; // one line
    std::string details; // more lines for --help (may be empty)
    std::vector<OptionDef> options;
    int (*run)(Session& session, const ParsedArgs& args) = nullptr;
};

// The options taken anywhere on the line: --bus, --verbose, --json,
// --result-status, --help, --version.
const std::vector<OptionDef>& GlobalOptions();

// A whole command line: the side and the command named (empty and null
// when not given), and every option.
struct CommandLine {
    std::string side;
    const CommandDef* command = nullptr;
    ParsedArgs args;
    bool help = false; // --help, or the command word "help"
};
// Parses the words after the program name into line, which holds what was
// understood when UsageError is thrown (an unknown side, command or option,
// a missing value, a word too many); with --help only the words before it
// are checked.
void ParseCommandLine(const std::vector<std::string>& words, CommandLine& line);
// The "--help" to point at for a mistake on this line.
std::string HelpHint(const CommandLine& line);

// Help texts.
std::string TopHelp();
std::string CommandHelp(const std::string& side, const CommandDef& command);
std::string SideHelp(const std::string& side, const std::vector<CommandDef>& commands);

} // namespace tavctl

#endif
