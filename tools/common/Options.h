// The command-line parser of the tools: options described by tables, taken
// anywhere on the line (before, between or after the positional words), as
// "--name value", "--name=value" or "-x"; "--" ends the options. A word that
// is not an option is handed to the caller, which may then make more options
// valid (a subcommand's) for the rest of the line.
#ifndef TAV_TOOLS_OPTIONS_H
#define TAV_TOOLS_OPTIONS_H

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tavtools {

// Bad input on the command line (or in a file it names): the tool prints the
// message and exits with status 2.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const std::string& what) : std::runtime_error(what) {}
};

struct OptionDef {
    std::string name;      // without the leading "--"
    std::string valueName; // empty for a flag
    std::string help;
    bool repeatable = false;
    bool required = false;
    char shortName = 0; // "-x" as well, for a flag
};

// The options of one command line.
class ParsedArgs {
public:
    bool Has(const std::string& name) const;
    // The value of a single-valued option (fallback when absent).
    std::string Get(const std::string& name, const std::string& fallback = "") const;
    // Every value of a repeatable option, in command-line order.
    std::vector<std::string> All(const std::string& name) const;
    // A decimal integer in [min, max]; UsageError otherwise.
    int Int(const std::string& name, int fallback, int min, int max) const;
    // Seconds, decimals allowed, in [0, max].
    double Seconds(const std::string& name, double fallback, double max) const;
    // "on"/"off" (also yes/no, true/false, 1/0) as 1 or 0.
    int Switch(const std::string& name, int fallback) const;

    // Every option with its value (empty for a flag), in command-line order.
    const std::vector<std::pair<std::string, std::string>>& Sequence() const { return m_sequence; }
    // The words that are not options, in order.
    const std::vector<std::string>& Positionals() const { return m_positionals; }
    // "--help" (or "-h") was given: the rest of the line was not looked at.
    bool Help() const { return m_help; }

private:
    friend class OptionParser;
    std::map<std::string, std::vector<std::string>> m_values;
    std::vector<std::pair<std::string, std::string>> m_sequence;
    std::vector<std::string> m_positionals;
    bool m_help = false;
};

class OptionParser {
public:
    // Makes the options of table valid; owner names them in messages
    // ("unknown option --x for OWNER", "OWNER needs --name VALUE").
    void Add(const std::vector<OptionDef>& table, const std::string& owner = "");

    // Called with each positional word (after it is added to Positionals());
    // may Add() tables or throw UsageError.
    using Positional = std::function<void(const std::string& word, OptionParser& parser)>;

    // Parses words. An option named "help" stops the parse at once (no
    // required option is asked for then).
    ParsedArgs Parse(const std::vector<std::string>& words, const Positional& positional = nullptr);

    // Every option of the tables, in the order added.
    std::vector<OptionDef> AllOptions() const;

private:
    struct Entry {
        OptionDef option;
        std::string owner;
    };
    const Entry* Find(const std::string& name) const;
    const Entry* FindShort(char c) const;
    std::vector<Entry> m_entries;
    std::string m_lastOwner;
};

// Strict number parsing, shared with the option getters.
bool ParseInt(const std::string& text, long min, long max, long& value);
bool ParseSeconds(const std::string& text, double max, double& value);

// Help text of options, one a line: "  -x, --name VALUE   help", the help
// from column 30 and wrapped at 79.
std::string OptionsHelp(const std::vector<OptionDef>& options);
// words laid out in lines of at most width columns, starting at column used;
// continuation lines are indented by indent blanks.
std::string Wrap(const std::vector<std::string>& words, std::size_t width, std::size_t indent,
                 std::size_t used);

} // namespace tavtools

#endif
