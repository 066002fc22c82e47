// Which SDK calls the device context makes, in what order. This program
// defines the four DCS_ calls itself; exported from the executable, they
// take the place of libDcsSdk's in the whole process.
#include "DcsSdk.h"
#include "DeviceContextAPI.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Calls = std::vector<std::string>;

namespace {

Calls g_calls;
int g_initializeResult = 0;
DCS_FnKeyCallback g_handler = nullptr;

struct Recorder : IPCAPI::IDeviceContextCallback {
    void OnFnKeyEvent(int clickType) override { clicks.push_back(clickType); }
    std::vector<int> clicks;
};

IPCAPI::DeviceContextAPI* Api()
{
    IPCAPI::DeviceContextAPI* api = nullptr;
    IPCAPI::InitializeDeviceContextAPI(&api);
    return api;
}

TEST(SdkCallsTest, OpenedByTheFirstCallbackClosedOnReleaseReopenedLater)
{
    IPCAPI::DeviceContextAPI* api = Api();
    EXPECT_FALSE(api->SetDeviceContextCallBack(nullptr));
    EXPECT_EQ(Calls{}, g_calls);

    Recorder first, second;
    ASSERT_TRUE(api->SetDeviceContextCallBack(&first));
    ASSERT_TRUE(api->SetDeviceContextCallBack(&second));
    EXPECT_EQ((Calls{"Initialize", "Register"}), g_calls);
    DCS_VKbd_Data_E doubleClick{5};
    g_handler(&doubleClick);
    EXPECT_EQ(std::vector<int>{IPCAPI::BEZELBUTTON_DOUBLE_CLICK}, second.clicks);
    EXPECT_TRUE(first.clicks.empty());

    EXPECT_EQ(0, api->UnInitial());
    EXPECT_EQ(nullptr, api->GetDeviceContextCallback());
    EXPECT_EQ((Calls{"Initialize", "Register", "Unregister", "Uninitialize"}), g_calls);

    g_calls.clear();
    ASSERT_TRUE(api->SetDeviceContextCallBack(&first));
    IPCAPI::UninitializeDeviceContextAPI(api);
    EXPECT_EQ((Calls{"Initialize", "Register", "Unregister", "Uninitialize"}), g_calls);
}

TEST(SdkCallsTest, ClosedOnReleaseEvenWhenOpeningFailed)
{
    g_calls.clear();
    g_initializeResult = 1;
    Recorder recorder;
    EXPECT_TRUE(Api()->SetDeviceContextCallBack(&recorder));
    EXPECT_EQ(Calls{"Initialize"}, g_calls);
    EXPECT_NE(std::string::npos, tavtest::ReadFile(tavtest::Home() + "/TAVLog/publicLog.log")
                                     .find("ERROR:   DCS_initialize Fail!\n"));
    IPCAPI::UninitializeDeviceContextAPI(nullptr);
    EXPECT_EQ((Calls{"Initialize", "Unregister", "Uninitialize"}), g_calls);
}

} // namespace

extern "C" {
int DCS_Initialize(void)
{
    g_calls.push_back("Initialize");
    return g_initializeResult;
}
int DCS_Uninitialize(void)
{
    g_calls.push_back("Uninitialize");
    return 0;
}
int DCS_RegisterFnKeyCallback(DCS_FnKeyCallback handler)
{
    g_calls.push_back("Register");
    g_handler = handler;
    return 0;
}
int DCS_UnregisterFnKeyCallback(void)
{
    g_calls.push_back("Unregister");
    return 0;
}
}
