// The main of every test program: see TestSupport.h.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#if defined(__SANITIZE_THREAD__)
#define TAVTEST_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TAVTEST_TSAN 1
#endif
#endif

// Set per test program by tav_add_gtest(... NEEDS ...): "ns,bus,x".
extern const char* const tav_test_needs;

namespace tavtest {
namespace detail {
void InitTempRoot();
void RemoveTempRoot();
bool EnterPrivateNamespace(std::string& why);
} // namespace detail

namespace {
std::unique_ptr<PrivateBus> g_bus;
std::unique_ptr<XServer> g_x;
} // namespace

PrivateBus* DefaultBus() { return g_bus.get(); }
XServer* DefaultX() { return g_x.get(); }

namespace {

// Reports what the main could not prepare: a skip when the machine does not
// allow it (no mount namespace), a failure when a real part did not start.
class SupportEnvironment : public ::testing::Environment {
public:
    SupportEnvironment(std::string skip, std::string fail)
        : m_skip(std::move(skip)), m_fail(std::move(fail))
    {}
    void SetUp() override
    {
        if (!m_fail.empty())
            FAIL() << m_fail;
        if (!m_skip.empty())
            GTEST_SKIP() << m_skip;
    }

private:
    std::string m_skip, m_fail;
};

// Removes --tav_ctest_case from argv; true when it was there. CTest runs
// each case as "<program> --gtest_filter=<Suite.Case> --tav_ctest_case".
bool takeCtestCaseFlag(int& argc, char** argv)
{
    bool found = false;
    int out = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--tav_ctest_case") == 0)
            found = true;
        else
            argv[out++] = argv[i];
    }
    argc = out;
    argv[argc] = nullptr;
    return found;
}

// The exit status of one case run by CTest: a filter that selects nothing
// fails (a renamed case must not pass unseen), and a skipped case answers
// 77, which CTest reports as skipped.
int ctestCaseStatus(int rc)
{
    const ::testing::UnitTest& unit = *::testing::UnitTest::GetInstance();
    if (unit.test_to_run_count() == 0) {
        std::fprintf(stderr, "tavtest: --gtest_filter selects no test case\n");
        return 1;
    }
    if (rc == 0 && unit.skipped_test_count() > 0 && unit.successful_test_count() == 0)
        return 77;
    return rc;
}

} // namespace
} // namespace tavtest

int main(int argc, char** argv)
{
    const bool ctestCase = tavtest::takeCtestCaseFlag(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    std::set<std::string> needs;
    std::stringstream ss(tav_test_needs);
    for (std::string item; std::getline(ss, item, ',');)
        if (!item.empty())
            needs.insert(item);

    const bool listOnly = ::testing::GTEST_FLAG(list_tests);
    std::string skip, fail;
    if (!listOnly && needs.count("ns")) {
        std::string why;
        if (!tavtest::detail::EnterPrivateNamespace(why))
            skip = "private mount namespace not available here (" + why +
                   "); tests that need a private /etc/TAV/ and /tmp/ are skipped";
    }
    tavtest::detail::InitTempRoot();
    std::atexit(tavtest::detail::RemoveTempRoot);

    if (!listOnly && skip.empty() && needs.count("bus")) {
        tavtest::g_bus.reset(new tavtest::PrivateBus);
        if (tavtest::g_bus->Start())
            tavtest::g_bus->Export();
        else
            fail = "could not start the private dbus-daemon";
    }
    if (!listOnly && skip.empty() && needs.count("x")) {
        tavtest::g_x.reset(new tavtest::XServer);
        if (tavtest::g_x->Start())
            tavtest::g_x->Export();
        else
            fail += (fail.empty() ? "" : "; ") + std::string("could not start Xvfb");
    }
    ::testing::AddGlobalTestEnvironment(new tavtest::SupportEnvironment(skip, fail));

#ifdef TAVTEST_TSAN
    // ThreadSanitizer starts a thread of its own with the first thread a
    // program makes (again in each forked child from then on). Started here,
    // it is there before any test counts its process's threads, whether the
    // test runs alone or after others. (Not earlier: a second thread would
    // keep the process from entering its mount namespace.)
    std::thread([] {}).join();
#endif
    int rc = RUN_ALL_TESTS();
    tavtest::g_x.reset();
    tavtest::g_bus.reset();
    return ctestCase ? tavtest::ctestCaseStatus(rc) : rc;
}
