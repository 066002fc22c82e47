// Internal helper shared by the libraries that parse XML from outside the
// process (bus payloads, configuration files); not installed.
//
// XmlTextIsSafe() is the single gate in front of TinyXML for any text that
// came from outside the process.
//
// The gate bounds what a parse may cost:
//  - a text longer than kMaxDocumentBytes (InputLimits.h) is refused before
//    any byte of it is read;
//  - TinyXML parses, prints, copies and deletes element trees recursively,
//    so a text of a few hundred kilobytes of nested elements overflows a
//    thread's stack: a text nested deeper than kMaxXmlNesting is refused;
//  - TinyXML spends a few hundred bytes on every node it builds, so a text
//    that would build more than kMaxXmlNodes nodes is refused. Elements
//    and attributes count, and so do the other nodes (text runs, comments,
//    CDATA sections, declarations, unknown markup), which cost the same.
// With these bounds a parse stays within a small multiple of
// kMaxDocumentBytes. No legitimate document of the system comes near them.
//
// Depth and nodes are measured in one scan that follows TinyXML 2.6's own
// reading rules (which construct ends where, entity references that skip
// ahead, what happens to text after a parse error), because any difference
// between the two readings lets a crafted text hide nesting or nodes from a
// simpler count. The scan stops as soon as either bound is passed.
//
// The gate also refuses texts that make some TinyXML 2.6 builds misbehave
// or that its reading rules leave ambiguous:
//  - a UTF-8 lead byte whose sequence runs past the end of the text or over
//    one of < & " ' or a carriage return (TinyXML steps over whole
//    sequences, and its file reader drops the "\n" of "\r\n", so it would read
//    past the terminating NUL, loop forever locating an error, or read the
//    markup differently from the count);
//  - a declaration that ends in white space, which aborts older builds, or
//    that holds byte-order marks or upper-case keywords (read differently
//    depending on the encoding and the locale);
//  - a start tag with more than kMaxXmlAttributes attributes (TinyXML checks
//    each new attribute against all earlier ones: quadratic time).
// No legitimate document has any of these.
#ifndef TAV_COMMON_XMLGUARD_H
#define TAV_COMMON_XMLGUARD_H

#include "InputLimits.h"

#include <cstddef>
#include <string>

namespace tav_common {

constexpr int kMaxXmlNesting = 256;
constexpr int kMaxXmlAttributes = 256;

// Deepest element nesting in text, counted the way TinyXML opens elements:
// start tags open a level, end tags close one, empty-element tags, comments,
// CDATA sections, declarations and other markup do not nest. Only the part
// before the first NUL counts (TinyXML sees no further), and counting stops
// where TinyXML's parse would stop. A start tag cut off by the end of the
// text counts. Scanning stops early once limit is exceeded (the result is
// then > limit).
int XmlNestingDepth(const char* text, std::size_t length, int limit = kMaxXmlNesting);

// Nodes TinyXML would build from text, read the same way (never fewer than
// it builds: every attribute-like '=' of a start tag counts). Scanning
// stops early once limit is exceeded (the result is then > limit).
std::size_t XmlNodeCount(const char* text, std::size_t length, std::size_t limit);

// The one check every parse of outside text goes through: false when the
// text must be treated as one that does not parse. length is the whole
// text's, NULs included: the size bound applies to what was received.
bool XmlTextIsSafe(const char* text, std::size_t length);
inline bool XmlTextIsSafe(const std::string& text)
{
    return XmlTextIsSafe(text.data(), text.size());
}

} // namespace tav_common

#endif
