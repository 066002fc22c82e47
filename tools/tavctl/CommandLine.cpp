#include "CommandLine.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace tavctl {

namespace {

const OptionSpec* findOption(const CommandSpec& command, const std::string& name)
{
    for (const OptionSpec& o : command.options)
        if (o.name == name)
            return &o;
    return nullptr;
}

std::string lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

} // namespace

bool ParseInt(const std::string& text, long min, long max, long& value)
{
    if (text.empty() || text.find_first_of(" \t\n") != std::string::npos)
        return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || !end || *end != '\0' || v < min || v > max)
        return false;
    value = v;
    return true;
}

bool ParseSeconds(const std::string& text, double max, double& value)
{
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos)
        return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || !end || *end != '\0' || !std::isfinite(v) || v < 0 || v > max)
        return false;
    value = v;
    return true;
}

bool ParsedArgs::Has(const std::string& name) const { return m_values.count(name) != 0; }

std::string ParsedArgs::Get(const std::string& name, const std::string& fallback) const
{
    auto it = m_values.find(name);
    if (it == m_values.end() || it->second.empty())
        return fallback;
    return it->second.back();
}

std::vector<std::string> ParsedArgs::All(const std::string& name) const
{
    auto it = m_values.find(name);
    return it == m_values.end() ? std::vector<std::string>() : it->second;
}

int ParsedArgs::Int(const std::string& name, int fallback, int min, int max) const
{
    if (!Has(name))
        return fallback;
    long v = 0;
    if (!ParseInt(Get(name), min, max, v))
        throw UsageError("--" + name + " needs a whole number from " + std::to_string(min) + " to " +
                         std::to_string(max) + ", not '" + Get(name) + "'");
    return static_cast<int>(v);
}

double ParsedArgs::Seconds(const std::string& name, double fallback, double max) const
{
    if (!Has(name))
        return fallback;
    double v = 0;
    std::ostringstream limit;
    limit << max;
    if (!ParseSeconds(Get(name), max, v))
        throw UsageError("--" + name + " needs a number of seconds from 0 to " + limit.str() + ", not '" +
                         Get(name) + "'");
    return v;
}

int ParsedArgs::Switch(const std::string& name, int fallback) const
{
    if (!Has(name))
        return fallback;
    const std::string v = lower(Get(name));
    if (v == "on" || v == "yes" || v == "true" || v == "1")
        return 1;
    if (v == "off" || v == "no" || v == "false" || v == "0")
        return 0;
    throw UsageError("--" + name + " needs on or off, not '" + Get(name) + "'");
}

ParsedArgs ParsedArgs::Parse(const CommandSpec& command, const std::vector<std::string>& args)
{
    ParsedArgs parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--help" || word == "-h") {
            parsed.m_help = true;
            return parsed;
        }
        if (word.size() < 3 || word.compare(0, 2, "--") != 0)
            throw UsageError("unexpected argument '" + word + "' (options are written --name value)");
        std::string name = word.substr(2);
        std::string value;
        bool inlineValue = false;
        const std::size_t eq = name.find('=');
        if (eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.erase(eq);
            inlineValue = true;
        }
        const OptionSpec* opt = findOption(command, name);
        if (!opt)
            throw UsageError("unknown option --" + name + " for " + command.name);
        if (parsed.Has(name) && !opt->repeatable)
            throw UsageError("--" + name + " given twice");
        if (opt->valueName.empty()) {
            if (inlineValue)
                throw UsageError("--" + name + " takes no value");
        } else if (!inlineValue) {
            // A following option is not taken as a value: --name=--text
            // passes such a text on purpose.
            if (i + 1 >= args.size() || args[i + 1].compare(0, 2, "--") == 0)
                throw UsageError("--" + name + " needs a value (" + opt->valueName + ")");
            value = args[++i];
        }
        if (!parsed.Has(name))
            parsed.m_order.push_back(name);
        auto& values = parsed.m_values[name];
        if (!opt->valueName.empty())
            values.push_back(value);
        parsed.m_sequence.emplace_back(name, value);
    }
    for (const OptionSpec& o : command.options)
        if (o.required && !parsed.Has(o.name))
            throw UsageError(command.name + " needs --" + o.name + " " + o.valueName);
    return parsed;
}

namespace {

// Words laid out in lines of at most width columns; continuation lines are
// indented by indent blanks.
std::string wrap(const std::vector<std::string>& words, std::size_t width, std::size_t indent, std::size_t used)
{
    std::string text;
    std::size_t column = used;
    bool first = true;
    for (const std::string& w : words) {
        if (!first && column + 1 + w.size() > width) {
            text += "\n" + std::string(indent, ' ');
            column = indent;
        } else if (!first) {
            text += ' ';
            ++column;
        }
        text += w;
        column += w.size();
        first = false;
    }
    return text;
}

std::vector<std::string> split(const std::string& text)
{
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

} // namespace

std::string CommandHelp(const std::string& side, const CommandSpec& command)
{
    std::ostringstream os;
    const std::string head = "usage: tavctl " + side + " " + command.name;
    std::vector<std::string> words;
    for (const OptionSpec& o : command.options) {
        std::string w = "--" + o.name + (o.valueName.empty() ? "" : " " + o.valueName);
        if (!o.required)
            w = "[" + w + "]";
        if (o.repeatable)
            w += "...";
        words.push_back(w);
    }
    os << head;
    if (!words.empty()) {
        // Keep "--name VALUE" together: wrap joins words with blanks, so
        // protect the inner blank.
        for (std::string& w : words)
            for (char& c : w)
                if (c == ' ')
                    c = '\x01';
        std::string line = " " + wrap(words, 79, 8, head.size() + 1);
        for (char& c : line)
            if (c == '\x01')
                c = ' ';
        os << line;
    }
    os << "\n\n" << command.summary << "\n";
    if (!command.message.empty())
        os << "Sends: " << command.message << "\n";
    if (!command.details.empty())
        os << "\n" << command.details << "\n";
    if (!command.options.empty()) {
        os << "\nOptions:\n";
        for (const OptionSpec& o : command.options) {
            std::string name = "  --" + o.name + (o.valueName.empty() ? "" : " " + o.valueName);
            std::size_t used = name.size();
            if (used < 30) {
                name.append(30 - used, ' ');
                used = 30;
            } else {
                name += "\n" + std::string(30, ' ');
                used = 30;
            }
            std::string help = o.help;
            if (o.repeatable)
                help += " (may be repeated)";
            os << name << wrap(split(help), 79, 30, used) << "\n";
        }
    }
    os << "  --help                      this text\n";
    return os.str();
}

std::string SideHelp(const std::string& side, const std::vector<CommandSpec>& commands)
{
    std::ostringstream os;
    os << "usage: tavctl [--bus ADDRESS] [--verbose] " << side << " COMMAND [OPTIONS]\n\n"
       << "Commands of the " << side << " application (tavctl " << side << " COMMAND --help for each):\n";
    for (const CommandSpec& c : commands) {
        std::string head = "  " + c.name;
        if (head.size() < 34)
            head.append(34 - head.size(), ' ');
        else
            head += "\n" + std::string(34, ' ');
        os << head << c.summary << "\n";
    }
    return os.str();
}

} // namespace tavctl
