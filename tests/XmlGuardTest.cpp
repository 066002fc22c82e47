#include "XmlGuard.h"

#include <gtest/gtest.h>

using tav_common::XmlNestingDepth;

namespace {
int depth(const std::string& s) { return XmlNestingDepth(s.data(), s.size()); }
} // namespace

TEST(XmlGuard, CountsOnlyWhatNests)
{
    EXPECT_EQ(depth(""), 0);
    EXPECT_EQ(depth("plain text"), 0);
    EXPECT_EQ(depth("<a/>"), 0);
    EXPECT_EQ(depth("<a />"), 0);
    EXPECT_EQ(depth("<a></a>"), 1);
    EXPECT_EQ(depth("<?xml version=\"1.0\" ?><a><b><c/></b><b></b></a>"), 2);
    EXPECT_EQ(depth("<a x='>' y=\"/>\"><b>text</b></a>"), 2);
    EXPECT_EQ(depth("<!-- <a><a><a> --><a/>"), 0);
    EXPECT_EQ(depth("<![CDATA[<a><a>]]><a></a>"), 1);
    EXPECT_EQ(depth("<!DOCTYPE x><a>"), 1);
    // Unterminated tags count: the parser may still open them.
    EXPECT_EQ(depth("<a><b"), 2);
    EXPECT_EQ(depth("</a></a><a>"), 1);
}

TEST(XmlGuard, StopsEarlyPastTheLimit)
{
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    EXPECT_EQ(XmlNestingDepth(deep.data(), deep.size(), 10), 11);
    EXPECT_FALSE(tav_common::XmlTextIsSafe(deep));
    std::string ok;
    for (int i = 0; i < tav_common::kMaxXmlNesting; ++i)
        ok += "<a>";
    EXPECT_TRUE(tav_common::XmlTextIsSafe(ok));
    EXPECT_FALSE(tav_common::XmlTextIsSafe(ok + "<a>"));
}

// Markup the parser reads differently from a plain tag count must not hide
// nesting from the gate.
TEST(XmlGuard, CountsAsTheParserReads)
{
    // Unknown markup ends at the first '>', whatever quotes it holds.
    EXPECT_EQ(depth("<?pi><a><a>?>"), 2);
    EXPECT_EQ(depth("<1 '><a><a>'>"), 2);
    EXPECT_EQ(depth("<a>< b '><a><a>'>"), 3);
    // A numeric reference runs to the first ';' and checks only its last
    // digits, so it can swallow end tags, in text and in values.
    EXPECT_EQ(depth("<a>&#x</a>x;<a>&#12</a>#3;<a>"), 3);
    EXPECT_EQ(depth("<a b='&#x'></a>x;'><a>"), 2);
    EXPECT_EQ(depth("<a>&#x41;</a><a>&amp;</a>"), 1);
    // A declaration ends at a '>' outside its own attributes' values.
    EXPECT_EQ(depth("<a><?xml version='></a>'><a>"), 2);
    EXPECT_EQ(depth("<a><?xml foo='></a>'><a>"), 1);
    // An end tag outside any element is unknown markup.
    EXPECT_EQ(depth("</a><a><a>"), 2);
}

TEST(XmlGuard, StopsWhereTheParserStops)
{
    // Text outside elements, a failed reference and a cut-off construct end
    // the parse; nothing after them is read.
    EXPECT_EQ(depth("x<a><a>"), 0);
    EXPECT_EQ(depth("<a>&#xZ;<a><a>"), 1);
    EXPECT_EQ(depth("<a><!-- <a><a>"), 1);
    // The parser sees only up to the first NUL.
    const std::string hidden = std::string("<a>") + '\0' + "<a><a>";
    EXPECT_EQ(depth(hidden), 1);
    std::string deep(1, '\0');
    for (int i = 0; i < 1000; ++i)
        deep += "<a>";
    EXPECT_TRUE(tav_common::XmlTextIsSafe(deep));
}

