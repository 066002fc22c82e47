#include "XmlGuard.h"

#include <cstring>

namespace TavInternal {

namespace {

// Position just past the first occurrence of token at or after pos, or
// length when there is none.
std::size_t skipPast(const char* text, std::size_t length, std::size_t pos, const char* token)
{
    const std::size_t n = std::strlen(token);
    for (; pos + n <= length; ++pos)
        if (std::memcmp(text + pos, token, n) == 0)
            return pos + n;
    return length;
}

bool startsWith(const char* text, std::size_t length, std::size_t pos, const char* token)
{
    const std::size_t n = std::strlen(token);
    return pos + n <= length && std::memcmp(text + pos, token, n) == 0;
}

} // namespace

int XmlNestingDepth(const char* text, std::size_t length, int limit)
{
    int depth = 0, deepest = 0;
    std::size_t pos = 0;
    while (pos < length) {
        if (text[pos] != '<') {
            ++pos;
            continue;
        }
        if (startsWith(text, length, pos, "<!--")) {
            pos = skipPast(text, length, pos + 4, "-->");
        } else if (startsWith(text, length, pos, "<![CDATA[")) {
            pos = skipPast(text, length, pos + 9, "]]>");
        } else if (startsWith(text, length, pos, "<?")) {
            pos = skipPast(text, length, pos + 2, "?>");
        } else if (startsWith(text, length, pos, "<!")) {
            pos = skipPast(text, length, pos + 2, ">");
        } else if (startsWith(text, length, pos, "</")) {
            pos = skipPast(text, length, pos + 2, ">");
            if (depth > 0)
                --depth;
        } else {
            // A start tag: find its closing '>' outside quoted values.
            char quote = 0;
            char last = 0;
            ++pos;
            for (; pos < length; ++pos) {
                const char c = text[pos];
                if (quote) {
                    if (c == quote)
                        quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    break;
                } else if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
                    last = c;
                }
            }
            // An unterminated tag still counts: the parser may open it.
            if (pos >= length || last != '/') {
                if (++depth > deepest) {
                    deepest = depth;
                    if (deepest > limit)
                        return deepest;
                }
            }
            ++pos;
        }
    }
    return deepest;
}

bool XmlTextIsSafe(const char* text, std::size_t length)
{
    return XmlNestingDepth(text, length) <= kMaxXmlNesting;
}

} // namespace TavInternal
