#include "XmlGuard.h"

#include <cstdint>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tav_common {

namespace {

using uchar = unsigned char;
constexpr std::size_t npos = static_cast<std::size_t>(-1);

// The C locale's white space, which is what TinyXML skips.
bool isSpace(uchar c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(uchar c) { return c >= '0' && c <= '9'; }
bool isHex(uchar c) { return isDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }
bool isAsciiAlpha(uchar c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
// TinyXML takes every byte from 127 up for a letter.
bool isNameStart(uchar c) { return c >= 127 || isAsciiAlpha(c) || c == '_'; }
bool isNameChar(uchar c)
{
    return isNameStart(c) || isDigit(c) || c == '-' || c == '.' || c == ':';
}

// Bytes TinyXML's UTF-8 reader takes in one step from lead byte c.
int sequenceLength(uchar c)
{
    if (c < 0xC2)
        return 1;
    if (c < 0xE0)
        return 2;
    if (c < 0xF0)
        return 3;
    if (c < 0xF5)
        return 4;
    return 1;
}

// False when a multi-byte sequence runs past the end of the text or over a
// byte that ends a text run, an attribute value or starts an entity. A
// carriage return counts too: TinyXML's file reader turns "\r\n" into "\n"
// before parsing, which would pull the next byte into the sequence.
bool sequencesAreSound(const uchar* s, std::size_t n)
{
    std::size_t i = 0;
    while (i < n) {
#if defined(__SSE2__)
        if (n - i >= 16 &&
            _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i))) == 0) {
            i += 16;
            continue;
        }
#endif
        if (n - i >= 8) {
            std::uint64_t w;
            std::memcpy(&w, s + i, 8);
            if ((w & 0x8080808080808080ULL) == 0) {
                i += 8;
                continue;
            }
        }
        const std::size_t len = static_cast<std::size_t>(sequenceLength(s[i]));
        if (len > 1) {
            if (len > n - i)
                return false;
            for (std::size_t k = 1; k < len; ++k) {
                const uchar b = s[i + k];
                if (b == '<' || b == '&' || b == '"' || b == '\'' || b == '\r')
                    return false;
            }
        }
        ++i;
    }
    return true;
}

// Follows TinyXML 2.6's parse of a text, keeping only the element depth and
// the number of nodes it builds. Wherever TinyXML's parse fails, the rest of
// the text is never read by it, and the scan stops there too.
class Scanner {
public:
    Scanner(const uchar* s, std::size_t n, int limit, std::size_t nodeLimit)
        : m_s(s), m_n(n), m_limit(limit), m_nodeLimit(nodeLimit)
    {}

    void run()
    {
        for (;;) {
            // Outside UTF-8, pseudo-spaces inside an element are text of
            // their own, a node even when markup or the end follows.
            if (skipSpace(m_pos) && m_depth > 0 && (m_pos >= m_n || m_s[m_pos] == '<') && !node())
                return;
            if (m_pos >= m_n)
                return;
            if (m_s[m_pos] != '<') {
                // Outside any element text ends the parse; inside, it runs
                // to the next '<' and makes a text node, even when its
                // parse fails.
                if (m_depth == 0 || !node() || !text(m_pos))
                    return;
                continue;
            }
            const uchar next = m_pos + 1 < m_n ? m_s[m_pos + 1] : 0;
            if (next == '/' && m_depth > 0) {
                // An end tag, the one construct that builds no node; a
                // wrong one ends the parse.
                --m_depth;
                if (!skipPast(m_pos + 2, '>'))
                    return;
                continue;
            }
            // Every other construct is one node, linked even when its own
            // parse fails.
            if (!node())
                return;
            bool more;
            if (isNameStart(next)) {
                more = startTag();
            } else if (next == '?' && atNoCase(m_pos, "<?xml")) {
                more = declaration();
            } else if (next == '!' && at(m_pos, "<!--")) {
                more = skipPast(m_pos + 4, "-->");
            } else if (next == '!' && at(m_pos, "<![CDATA[")) {
                more = skipPast(m_pos + 9, "]]>");
            } else {
                // "<!DOCTYPE", "<?other", "< x", "</" outside elements:
                // unknown markup up to the first '>'.
                more = skipPast(m_pos + 1, '>');
            }
            if (!more)
                return;
        }
    }

    int deepest() const { return m_deepest; }
    std::size_t nodes() const { return m_nodes; }
    bool unsafe() const { return m_unsafe; }

private:
    bool at(std::size_t p, const char* token) const
    {
        const std::size_t len = std::strlen(token);
        return p <= m_n && len <= m_n - p && std::memcmp(m_s + p, token, len) == 0;
    }

    // token is lower case; ASCII letters of the text match either case.
    bool atNoCase(std::size_t p, const char* token) const
    {
        for (; *token; ++token, ++p) {
            if (p >= m_n)
                return false;
            uchar c = m_s[p];
            if (c >= 'A' && c <= 'Z')
                c = static_cast<uchar>(c + ('a' - 'A'));
            if (c != static_cast<uchar>(*token))
                return false;
        }
        return true;
    }

