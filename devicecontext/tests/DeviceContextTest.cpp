// The device context through the SDK stand-in: presses written into its
// pipe arrive on its event thread, as they would from the real button.
#include "ButtonPipe.h"
#include "DCAPIManager.h"
#include "DCSUtility.h"
#include "DeviceContextAPI.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace IPCAPI;

namespace {

class Recorder : public IDeviceContextCallback {
public:
    void OnFnKeyEvent(int clickType) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_clicks.push_back(clickType);
        m_thread = std::this_thread::get_id();
        ++m_inside;
        m_changed.notify_all();
        if (m_onClick) {
            lock.unlock();
            m_onClick(clickType);
            lock.lock();
        }
        --m_inside;
        m_changed.notify_all();
    }
    std::vector<int> Clicks()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_clicks;
    }
    bool WaitForClicks(size_t n)
    {
        return tavtest::WaitFor([&] { return Clicks().size() >= n; });
    }

    std::function<void(int)> m_onClick;  // runs unlocked inside the call
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<int> m_clicks;
    std::thread::id m_thread;
    int m_inside = 0;
};

std::string LogText()
{
    return tavtest::ReadFile(tavtest::Home() + "/TAVLog/publicLog.log");
}

class DeviceContextTest : public ::testing::Test {
protected:
    void SetUp() override { m_pipe = dctest::UseFreshButtonPipe(); }
    void TearDown() override { UninitializeDeviceContextAPI(nullptr); }

    DeviceContextAPI* Api()
    {
        DeviceContextAPI* api = nullptr;
        EXPECT_EQ(0, InitializeDeviceContextAPI(&api));
        return api;
    }

    std::string m_pipe;
};

TEST_F(DeviceContextTest, LimitsAreFixedAndTheUsbSwitchChangesNothing)
{
    DeviceContextAPI* api = Api();
    ASSERT_NE(nullptr, api);
    EXPECT_EQ(7, api->GetMaxBrightLightness());
    EXPECT_EQ(1, api->GetMinBrightLightness());
    EXPECT_EQ(23700, api->GetMaxVolume());
    EXPECT_EQ(0, api->GetMinVolume());
    EXPECT_TRUE(api->ForbidUSB(true));
    EXPECT_TRUE(api->ForbidUSB(false));
    EXPECT_EQ(nullptr, api->GetDeviceContextCallback());
    // Nothing of this touched the SDK: it never created its pipe.
    EXPECT_FALSE(tavtest::FileExists(m_pipe));
}

TEST_F(DeviceContextTest, OneObjectPerProcessReleasedWhateverTheArgument)
{
    DeviceContextAPI* first = Api();
    EXPECT_EQ(first, Api());
    DeviceContextAPI* viaManager = nullptr;
    EXPECT_EQ(0, DCAPIManager::GetInstance(&viaManager));
    EXPECT_EQ(first, viaManager);
    EXPECT_EQ(-1, InitializeDeviceContextAPI(nullptr));

    Recorder recorder;
    ASSERT_TRUE(first->SetDeviceContextCallBack(&recorder));
    EXPECT_EQ(0, UninitializeDeviceContextAPI(nullptr));  // closes the SDK too
    EXPECT_FALSE(dctest::Press(m_pipe, "4\n"));
    EXPECT_EQ(0, UninitializeDeviceContextAPI(first));    // already gone: nothing
    EXPECT_EQ(0, DCAPIManager::Release());

    DeviceContextAPI* second = Api();
    EXPECT_EQ(nullptr, second->GetDeviceContextCallback());
    ASSERT_TRUE(second->SetDeviceContextCallBack(&recorder));
    ASSERT_TRUE(dctest::Press(m_pipe, "4\n"));
    int unrelated = 0;
    EXPECT_EQ(0, UninitializeDeviceContextAPI(reinterpret_cast<DeviceContextAPI*>(&unrelated)));
    EXPECT_FALSE(dctest::Press(m_pipe, "4\n"));
}

