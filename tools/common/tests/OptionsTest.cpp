#include "Options.h"
#include "ExitStatus.h"

#include <gtest/gtest.h>

using namespace tavtools;

namespace {

const std::vector<OptionDef> kGlobal = {
    {"bus", "ADDRESS", "the bus"},
    {"verbose", "", "more", false, false, 'v'},
    {"help", "", "this text", false, false, 'h'},
};
const std::vector<OptionDef> kCommand = {
    {"student", "ID", "a student", true},
    {"oid", "N", "the operation", false, true},
};

// Parses words; the first positional word makes kCommand valid (as "cmd").
ParsedArgs Parse(const std::vector<std::string>& words)
{
    OptionParser parser;
    parser.Add(kGlobal);
    return parser.Parse(words, [](const std::string& word, OptionParser& p) {
        if (word == "cmd")
            p.Add(kCommand, "cmd");
    });
}

std::string Refusal(const std::vector<std::string>& words)
{
    try {
        Parse(words);
    } catch (const UsageError& e) {
        return e.what();
    }
    return "accepted";
}

} // namespace

// Global options before, between and after the positional words; a
// subcommand's options only once it is named; values in every form.
TEST(Options, GlobalOptionsAnywhereCommandOptionsAfterTheCommand)
{
    const ParsedArgs a = Parse({"--verbose", "side", "--bus", "unix:path=/b", "cmd", "--student=S1",
                                "--oid", "-3", "--student", "S2", "--", "-v2", "--bus"});
    EXPECT_EQ(a.Get("bus"), "unix:path=/b");
    EXPECT_EQ(a.All("student"), (std::vector<std::string>{"S1", "S2"}));
    EXPECT_EQ(a.Int("oid", 0, -10, 10), -3);
    EXPECT_EQ(a.Positionals(), (std::vector<std::string>{"side", "cmd", "-v2", "--bus"}));
    EXPECT_TRUE(Parse({"cmd", "--oid", "1", "-v"}).Has("verbose"));

    EXPECT_EQ(Refusal({"--student", "S1", "cmd", "--oid", "1"}), "unknown option --student");
    EXPECT_EQ(Refusal({"cmd", "--colour", "--oid", "1"}), "unknown option --colour for cmd");
    EXPECT_EQ(Refusal({"cmd"}), "cmd needs --oid N");
    EXPECT_EQ(Refusal({"cmd", "--oid"}), "--oid needs a value (N)");
    // A following option is no value; written inline it is.
    EXPECT_EQ(Refusal({"cmd", "--oid", "--verbose"}), "--oid needs a value (N)");
    EXPECT_EQ(Parse({"--bus=--odd", "cmd", "--oid", "1"}).Get("bus"), "--odd");
    EXPECT_EQ(Refusal({"cmd", "--oid", "1", "--oid", "2"}), "--oid given twice");
    EXPECT_EQ(Refusal({"--verbose=yes"}), "--verbose takes no value");
    EXPECT_EQ(Refusal({"-x"}), "unknown option -x");
    EXPECT_EQ(Refusal({"cmd", "--oid", "1", "-v2"}), "unknown option -v2 for cmd");
}

// --help stops the parse: nothing after it is checked, nothing is required.
TEST(Options, HelpStopsTheParse)
{
    const ParsedArgs a = Parse({"cmd", "-h", "--bogus", "extra"});
    EXPECT_TRUE(a.Help());
    EXPECT_EQ(a.Positionals(), std::vector<std::string>{"cmd"});
}

// 0, 1 and 2 keep their meaning, 126 and up stay the shell's.
TEST(Options, ResultCodesAsExitStatus)
{
    EXPECT_EQ(ResultExitStatus(0), 0);
    EXPECT_EQ(ResultExitStatus(1), 3);
    EXPECT_EQ(ResultExitStatus(5), 7);
    EXPECT_EQ(ResultExitStatus(122), 124);
    EXPECT_EQ(ResultExitStatus(123), 125);
    EXPECT_EQ(ResultExitStatus(-1), 125);
    EXPECT_EQ(ResultExitStatus(2147483647), 125);
}