    bool skipPast(std::size_t from, uchar c)
    {
        if (from >= m_n)
            return false;
        const void* hit = std::memchr(m_s + from, c, m_n - from);
        if (!hit)
            return false;
        m_pos = static_cast<std::size_t>(static_cast<const uchar*>(hit) - m_s) + 1;
        return true;
    }

    bool skipPast(std::size_t from, const char* token)
    {
        const std::size_t len = std::strlen(token);
        for (std::size_t p = from; p < m_n;) {
            const void* hit = std::memchr(m_s + p, token[0], m_n - p);
            if (!hit)
                return false;
            p = static_cast<std::size_t>(static_cast<const uchar*>(hit) - m_s);
            if (at(p, token)) {
                m_pos = p + len;
                return true;
            }
            ++p;
        }
        return false;
    }

    // The byte-order mark and the two non-characters that TinyXML skips as
    // white space when it reads UTF-8.
    bool pseudoSpace(std::size_t p) const
    {
        return p < m_n && m_n - p >= 3 && m_s[p] == 0xEF &&
               ((m_s[p + 1] == 0xBB && m_s[p + 2] == 0xBF) ||
                (m_s[p + 1] == 0xBF && (m_s[p + 2] == 0xBE || m_s[p + 2] == 0xBF)));
    }

    // White space between nodes. Skipping the pseudo-spaces too is right
    // for UTF-8 and harmless otherwise: what follows them is read the same.
    // True when a pseudo-space was skipped.
    bool skipSpace(std::size_t& p) const
    {
        bool pseudo = false;
        while (p < m_n) {
            if (pseudoSpace(p)) {
                p += 3;
                pseudo = true;
            } else if (isSpace(m_s[p])) {
                ++p;
            } else {
                break;
            }
        }
        return pseudo;
    }

    // White space inside a declaration, where a pseudo-space is read one way
    // in UTF-8 and another way otherwise: refused.
    bool skipSpaceInDeclaration(std::size_t& p)
    {
        for (;; ++p) {
            if (pseudoSpace(p)) {
                m_unsafe = true;
                return false;
            }
            if (p >= m_n || !isSpace(m_s[p]))
                return true;
        }
    }

    // An '&' in text or an attribute value: where TinyXML continues, or npos
    // where its parse fails. A numeric reference runs to the first ';' and
    // only its last digits are checked, so it can swallow markup.
    std::size_t entity(std::size_t p) const
    {
        if (m_n - p <= 2 || m_s[p + 1] != '#')
            return p + 1; // a named entity or a plain '&': no markup inside
        const bool hex = m_s[p + 2] == 'x';
        const std::size_t from = hex ? p + 3 : p + 2;
        if (from >= m_n)
            return npos;
        const void* semi = std::memchr(m_s + from, ';', m_n - from);
        if (!semi)
            return npos;
        const std::size_t end = static_cast<std::size_t>(static_cast<const uchar*>(semi) - m_s);
        const uchar stop = hex ? 'x' : '#';
        for (std::size_t r = end - 1; m_s[r] != stop; --r)
            if (!(hex ? isHex(m_s[r]) : isDigit(m_s[r])))
                return npos;
        return end + 1;
    }

    // Up to the first stop byte at or after p, stepping over references the
    // way the parser does: the stop's position, or npos when the parse fails
    // first (a broken reference, or the end of the text).
    // The first of the Stops bytes at or after p (m_n: none).
    template <char... Stops>
    std::size_t skipOrdinary(std::size_t p) const
    {
#if defined(__SSE2__)
        for (; p + 16 <= m_n; p += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m_s + p));
            __m128i hit = _mm_setzero_si128();
            ((hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_set1_epi8(Stops)))), ...);
            if (const int mask = _mm_movemask_epi8(hit))
                return p + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        }
