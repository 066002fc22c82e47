// Internal helper shared by the libraries that parse XML from outside the
// process (bus payloads, configuration files); not installed.
//
// XmlTextIsSafe() is the single gate in front of TinyXML for any text that
// came from outside the process.
//
// TinyXML parses, prints, copies and deletes element trees recursively, so a
// text of a few hundred kilobytes of nested elements overflows a thread's
// stack. Callers measure the nesting first and treat a text deeper than
// kMaxXmlNesting as one that does not parse. No legitimate document of the
// system comes near the bound.
#ifndef TAV_COMMON_XMLGUARD_H
#define TAV_COMMON_XMLGUARD_H

#include <cstddef>
#include <string>

namespace TavInternal {

constexpr int kMaxXmlNesting = 256;

// Deepest element nesting in text, counted the way TinyXML opens elements:
// start tags open a level, end tags close one, empty-element tags, comments,
// CDATA sections, declarations and processing instructions do not nest.
// Scanning stops early once limit is exceeded (the result is then > limit).
int XmlNestingDepth(const char* text, std::size_t length, int limit = kMaxXmlNesting);

// The one check every parse of outside text goes through: false when the
// text must be treated as one that does not parse.
bool XmlTextIsSafe(const char* text, std::size_t length);
inline bool XmlTextIsSafe(const std::string& text) { return XmlTextIsSafe(text.data(), text.size()); }

} // namespace TavInternal

#endif