TEST_F(DeviceContextTest, PressesReachTheCallbackOnTheSdkThread)
{
    DeviceContextAPI* api = Api();
    Recorder recorder;
    EXPECT_FALSE(api->SetDeviceContextCallBack(nullptr));
    EXPECT_FALSE(tavtest::FileExists(m_pipe));  // a refused callback opens nothing
    ASSERT_TRUE(api->SetDeviceContextCallBack(&recorder));
    EXPECT_EQ(&recorder, api->GetDeviceContextCallback());
    EXPECT_EQ(api, DCSUtility::GetInstance()->GetAPICallBack());

    ::testing::internal::CaptureStdout();
    ASSERT_TRUE(dctest::Press(m_pipe, "4\n"));
    ASSERT_TRUE(recorder.WaitForClicks(1));
    ASSERT_TRUE(dctest::Press(m_pipe, "6\n5\n"));  // 6 is not a button code
    ASSERT_TRUE(recorder.WaitForClicks(2));
    const std::string out = ::testing::internal::GetCapturedStdout();

    EXPECT_EQ((std::vector<int>{BEZELBUTTON_SINGLE_CLICK, BEZELBUTTON_DOUBLE_CLICK}), recorder.Clicks());
    EXPECT_NE(std::this_thread::get_id(), recorder.m_thread);
    const size_t p4 = out.find("pData:4\n"), p6 = out.find("pData:6\n"), p5 = out.find("pData:5\n");
    EXPECT_TRUE(p4 < p6 && p6 < p5) << out;
    const std::string log = LogText();
    EXPECT_NE(std::string::npos, log.find("TRACE:   BEZELBUTTON_SINGLE_CLICK\n")) << log;
    EXPECT_NE(std::string::npos, log.find("TRACE:   BEZELBUTTON_DOUBLE_CLICK\n")) << log;
    EXPECT_NE(std::string::npos, log.find("TRACE:   input fn key data is not fitable!\n")) << log;

    // Another callback object takes over the same connection.
    Recorder other;
    ASSERT_TRUE(api->SetDeviceContextCallBack(&other));
    ASSERT_TRUE(dctest::Press(m_pipe, "4\n"));
    ASSERT_TRUE(other.WaitForClicks(1));
    EXPECT_EQ(2u, recorder.Clicks().size());
}

TEST_F(DeviceContextTest, HandlerForwardsOnlyWithARegisteredCallback)
{
    DCS_VKbd_Data_E single{4};
    ::testing::internal::CaptureStdout();
    DCSUtility::DCS_FnKey_handler(&single);  // no connection
    DCSUtility* utility = DCSUtility::GetInstance();
    DCSUtility::DCS_FnKey_handler(&single);  // no API object
    DeviceContextAPI api;
    utility->SetAPICallback(&api);
    DCSUtility::DCS_FnKey_handler(&single);  // no callback
    EXPECT_EQ("", ::testing::internal::GetCapturedStdout());

    Recorder recorder;
    ASSERT_TRUE(api.SetDeviceContextCallBack(&recorder));
    DCSUtility::DCS_FnKey_handler(nullptr);
    DCS_VKbd_Data_E other{6};
    DCSUtility::DCS_FnKey_handler(&other);
    DCSUtility::DCS_FnKey_handler(&single);
    EXPECT_EQ(std::vector<int>{BEZELBUTTON_SINGLE_CLICK}, recorder.Clicks());
    EXPECT_EQ(std::this_thread::get_id(), recorder.m_thread);
    // The destructor of api releases the connection.
}

TEST_F(DeviceContextTest, AnSdkThatFailsToOpenIsLoggedAndDeliversNothing)
{
    const std::string file = tavtest::MakeTempDir("plain") + "/not-a-pipe";
    ASSERT_TRUE(tavtest::WriteFile(file, ""));
    setenv(DCS_BEZEL_PIPE_ENV, file.c_str(), 1);
    DeviceContextAPI* api = Api();
    Recorder recorder;
    EXPECT_TRUE(api->SetDeviceContextCallBack(&recorder));
    EXPECT_NE(std::string::npos, LogText().find("ERROR:   DCS_initialize Fail!\n"));
    // The connection object stays, registered, but without a handler.
    EXPECT_EQ(api, DCSUtility::GetInstance()->GetAPICallBack());
    EXPECT_FALSE(tavtest::FileExists(m_pipe));

    // Released, then set again with a working SDK: the connection reopens.
    UninitializeDeviceContextAPI(nullptr);
    setenv(DCS_BEZEL_PIPE_ENV, m_pipe.c_str(), 1);
    ASSERT_TRUE(Api()->SetDeviceContextCallBack(&recorder));
    ASSERT_TRUE(dctest::Press(m_pipe, "5\n"));
    EXPECT_TRUE(recorder.WaitForClicks(1));
}