TEST(XmlGuard, RefusesWhatSomeParsersMishandle)
{
    using tav_common::XmlTextIsSafe;
    EXPECT_TRUE(XmlTextIsSafe("<a b='caf\xC3\xA9'>\xE2\x82\xAC</a>"));
    EXPECT_FALSE(XmlTextIsSafe("<a>\xC3</a>"));          // a sequence over '<'
    EXPECT_FALSE(XmlTextIsSafe("<a>\xE2\x82&amp;</a>")); // over '&'
    EXPECT_FALSE(XmlTextIsSafe("<a>\xE2\r\n</a>"));      // "\r\n" becomes "\n" in files
    EXPECT_FALSE(XmlTextIsSafe(std::string("<a>\xEF") + '\0' + "\xBB\xBF")); // past the end
    EXPECT_FALSE(XmlTextIsSafe("<?xml version='1.0' "));            // white space, then the end
    EXPECT_FALSE(XmlTextIsSafe("<?xml Encoding='x'?>"));            // locale-dependent match
    EXPECT_FALSE(XmlTextIsSafe("<?xml \xEF\xBB\xBFversion='>'?>")); // read by encoding
    EXPECT_TRUE(XmlTextIsSafe("\xEF\xBB\xBF<?xml version='1.0'?><a/>"));
    EXPECT_TRUE(XmlTextIsSafe("x <?xml ")); // never reached
    std::string tag = "<a";
    for (int i = 0; i <= tav_common::kMaxXmlAttributes; ++i)
        tag += " a" + std::to_string(i) + "='='";
    EXPECT_TRUE(XmlTextIsSafe(tag.substr(0, tag.rfind(' ')) + "/>"));
    EXPECT_FALSE(XmlTextIsSafe(tag + "/>"));
}

// Both bounds are inclusive; a text one byte or one node past either is
// refused, however harmless its shape.
TEST(XmlGuard, RefusesTextsPastTheSizeAndNodeBounds)
{
    using tav_common::kMaxDocumentBytes;
    using tav_common::kMaxXmlNodes;
    using tav_common::XmlTextIsSafe;
    const std::string open = "<a>", close = "</a>";
    std::string sized =
        open + std::string(kMaxDocumentBytes - open.size() - close.size(), 'x') + close;
    EXPECT_TRUE(XmlTextIsSafe(sized));
    sized.insert(open.size(), 1, 'x');
    EXPECT_FALSE(XmlTextIsSafe(sized));
    // The size counts what was received, not only what the parser would see.
    std::string hidden = "<a/>";
    hidden.resize(kMaxDocumentBytes + 1, '\0');
    EXPECT_FALSE(XmlTextIsSafe(hidden));

    // Every kind of node counts: the root, attributes, text runs, comments,
    // CDATA sections, unknown markup and the declaration.
    const std::string mixed =
        "<?xml version='1.0'?><r><b c='1' d='2'/>t<!--c--><![CDATA[x]]><!x></r>";
    EXPECT_EQ(tav_common::XmlNodeCount(mixed.data(), mixed.size(), kMaxXmlNodes), 9u);
    std::string nodes = "<r>";
    for (std::size_t i = 2; i < kMaxXmlNodes; i += 2)
        nodes += "<b c='1'/>";
    nodes += "<!x>";
    EXPECT_TRUE(XmlTextIsSafe(nodes + "</r>"));
    EXPECT_FALSE(XmlTextIsSafe(nodes + "t</r>"));
    EXPECT_FALSE(XmlTextIsSafe(nodes + "<b/></r>"));
    EXPECT_FALSE(XmlTextIsSafe(nodes.substr(0, nodes.size() - 4) + "<b c='1'/></r>"));
    EXPECT_EQ(tav_common::XmlNodeCount(nodes.data(), nodes.size(), 10), 11u);
}
