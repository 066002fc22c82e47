#include "Json.h"

#include <locale>
#include <sstream>

namespace tavtools {

namespace {

// The length of the well-formed UTF-8 sequence at text[i] (no overlong
// forms, no surrogates, nothing above U+10FFFF); 0 when there is none.
std::size_t utf8Length(const std::string& text, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(i);
    if (c < 0x80)
        return 1;
    std::size_t n = 0;
    unsigned char low = 0x80, high = 0xbf; // bounds of the second byte
    if (c >= 0xc2 && c <= 0xdf) {
        n = 2;
    } else if (c >= 0xe0 && c <= 0xef) {
        n = 3;
        if (c == 0xe0)
            low = 0xa0;
        else if (c == 0xed)
            high = 0x9f;
    } else if (c >= 0xf0 && c <= 0xf4) {
        n = 4;
        if (c == 0xf0)
            low = 0x90;
        else if (c == 0xf4)
            high = 0x8f;
    } else {
        return 0;
    }
    if (i + n > text.size() || byte(i + 1) < low || byte(i + 1) > high)
        return 0;
    for (std::size_t k = 2; k < n; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xbf)
            return 0;
    return n;
}

} // namespace

std::string JsonString(const std::string& text)
{
    static const char hex[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t n = utf8Length(text, i);
        if (n == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (n > 1) {
            out.append(text, i, n);
            i += n;
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            if (c < 0x20 || c == 0x7f) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    return out + "\"";
}

JsonObject& JsonObject::Raw(const std::string& key, const std::string& json)
{
    if (!m_members.empty())
        m_members += ',';
    m_members += JsonString(key) + ':' + json;
    return *this;
}

JsonObject& JsonObject::Str(const std::string& key, const std::string& value)
{
    return Raw(key, JsonString(value));
}

JsonObject& JsonObject::Int(const std::string& key, long long value)
{
    return Raw(key, std::to_string(value));
}

JsonObject& JsonObject::Num(const std::string& key, double value)
{
    std::ostringstream os;
    os.imbue(std::locale::classic());
    os << value;
    return Raw(key, os.str());
}

JsonObject& JsonObject::Bool(const std::string& key, bool value)
{
    return Raw(key, value ? "true" : "false");
}

JsonObject& JsonObject::Null(const std::string& key) { return Raw(key, "null"); }

JsonObject& JsonObject::Obj(const std::string& key, const JsonObject& value)
{
    return Raw(key, value.Text());
}

JsonObject& JsonObject::Strs(const std::string& key, const std::vector<std::string>& values)
{
    std::string list;
    for (const std::string& v : values)
        list += (list.empty() ? "" : ",") + JsonString(v);
    return Raw(key, "[" + list + "]");
}

JsonObject& JsonObject::Objs(const std::string& key, const std::vector<JsonObject>& values)
{
    std::string list;
    for (const JsonObject& v : values)
        list += (list.empty() ? "" : ",") + v.Text();
    return Raw(key, "[" + list + "]");
}

JsonObject& JsonObject::Merge(const JsonObject& other)
{
    if (!m_members.empty() && !other.m_members.empty())
        m_members += ',';
    m_members += other.m_members;
    return *this;
}

std::string JsonObject::Text() const { return "{" + m_members + "}"; }

} // namespace tavtools
