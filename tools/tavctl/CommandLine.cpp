#include "CommandLine.h"

#include "Commands.h"

#include <sstream>

namespace tavctl {

namespace {

// --help explained for the help text it appears in.
std::vector<OptionDef> globalsWithHelp(const std::string& help, bool version)
{
    std::vector<OptionDef> options;
    for (const OptionDef& o : GlobalOptions()) {
        if (o.name == "version" && !version)
            continue;
        options.push_back(o);
        if (o.name == "help")
            options.back().help = help;
    }
    return options;
}

const char* const kEveryCommand = "\nOptions of every command (anywhere on the line):\n";

} // namespace

const std::vector<OptionDef>& GlobalOptions()
{
    static const std::vector<OptionDef> options = {
        {"bus", "ADDRESS",
         "use this bus instead of the system bus (the same as DBUS_SYSTEM_BUS_ADDRESS=ADDRESS)"},
        {"verbose", "", "show the library's log lines on standard error", false, false, 'v'},
        {"json", "", "print one JSON object a line (JSON Lines) instead of text lines"},
        {"result-status", "",
         "exit with 2 + the daemon's result code when it is not 0 (125 when the code is not 1 to "
         "122)"},
        {"help", "", "this text", false, false, 'h'},
        {"version", "", "print the version"},
    };
    return options;
}

void ParseCommandLine(const std::vector<std::string>& words, CommandLine& line)
{
    tavtools::OptionParser parser;
    parser.Add(GlobalOptions());
    // Positional words: the side, then the command, whose options are valid
    // from there on.
    auto positional = [&line](const std::string& word, tavtools::OptionParser& p) {
        if (line.side.empty()) {
            if (word != "teacher" && word != "student")
                throw UsageError("unknown side '" + word + "': teacher or student");
            line.side = word;
            return;
        }
        if (line.command || line.help)
            throw UsageError("unexpected argument '" + word +
                             "' (options are written --name value)");
        if (word == "help") {
            line.help = true;
            return;
        }
        for (const CommandDef& c : line.side == "teacher" ? TeacherCommands() : StudentCommands())
            if (c.name == word)
                line.command = &c;
        if (!line.command)
            throw UsageError("unknown " + line.side + " command '" + word + "'");
        p.Add(line.command->options, line.command->name);
    };
    line.args = parser.Parse(words, positional);
    line.help = line.help || line.args.Help();
    if (line.help || line.args.Has("version"))
        return;
    if (line.side.empty())
        throw UsageError("name a side: teacher or student");
    if (!line.command)
        throw UsageError("name a command");
}

std::string HelpHint(const CommandLine& line)
{
    if (line.side.empty())
        return "tavctl --help";
    if (!line.command)
        return "tavctl " + line.side + " --help";
    return "tavctl " + line.side + " " + line.command->name + " --help";
}

std::string TopHelp()
{
    return "usage: tavctl [OPTIONS] teacher|student COMMAND [COMMAND OPTIONS]\n"
           "\n"
           "Sends one request of the teacher or the student application to the daemon of\n"
           "its side and prints the result code and what the answer carries; \"listen\"\n"
           "prints the daemon's notifications as they arrive.\n"
           "\n"
           "Options (anywhere on the line):\n" +
           tavtools::OptionsHelp(
               globalsWithHelp("this text; tavctl teacher --help and tavctl student --help list "
                               "the commands, tavctl SIDE COMMAND --help explains one",
                               true)) +
           "\n"
           "Exit status: 0 answered (signal requests: sent, and with --wait all answers\n"
           "arrived), 1 no answer (no bus, no daemon, nothing came back), 2 bad input\n"
           "(nothing was sent); with --result-status, 3 to 125 when the daemon answered\n"
           "with a result code other than 0. Ctrl-C ends it as it ends any program\n"
           "(status 130 in the shell), after printing what arrived.\n";
}

std::string CommandHelp(const std::string& side, const CommandDef& command)
{
    std::ostringstream os;
    const std::string head = "usage: tavctl " + side + " " + command.name;
    std::vector<std::string> words;
    for (const OptionDef& o : command.options) {
        // "--name VALUE" stays on one line: its inner blank is protected
        // from the wrapping.
        std::string w = "--" + o.name + (o.valueName.empty() ? "" : "\x01" + o.valueName);
        if (!o.required)
            w = "[" + w + "]";
        if (o.repeatable)
            w += "...";
        words.push_back(w);
    }
    std::string line = head;
    if (!words.empty())
        line += " " + tavtools::Wrap(words, 79, 8, head.size() + 1);
    for (char& c : line)
        if (c == '\x01')
            c = ' ';
    os << line << "\n\n" << command.summary << "\n";
    if (!command.message.empty())
        os << "Sends: " << command.message << "\n";
    if (!command.details.empty())
        os << "\n" << command.details << "\n";
    if (!command.options.empty())
        os << "\nOptions:\n" << tavtools::OptionsHelp(command.options);
    os << kEveryCommand << tavtools::OptionsHelp(globalsWithHelp("this text", false));
    return os.str();
}

std::string SideHelp(const std::string& side, const std::vector<CommandDef>& commands)
{
    std::ostringstream os;
    os << "usage: tavctl [OPTIONS] " << side << " COMMAND [COMMAND OPTIONS]\n\n"
       << "Commands of the " << side << " application (tavctl " << side
       << " COMMAND --help for each):\n";
    for (const CommandDef& c : commands) {
        std::string head = "  " + c.name;
        if (head.size() < 34)
            head.append(34 - head.size(), ' ');
        else
            head += "\n" + std::string(34, ' ');
        os << head << c.summary << "\n";
    }
    os << kEveryCommand << tavtools::OptionsHelp(globalsWithHelp("this text", false));
    return os.str();
}

} // namespace tavctl