#endif
        while (p < m_n && !((m_s[p] == static_cast<uchar>(Stops)) || ...))
            ++p;
        return p;
    }

    // Up to the first Stop byte at or after p, stepping over references the
    // way the parser does: its position, or npos when the parse fails first
    // (a broken reference, or the end of the text).
    template <char Stop>
    std::size_t runTo(std::size_t p) const
    {
        for (;;) {
            p = skipOrdinary<Stop, '&'>(p);
            if (p >= m_n)
                return npos;
            if (m_s[p] != '&')
                return p;
            p = entity(p);
            if (p == npos)
                return npos;
        }
    }

    // Text content up to the next '<' (p ends on it); false when the parse
    // fails first.
    bool text(std::size_t& p) const
    {
        p = runTo<'<'>(p);
        return p != npos;
    }

    // A quoted value from just after its opening quote: the position after
    // the closing quote, or npos when the parse fails first.
    std::size_t quoted(std::size_t p, uchar quote) const
    {
        p = quote == '"' ? runTo<'"'>(p) : runTo<'\''>(p);
        return p == npos ? npos : p + 1;
    }

    // One more node; false (stop) once past the node limit.
    bool node() { return ++m_nodes <= m_nodeLimit; }

    bool open()
    {
        if (++m_depth > m_deepest)
            m_deepest = m_depth;
        return m_deepest <= m_limit;
    }

    // A start tag at m_pos. Quotes only ever open attribute values here: a
    // quote anywhere else ends the parse.
    bool startTag()
    {
        std::size_t p = m_pos + 1;
        int equals = 0;
        for (;;) {
            p = skipOrdinary<'>', '"', '\'', '='>(p);
            if (p >= m_n || m_s[p] == '>')
                break;
            const uchar c = m_s[p];
            if (c == '=') {
                // Every attribute has an '=' of its own.
                if (++equals > kMaxXmlAttributes) {
                    m_unsafe = true;
                    return false;
                }
                if (!node())
                    return false;
                ++p;
            } else {
                p = quoted(p + 1, c);
                if (p == npos)
                    break;
            }
        }
        if (p == npos || p >= m_n) {
            open(); // cut off: count it all the same
            return false;
        }
        // "/>": '/' cannot end a quoted value, so it stands outside one.
        const bool empty = m_s[p - 1] == '/';
        m_pos = p + 1;
        return empty || open();
    }

    // "<?xml" at m_pos, read as TinyXML's declaration parser does: up to a
    // '>' outside the values of "version", "encoding" and "standalone".
    bool declaration()
    {
        static const char* const keywords[] = {"version", "encoding", "standalone"};
        std::size_t p = m_pos + 5;
        for (;;) {
            if (p >= m_n)
                return false;
            if (m_s[p] == '>') {
                m_pos = p + 1;
                return true;
            }
            if (!skipSpaceInDeclaration(p))
                return false;
            if (p >= m_n) {
                // White space then the end: older builds abort here.
                m_unsafe = true;
                return false;
            }
            const char* keyword = nullptr;
            for (const char* k : keywords)
                if (atNoCase(p, k))
                    keyword = k;
            if (!keyword) {
                while (p < m_n && m_s[p] != '>' && !isSpace(m_s[p]))
                    ++p;
                continue;
            }
            if (!at(p, keyword)) {
                // Whether "VERSION" matches depends on the locale.
                m_unsafe = true;
                return false;
            }
            while (p < m_n && isNameChar(m_s[p]))
                ++p;
            if (!skipSpaceInDeclaration(p) || p >= m_n || m_s[p] != '=')
                return false;
            ++p;
            if (!skipSpaceInDeclaration(p) || p >= m_n)
                return false;
            const uchar c = m_s[p];
            if (c == '"' || c == '\'') {
                p = quoted(p + 1, c);
                if (p == npos || p >= m_n)
                    return false;
            } else {
                for (; p < m_n && !isSpace(m_s[p]) && m_s[p] != '/' && m_s[p] != '>'; ++p)
                    if (m_s[p] == '"' || m_s[p] == '\'')
                        return false;
            }
        }
    }

    const uchar* m_s;
    std::size_t m_n;
    int m_limit;
    std::size_t m_nodeLimit;
    std::size_t m_nodes = 0;
    std::size_t m_pos = 0;
    int m_depth = 0;
    int m_deepest = 0;
    bool m_unsafe = false;
};

// TinyXML reads up to the first NUL.
std::size_t visibleLength(const char* text, std::size_t length)
{
    if (!text)
        return 0;
    const void* nul = std::memchr(text, 0, length);
    return nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - text) : length;
}

} // namespace

int XmlNestingDepth(const char* text, std::size_t length, int limit)
{
    length = visibleLength(text, length);
    Scanner scanner(reinterpret_cast<const uchar*>(text), length, limit, npos);
    scanner.run();
    return scanner.deepest();
}

std::size_t XmlNodeCount(const char* text, std::size_t length, std::size_t limit)
{
    length = visibleLength(text, length);
    Scanner scanner(reinterpret_cast<const uchar*>(text), length, std::numeric_limits<int>::max(),
                    limit);
    scanner.run();
    return scanner.nodes();
}

bool XmlTextIsSafe(const char* text, std::size_t length)
{
    // Before anything is read: refusing a huge text costs nothing.
    if (length > kMaxDocumentBytes)
        return false;
    length = visibleLength(text, length);
    const uchar* s = reinterpret_cast<const uchar*>(text);
    if (!sequencesAreSound(s, length))
        return false;
    Scanner scanner(s, length, kMaxXmlNesting, kMaxXmlNodes);
    scanner.run();
    return !scanner.unsafe() && scanner.deepest() <= kMaxXmlNesting &&
           scanner.nodes() <= kMaxXmlNodes;
}

} // namespace tav_common
