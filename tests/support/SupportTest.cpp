// The shared harness itself: every later test relies on these guarantees.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <dbus/dbus.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

TEST(Harness, HomeIsFreshAndTemporary)
{
    const char* home = std::getenv("HOME");
    ASSERT_NE(home, nullptr);
    EXPECT_EQ(tavtest::Home(), home);
    EXPECT_EQ(tavtest::Home().rfind(tavtest::TempRoot(), 0), 0u);
    EXPECT_EQ(access(home, W_OK), 0);
}

TEST(Harness, EtcTavIsPrivateAndEmpty)
{
    ASSERT_TRUE(tavtest::InPrivateNamespace());
    EXPECT_TRUE(tavtest::WriteFile("/etc/TAV/probe.xml", "<x/>"));
    EXPECT_EQ(tavtest::ReadFile("/etc/TAV/probe.xml"), "<x/>");
    // /tmp is private too, so fixed lock names cannot meet other processes,
    // while what the machine keeps there (a build folder, say) is still seen.
    EXPECT_TRUE(tavtest::WriteFile("/tmp/TAV-probe.lock", ""));
    EXPECT_TRUE(tavtest::FileExists(TAV_TEST_SELF));
    // The rest of /etc is still the machine's.
    EXPECT_TRUE(tavtest::FileExists("/etc/passwd"));
}

TEST(Harness, PrivateBusAnswersAndOwnsRoleNames)
{
    ASSERT_NE(tavtest::DefaultBus(), nullptr);
    const char* addr = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    ASSERT_NE(addr, nullptr);
    EXPECT_NE(std::string(addr).find(tavtest::TempRoot()), std::string::npos);

    DBusError err;
    dbus_error_init(&err);
    DBusConnection* c = dbus_connection_open_private(addr, &err);
    ASSERT_NE(c, nullptr) << err.message;
    ASSERT_TRUE(dbus_bus_register(c, &err)) << err.message;
    EXPECT_EQ(dbus_bus_request_name(c, "tav.student.daemon", DBUS_NAME_FLAG_DO_NOT_QUEUE, &err),
              DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER);
    dbus_connection_close(c);
    dbus_connection_unref(c);
}

TEST(Harness, ChildResultsComeBack)
{
    EXPECT_EQ(tavtest::RunInChild([] { return 7; }), 7);
    EXPECT_EQ(tavtest::RunInChild([] {
                  EXPECT_TRUE(false) << "expected failure in child";
                  return 0;
              }),
              1);
}

// Run by the case below only.
TEST(Harness, DISABLED_Skipped) { GTEST_SKIP() << "skipped on purpose"; }

// How CTest runs one case: a skipped case answers 77 (shown as skipped), and
// a filter that selects nothing fails instead of passing unseen.
TEST(Harness, OneCaseRunByCTestAnswersSkipsAndMissingCases)
{
    auto runCase = [](const char* filter) {
        return tavtest::RunInChild([filter] {
            ::execl("/proc/self/exe", "support_test", filter, "--gtest_also_run_disabled_tests",
                    "--tav_ctest_case", static_cast<char*>(nullptr));
            return 127;
        });
    };
    EXPECT_EQ(runCase("--gtest_filter=Harness.DISABLED_Skipped"), 77);
    EXPECT_EQ(runCase("--gtest_filter=Harness.NoSuchCase"), 1);
    EXPECT_EQ(runCase("--gtest_filter=Harness.HomeIsFreshAndTemporary"), 0);
}
