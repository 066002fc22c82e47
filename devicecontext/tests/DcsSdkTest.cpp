// The device SDK stand-in on its own: events from the pipe on its thread,
// the handler contract and opening failures.
#include "ButtonPipe.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

extern "C" int DcsHeaderCheckFromC(void);

namespace {

std::mutex g_mutex;
std::condition_variable g_changed;
std::vector<int> g_codes;
std::thread::id g_thread;
bool g_hold = false;       // a handler call for key code 8 waits while set
bool g_inside = false;     // that call is running
std::atomic<bool> g_uninitializedInside{false};

void Record(DCS_VKbd_Data_E* data)
{
    std::unique_lock<std::mutex> lock(g_mutex);
    g_codes.push_back(data->keyCode);
    g_thread = std::this_thread::get_id();
    if (data->keyCode == 8) {
        g_inside = true;
        g_changed.notify_all();
        g_changed.wait(lock, [] { return !g_hold; });
        g_inside = false;
    } else if (data->keyCode == 9) {
        lock.unlock();
        g_uninitializedInside = DCS_Uninitialize() == 0;
    }
}

std::vector<int> Codes()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_codes;
}

class DcsSdkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_pipe = dctest::UseFreshButtonPipe();
        std::lock_guard<std::mutex> lock(g_mutex);
        g_codes.clear();
    }
    void TearDown() override { DCS_Uninitialize(); }

    bool WaitForCodes(const std::vector<int>& expected)
    {
        return tavtest::WaitFor([&] { return Codes() == expected; });
    }

    std::string m_pipe;
};

TEST_F(DcsSdkTest, KeyCodesWrittenToThePipeReachTheHandlerOnTheSdkThread)
{
    ASSERT_EQ(0, DCS_Initialize());
    ASSERT_EQ(0, DCS_Initialize());  // already open
    ASSERT_EQ(0, DCS_RegisterFnKeyCallback(Record));

    ASSERT_TRUE(dctest::Press(m_pipe, "4\n"));
    ASSERT_TRUE(WaitForCodes({4}));
    EXPECT_NE(std::this_thread::get_id(), g_thread);
    // Several codes at once, a code without a line end, rubbish in between.
    ASSERT_TRUE(dctest::Press(m_pipe, "5 6,\n-1 x4 99999999999 4y\n"));
    ASSERT_TRUE(WaitForCodes({4, 5, 6, -1}));
    ASSERT_TRUE(dctest::Press(m_pipe, "5"));
    ASSERT_TRUE(WaitForCodes({4, 5, 6, -1, 5}));
    ASSERT_TRUE(dctest::Press(m_pipe, std::string("4\0 2147483648 2147483647", 24)));
    ASSERT_TRUE(WaitForCodes({4, 5, 6, -1, 5, 4, 2147483647}));

    EXPECT_EQ(0, DCS_Uninitialize());
    EXPECT_FALSE(dctest::Press(m_pipe, "4\n"));  // nobody reads the pipe now
    EXPECT_EQ(-1, DCS_Uninitialize());
}

TEST_F(DcsSdkTest, UnregisterWaitsForARunningHandlerAndEndsCalls)
{
    ASSERT_EQ(0, DCS_Initialize());
    ASSERT_EQ(0, DCS_RegisterFnKeyCallback(Record));
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_hold = true;
    }
    ASSERT_TRUE(dctest::Press(m_pipe, "8\n"));
    {
        std::unique_lock<std::mutex> lock(g_mutex);
        ASSERT_TRUE(g_changed.wait_for(lock, std::chrono::seconds(5), [] { return g_inside; }));
    }
    std::atomic<bool> returned{false};
    bool insideWhenReturned = true;
    std::thread unregister([&] {
        DCS_UnregisterFnKeyCallback();
        std::lock_guard<std::mutex> lock(g_mutex);
        insideWhenReturned = g_inside;
        returned = true;
    });
    EXPECT_FALSE(tavtest::WaitFor([&] { return returned.load(); }, 100));
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_hold = false;
    }
    g_changed.notify_all();
    unregister.join();
    EXPECT_FALSE(insideWhenReturned);

    // Still open, but no handler: a press goes nowhere.
    ASSERT_TRUE(dctest::Press(m_pipe, "4\n"));
    EXPECT_FALSE(tavtest::WaitFor([] { return Codes().size() > 1; }, 100));
    EXPECT_EQ(std::vector<int>{8}, Codes());
}

TEST_F(DcsSdkTest, TheHandlerMayCloseTheConnectionItself)
{
    ASSERT_EQ(0, DCS_Initialize());
    ASSERT_EQ(0, DCS_RegisterFnKeyCallback(Record));
    g_uninitializedInside = false;
    ASSERT_TRUE(dctest::Press(m_pipe, "9 4\n"));
    ASSERT_TRUE(tavtest::WaitFor([] { return g_uninitializedInside.load(); }));
    // The thread ends on its own and lets go of the pipe; the 4 behind the
    // 9 is never delivered.
    ASSERT_TRUE(tavtest::WaitFor([&] { return !dctest::Press(m_pipe, "4\n"); }));
    EXPECT_EQ(std::vector<int>{9}, Codes());

    ASSERT_EQ(0, DCS_Initialize());
    ASSERT_EQ(0, DCS_RegisterFnKeyCallback(Record));
    ASSERT_TRUE(dctest::Press(m_pipe, "5\n"));
    EXPECT_TRUE(WaitForCodes({9, 5}));
}

TEST_F(DcsSdkTest, OpensOnlyANamedPipe)
{
    const std::string file = tavtest::MakeTempDir("plain") + "/file";
    ASSERT_TRUE(tavtest::WriteFile(file, "4\n"));
    setenv(DCS_BEZEL_PIPE_ENV, file.c_str(), 1);
    EXPECT_NE(0, DCS_Initialize());
    EXPECT_EQ("4\n", tavtest::ReadFile(file));
    EXPECT_EQ(-1, DCS_RegisterFnKeyCallback(Record));

    setenv(DCS_BEZEL_PIPE_ENV, (file + "/below-a-file").c_str(), 1);
    EXPECT_NE(0, DCS_Initialize());

    // No pipe named: it opens and stays quiet.
    unsetenv(DCS_BEZEL_PIPE_ENV);
    EXPECT_EQ(0, DCS_Initialize());
    EXPECT_EQ(0, DCS_RegisterFnKeyCallback(Record));
    EXPECT_EQ(0, DCS_Uninitialize());
}

TEST_F(DcsSdkTest, HeaderServesCHosts)
{
    EXPECT_EQ(-3 + 5, DcsHeaderCheckFromC());
}

} // namespace
