#include "Options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace tavtools {

namespace {

std::string lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
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
        throw UsageError("--" + name + " needs a whole number from " + std::to_string(min) +
                         " to " + std::to_string(max) + ", not '" + Get(name) + "'");
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
        throw UsageError("--" + name + " needs a number of seconds from 0 to " + limit.str() +
                         ", not '" + Get(name) + "'");
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

void OptionParser::Add(const std::vector<OptionDef>& table, const std::string& owner)
{
    for (const OptionDef& o : table) {
        if (Find(o.name) || (o.shortName && FindShort(o.shortName)))
            throw std::logic_error("option --" + o.name + " is described twice");
        m_entries.push_back({o, owner});
    }
    if (!owner.empty())
        m_lastOwner = owner;
}

const OptionParser::Entry* OptionParser::Find(const std::string& name) const
{
    for (const Entry& e : m_entries)
        if (e.option.name == name)
            return &e;
    return nullptr;
}

const OptionParser::Entry* OptionParser::FindShort(char c) const
{
    for (const Entry& e : m_entries)
        if (e.option.shortName == c)
            return &e;
    return nullptr;
}

std::vector<OptionDef> OptionParser::AllOptions() const
{
    std::vector<OptionDef> all;
    for (const Entry& e : m_entries)
        all.push_back(e.option);
    return all;
}

ParsedArgs OptionParser::Parse(const std::vector<std::string>& words, const Positional& positional)
{
    ParsedArgs parsed;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            parsed.m_positionals.push_back(word);
            if (positional)
                positional(word, *this);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        const Entry* entry = nullptr;
        std::string name, value;
        bool inlineValue = false;
        if (word[1] != '-') {
            entry = word.size() == 2 ? FindShort(word[1]) : nullptr;
            name = entry ? entry->option.name : word;
        } else {
            name = word.substr(2);
            const std::size_t eq = name.find('=');
            if (eq != std::string::npos) {
                value = name.substr(eq + 1);
                name.erase(eq);
                inlineValue = true;
            }
            entry = Find(name);
            if (!entry)
                name = "--" + name;
        }
        if (!entry)
            throw UsageError("unknown option " + name +
                             (m_lastOwner.empty() ? "" : " for " + m_lastOwner));
        const OptionDef& opt = entry->option;
        if (opt.name == "help") {
            parsed.m_help = true;
            return parsed;
        }
        if (parsed.Has(name) && !opt.repeatable)
            throw UsageError("--" + name + " given twice");
        if (opt.valueName.empty()) {
            if (inlineValue)
                throw UsageError("--" + name + " takes no value");
        } else if (!inlineValue) {
            // A following option is not taken as a value: --name=--text
            // passes such a text on purpose.
            if (i + 1 >= words.size() || words[i + 1].compare(0, 2, "--") == 0)
                throw UsageError("--" + name + " needs a value (" + opt.valueName + ")");
            value = words[++i];
        }
        auto& values = parsed.m_values[name];
        if (!opt.valueName.empty())
            values.push_back(value);
        parsed.m_sequence.emplace_back(name, value);
    }
    for (const Entry& e : m_entries)
        if (e.option.required && !parsed.Has(e.option.name))
            throw UsageError((e.owner.empty() ? "it" : e.owner) + " needs --" + e.option.name +
                             " " + e.option.valueName);
    return parsed;
}

std::string Wrap(const std::vector<std::string>& words, std::size_t width, std::size_t indent,
                 std::size_t used)
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

std::string OptionsHelp(const std::vector<OptionDef>& options)
{
    constexpr std::size_t kHelpColumn = 30;
    std::string text;
    for (const OptionDef& o : options) {
        std::string head = "  ";
        if (o.shortName)
            head += std::string("-") + o.shortName + ", ";
        head += "--" + o.name + (o.valueName.empty() ? "" : " " + o.valueName);
        if (head.size() < kHelpColumn)
            head.append(kHelpColumn - head.size(), ' ');
        else
            head += "\n" + std::string(kHelpColumn, ' ');
        std::string help = o.help;
        if (o.repeatable)
            help += " (may be repeated)";
        text += head + Wrap(split(help), 79, kHelpColumn, kHelpColumn) + "\n";
    }
    return text;
}

} // namespace tavtools
