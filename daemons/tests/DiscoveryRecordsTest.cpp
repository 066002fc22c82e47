// What a class announcement carries and what a student accepts from the
// network, and the announcer and browser where there is no avahi-daemon
// to talk to. The real network is DiscoveryTest's.
#include "DaemonConfig.h"
#include "Discovery.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using tavd::ClassAnnouncement;
using tavd::DiscoveredClass;

TEST(ClassAnnouncement, CarriesClassBrokerAndVersionAndReadsBack)
{
    tavd::DaemonConfig config = tavd::DaemonConfig::Defaults(tavd::DaemonRole::Teacher);
    config.className = "5A";
    config.brokerPort = 18883;
    // The teacher's own loopback means nothing to a student.
    for (const char* loopback : {"localhost", "LOCALHOST", "127.0.1.1", "::1", "ip6-localhost"}) {
        config.brokerHost = loopback;
        EXPECT_EQ(tavd::AnnouncementFrom(config).brokerHost, "") << loopback;
    }
    config.brokerHost = "teacher-pc";
    const ClassAnnouncement a = tavd::AnnouncementFrom(config);
    EXPECT_EQ(a.className, "5A");
    EXPECT_EQ(a.port, 18883);
    EXPECT_EQ(a.brokerHost, "teacher-pc");

    const std::vector<std::string> txt = tavd::ClassTxtRecords(a);
    EXPECT_EQ(txt, (std::vector<std::string>{"class=5A", "broker=teacher-pc", "version=1"}));
    DiscoveredClass seen;
    std::string why;
    ASSERT_TRUE(tavd::ReadClassTxt(txt, "5A #2", seen, why)) << why;
    EXPECT_EQ(seen.className, "5A");
    EXPECT_EQ(seen.brokerHost, "teacher-pc");
    EXPECT_EQ(seen.ConnectHost(), "teacher-pc");

    // The longest class name does not fit one DNS label; TXT keeps it whole.
    const std::string longest(64, 'x');
    EXPECT_EQ(tavd::InstanceNameFor(longest), longest.substr(0, 63));
    ASSERT_TRUE(tavd::ReadClassTxt(tavd::ClassTxtRecords({longest, 8883, ""}),
                                   tavd::InstanceNameFor(longest), seen, why));
    EXPECT_EQ(seen.className, longest);
    EXPECT_EQ(seen.brokerHost, "");
}

TEST(ClassAnnouncement, TxtFromTheNetworkIsCheckedBeforeAClassIsListed)
{
    DiscoveredClass seen;
    std::string why;
    // Keys compare without case, the first of a repeated key counts, a key
    // without "=" has an empty value, and keys that are no text are skipped.
    ASSERT_TRUE(
        tavd::ReadClassTxt({"CLASS=7C", "class=8D", "Version=1", "flag",
                            std::string("\x01\xff=x", 4), "=nokey", "note=caf\xc3\xa9 \x07"},
                           "7C", seen, why))
        << why;
    EXPECT_EQ(seen.className, "7C");
    EXPECT_EQ(seen.txt.at("flag"), "");
    EXPECT_EQ(seen.txt.at("note"), "caf\xc3\xa9 \x07");
    EXPECT_EQ(seen.txt.size(), 3u + 1u); // class, version, flag, note

    // No class key: the instance name, if it is a class name.
    ASSERT_TRUE(tavd::ReadClassTxt({"version=1"}, "9E", seen, why));
    EXPECT_EQ(seen.className, "9E");

    // A flood of keys is cut, not kept whole.
    std::vector<std::string> many{"class=5A"};
    for (int i = 0; i < 1000; ++i)
        many.push_back("k" + std::to_string(i) + "=v");
    ASSERT_TRUE(tavd::ReadClassTxt(many, "5A", seen, why));
    EXPECT_LE(seen.txt.size(), 32u);

    const struct {
        std::vector<std::string> txt;
        const char* instance;
        const char* reason;
    } refused[] = {
        {{"version=1"}, "5A #2", "no valid class name"},
        {{"class=5A B"}, "5A", "no valid class name"},
        {{"class="}, "5A", "no valid class name"},
        {{"class=5A", "version=2"}, "5A", "protocol version 2"},
        {{"class=5A", "broker=evil host;rm"}, "5A", "is no host name"},
        {{"class=5A", std::string("broker=a\nb")}, "5A", "is no host name"},
    };
    for (const auto& r : refused) {
        why.clear();
        EXPECT_FALSE(tavd::ReadClassTxt(r.txt, r.instance, seen, why)) << r.txt.front();
        EXPECT_NE(why.find(r.reason), std::string::npos) << why;
        EXPECT_EQ(why.find('\n'), std::string::npos) << "printed as is: " << why;
    }
}

TEST(ClassAnnouncer, RefusesABadAnnouncementWithTheReason)
{
    const struct {
        ClassAnnouncement a;
        const char* reason;
    } bad[] = {
        {{"", 8883, ""}, "class name"},
        {{"5A B", 8883, ""}, "class name"},
        {{std::string(65, 'x'), 8883, ""}, "class name"},
        {{"5A", 0, ""}, "port 0"},
        {{"5A", 65536, ""}, "port 65536"},
        {{"5A", 8883, "teacher pc"}, "broker host"},
        {{"5A", 8883, std::string(250, 'b')}, "broker host"},
    };
    for (const auto& b : bad) {
        tavd::ClassAnnouncer announcer(b.a);
        std::string error;
        EXPECT_FALSE(announcer.Start(error)) << b.reason;
        EXPECT_NE(error.find(b.reason), std::string::npos) << error;
        EXPECT_EQ(announcer.AnnouncedName(), "");
    }
}

// No system bus at all: both start, say so once in the log however often
// they try again, and stop cleanly.
TEST(ClassBrowser, WithoutASystemBusStartsWaitsAndLogsOnce)
{
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + tavtest::TempRoot() + "/no-bus").c_str(),
             1);
    tavd::ClassBrowser browser;
    tavd::ClassAnnouncer announcer({"5A", 8883, ""});
    std::string error;
    ASSERT_TRUE(browser.Start(error)) << error;
    ASSERT_TRUE(announcer.Start(error)) << error;
    // Retries after one and two seconds.
    tavtest::WaitFor([] { return false; }, 3500);
    EXPECT_FALSE(browser.DaemonRunning());
    EXPECT_EQ(browser.Dispatch(), 0u);
    EXPECT_TRUE(browser.Classes().empty());
    EXPECT_EQ(browser.Find("5A"), nullptr);
    EXPECT_EQ(announcer.AnnouncedName(), "");
    browser.Stop();
    announcer.Stop();
    browser.Stop();

    const std::string log = tavtest::ReadFile(tavtest::Home() + "/TAVLog/publicLog.log");
    for (const char* who : {"ClassBrowser --cannot reach avahi-daemon",
                            "ClassAnnouncer --cannot reach avahi-daemon"}) {
        std::size_t count = 0;
        for (auto at = log.find(who); at != std::string::npos; at = log.find(who, at + 1))
            ++count;
        EXPECT_EQ(count, 1u) << who << "\n" << log;
    }
}

} // namespace