TEST_F(DeviceContextTest, ReleaseWaitsForACallbackRunningOnTheSdkThread)
{
    std::mutex gate;
    std::unique_lock<std::mutex> held(gate);
    Recorder recorder;
    recorder.m_onClick = [&](int) { std::lock_guard<std::mutex> wait(gate); };
    ASSERT_TRUE(Api()->SetDeviceContextCallBack(&recorder));
    ASSERT_TRUE(dctest::Press(m_pipe, "4\n"));
    {
        std::unique_lock<std::mutex> lock(recorder.m_mutex);
        ASSERT_TRUE(recorder.m_changed.wait_for(lock, std::chrono::seconds(5),
                                                [&] { return recorder.m_inside == 1; }));
    }
    std::atomic<bool> released{false};
    int insideAfterRelease = -1;
    std::thread release([&] {
        UninitializeDeviceContextAPI(nullptr);
        std::lock_guard<std::mutex> lock(recorder.m_mutex);
        insideAfterRelease = recorder.m_inside;
        released = true;
    });
    EXPECT_FALSE(tavtest::WaitFor([&] { return released.load(); }, 100));
    held.unlock();
    release.join();
    EXPECT_EQ(0, insideAfterRelease);
    EXPECT_FALSE(dctest::Press(m_pipe, "4\n"));
}

TEST_F(DeviceContextTest, TheCallbackMayReleaseTheDeviceContext)
{
    Recorder recorder;
    std::atomic<bool> done{false};
    recorder.m_onClick = [&](int) {
        EXPECT_EQ(0, UninitializeDeviceContextAPI(nullptr));
        done = true;
    };
    ASSERT_TRUE(Api()->SetDeviceContextCallBack(&recorder));
    ASSERT_TRUE(dctest::Press(m_pipe, "4 5\n"));
    ASSERT_TRUE(tavtest::WaitFor([&] { return done.load(); }));
    ASSERT_TRUE(tavtest::WaitFor([&] { return !dctest::Press(m_pipe, "4\n"); }));
    EXPECT_EQ(std::vector<int>{BEZELBUTTON_SINGLE_CLICK}, recorder.Clicks());

    recorder.m_onClick = nullptr;
    ASSERT_TRUE(Api()->SetDeviceContextCallBack(&recorder));
    ASSERT_TRUE(dctest::Press(m_pipe, "5\n"));
    EXPECT_TRUE(recorder.WaitForClicks(2));
}

// Presses keep coming while the host sets up and releases, again and again;
// a callback object dies right after each release, so a late call would
// touch freed memory (caught by the sanitizers).
TEST_F(DeviceContextTest, ReleaseRacingWithPressesNeverReachesADeadCallback)
{
    std::atomic<bool> stop{false};
    std::thread presser([&] {
        while (!stop) {
            dctest::Press(m_pipe, "4\n5\n");
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    for (int round = 0; round < 30; ++round) {
        auto recorder = std::make_unique<Recorder>();
        recorder->m_onClick = [](int) { std::this_thread::sleep_for(std::chrono::microseconds(300)); };
        ASSERT_TRUE(Api()->SetDeviceContextCallBack(recorder.get()));
        ASSERT_TRUE(recorder->WaitForClicks(1 + round % 3));
        UninitializeDeviceContextAPI(nullptr);
        std::lock_guard<std::mutex> lock(recorder->m_mutex);
        ASSERT_EQ(0, recorder->m_inside);
    }
    stop = true;
    presser.join();
}

// Two threads deliver at once and both release from inside their callback:
// neither may wait for the other.
TEST_F(DeviceContextTest, ReleasesFromTwoDeliveringThreadsDoNotWaitForEachOther)
{
    Recorder recorder;
    std::atomic<int> entered{0};
    recorder.m_onClick = [&](int) {
        ++entered;
        tavtest::WaitFor([&] { return entered.load() == 2; });
        DCSUtility::Release(nullptr);
    };
    ASSERT_TRUE(Api()->SetDeviceContextCallBack(&recorder));
    auto deliver = [] {
        DCS_VKbd_Data_E single{4};
        DCSUtility::DCS_FnKey_handler(&single);
    };
    std::thread a(deliver), b(deliver);
    a.join();
    b.join();
    EXPECT_EQ(2u, recorder.Clicks().size());
    EXPECT_FALSE(dctest::Press(m_pipe, "4\n"));
}

} // namespace
