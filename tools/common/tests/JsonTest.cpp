#include "Json.h"

#include <gtest/gtest.h>

using namespace tavtools;

// Every string a strict parser accepts: quotes, backslashes and control
// characters escaped, well-formed UTF-8 kept, anything else one U+FFFD a
// byte (overlong forms, surrogates, cut sequences, stray bytes).
TEST(Json, StringsAreAlwaysValidJson)
{
    EXPECT_EQ(JsonString("a\"b\\c\n\t\r\x01\x1f\x7f"),
              "\"a\\\"b\\\\c\\n\\t\\r\\u0001\\u001f\\u007f\"");
    EXPECT_EQ(JsonString(std::string("nul\0end", 7)), "\"nul\\u0000end\"");
    EXPECT_EQ(JsonString("Mar\xc3\xad"
                         "a \xe2\x82\xac \xf0\x9f\x98\x80"),
              "\"Mar\xc3\xad"
              "a \xe2\x82\xac \xf0\x9f\x98\x80\"");
    EXPECT_EQ(JsonString("Jos\xe9!"), "\"Jos\\ufffd!\"");
    EXPECT_EQ(JsonString("\xc0\xaf"), "\"\\ufffd\\ufffd\"");                       // overlong "/"
    EXPECT_EQ(JsonString("\xed\xa0\x80"), "\"\\ufffd\\ufffd\\ufffd\"");            // a surrogate
    EXPECT_EQ(JsonString("\xf4\x90\x80\x80"), "\"\\ufffd\\ufffd\\ufffd\\ufffd\""); // above U+10FFFF
    EXPECT_EQ(JsonString("cut \xe2\x82"), "\"cut \\ufffd\\ufffd\"");
}
