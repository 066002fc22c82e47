// The device SDK stand-in on its own: what it reads from its pipe, and what
// it refuses to open. Its handler contract is tested through the device
// context (DeviceContextTest.cpp).
#include "ButtonPipe.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

namespace {

std::mutex g_mutex;
std::vector<int> g_codes;
std::thread::id g_thread;

void Record(DCS_VKbd_Data_E* data)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_codes.push_back(data->keyCode);
    g_thread = std::this_thread::get_id();
}

bool WaitForCodes(const std::vector<int>& expected)
{
    return tavtest::WaitFor([&] {
        std::lock_guard<std::mutex> lock(g_mutex);
        return g_codes == expected;
    });
}

TEST(DcsSdkTest, KeyCodesWrittenToThePipeReachTheHandlerOnTheSdkThread)
{
    const std::string pipe = dctest::UseFreshButtonPipe();
    ASSERT_EQ(0, DCS_Initialize());
    ASSERT_EQ(0, DCS_Initialize()); // already open
    ASSERT_EQ(0, DCS_RegisterFnKeyCallback(Record));

    ASSERT_TRUE(dctest::Press(pipe, "4\n"));
    ASSERT_TRUE(WaitForCodes({4}));
    EXPECT_NE(std::this_thread::get_id(), g_thread);
    // Several codes at once, rubbish in between, a code without a line end,
    // a NUL, numbers beyond int.
    ASSERT_TRUE(dctest::Press(pipe, "5 6,\n-1 x4 99999999999 4y\n"));
    ASSERT_TRUE(WaitForCodes({4, 5, 6, -1}));
    ASSERT_TRUE(dctest::Press(pipe, std::string("5\0 2147483648 2147483647", 24)));
    ASSERT_TRUE(WaitForCodes({4, 5, 6, -1, 5, 2147483647}));

    EXPECT_EQ(0, DCS_Uninitialize());
    EXPECT_FALSE(dctest::Press(pipe, "4\n")); // nobody reads the pipe now
    EXPECT_EQ(-1, DCS_Uninitialize());
    EXPECT_EQ(-1, DCS_RegisterFnKeyCallback(Record));
}

TEST(DcsSdkTest, OpensOnlyANamedPipe)
{
    const std::string file = tavtest::MakeTempDir("plain") + "/file";
    ASSERT_TRUE(tavtest::WriteFile(file, "4\n"));
    setenv(DCS_BEZEL_PIPE_ENV, file.c_str(), 1);
    EXPECT_NE(0, DCS_Initialize());
    EXPECT_EQ("4\n", tavtest::ReadFile(file));
    setenv(DCS_BEZEL_PIPE_ENV, (file + "/below-a-file").c_str(), 1);
    EXPECT_NE(0, DCS_Initialize());

    // No pipe named: it opens and stays quiet.
    unsetenv(DCS_BEZEL_PIPE_ENV);
    EXPECT_EQ(0, DCS_Initialize());
    EXPECT_EQ(0, DCS_Uninitialize());
}

} // namespace
