// Subcommands with named options: the table every subcommand is described
// by, the parser that checks a command line against it, and the help text
// printed from it. Nothing here touches the bus.
#ifndef TAVCTL_COMMANDLINE_H
#define TAVCTL_COMMANDLINE_H

#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tavctl {

// Bad input on the command line (or in a file it names): the message is
// printed, nothing is sent and the exit status is 2.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const std::string& what) : std::runtime_error(what) {}
};

struct OptionSpec {
    std::string name;       // without the leading "--"
    std::string valueName;  // empty for a flag
    std::string help;
    bool repeatable = false;
    bool required = false;
};

class ParsedArgs;
class Session;

struct CommandSpec {
    std::string name;     // e.g. "get-student-list"
    std::string message;  // the message name(s) it sends, for the help
    std::string summary;  // one line
    std::string details;  // more lines for --help (may be empty)
    std::vector<OptionSpec> options;
    int (*run)(Session& session, const ParsedArgs& args) = nullptr;
};

// The options of one command line, checked against a CommandSpec.
class ParsedArgs {
public:
    bool Has(const std::string& name) const;
    // The value of a single-valued option ("" when absent).
    std::string Get(const std::string& name, const std::string& fallback = "") const;
    // Every value of a repeatable option, in command-line order.
    std::vector<std::string> All(const std::string& name) const;
    // A decimal integer in [min, max]; UsageError otherwise.
    int Int(const std::string& name, int fallback, int min, int max) const;
    // Seconds, decimals allowed, in [0, max].
    double Seconds(const std::string& name, double fallback, double max) const;
    // "on"/"off" (also yes/no, true/false, 1/0) as 1 or 0.
    int Switch(const std::string& name, int fallback) const;

    // The option names, in the order first given.
    const std::vector<std::string>& Order() const { return m_order; }
    // Every option with its value (empty for a flag), in command-line order.
    const std::vector<std::pair<std::string, std::string>>& Sequence() const { return m_sequence; }

    // Parses args (the words after the subcommand) against command. "--help"
    // sets Help() and stops checking.
    static ParsedArgs Parse(const CommandSpec& command, const std::vector<std::string>& args);
    bool Help() const { return m_help; }

private:
    std::map<std::string, std::vector<std::string>> m_values;
    std::vector<std::string> m_order;
    std::vector<std::pair<std::string, std::string>> m_sequence;
    bool m_help = false;
};

// Strict number parsing shared with the option getters.
bool ParseInt(const std::string& text, long min, long max, long& value);
bool ParseSeconds(const std::string& text, double max, double& value);

// Help texts.
std::string CommandHelp(const std::string& side, const CommandSpec& command);
std::string SideHelp(const std::string& side, const std::vector<CommandSpec>& commands);

} // namespace tavctl

#endif
