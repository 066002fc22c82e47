#include "XmlGuard.h"

#include <gtest/gtest.h>

using TavInternal::XmlNestingDepth;

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
    EXPECT_FALSE(TavInternal::XmlTextIsSafe(deep));
    std::string ok;
    for (int i = 0; i < TavInternal::kMaxXmlNesting; ++i)
        ok += "<a>";
    EXPECT_TRUE(TavInternal::XmlTextIsSafe(ok));
    EXPECT_FALSE(TavInternal::XmlTextIsSafe(ok + "<a>"));
}
