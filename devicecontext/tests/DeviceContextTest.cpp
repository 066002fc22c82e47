// The device context through the SDK stand-in: presses written into its
// pipe arrive on its event thread, as they would from the real button.
#include "ButtonPipe.h"
#include "DCAPIManager.h"
#include "DCSUtility.h"
#include "DeviceContextAPI.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace IPCAPI;

namespace {

struct Recorder : IDeviceContextCallback {
    void OnFnKeyEvent(int clickType) override
    {
        std::unique_lock<std::mutex> lock(mutex);
        clicks.push_back(clickType);
        thread = std::this_thread::get_id();
        ++inside;
        changed.notify_all();
        if (onClick) {
            lock.unlock();
            onClick();
            lock.lock();
        }
        --inside;
    }
    size_t Count()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return clicks.size();
    }
    bool WaitForClicks(size_t n)
    {
        return tavtest::WaitFor([&] { return Count() >= n; });
    }

    std::function<void()> onClick; // runs inside the call, unlocked
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> clicks;
    std::thread::id thread;
    int inside = 0;
};

std::string LogText() { return tavtest::ReadFile(tavtest::Home() + "/TAVLog/publicLog.log"); }

class DeviceContextTest : public ::testing::Test {
protected:
    void SetUp() override { m_pipe = dctest::UseFreshButtonPipe(); }
    void TearDown() override { UninitializeDeviceContextAPI(nullptr); }

    static DeviceContextAPI* Api()
    {
        DeviceContextAPI* api = nullptr;
        EXPECT_EQ(0, InitializeDeviceContextAPI(&api));
        return api;
    }

    std::string m_pipe;
};

TEST_F(DeviceContextTest, OneObjectWithFixedLimitsReleasedWhateverTheArgument)
{
    DeviceContextAPI* api = Api();
    EXPECT_EQ(api, Api());
    DeviceContextAPI* viaManager = nullptr;
    EXPECT_EQ(0, DCAPIManager::GetInstance(&viaManager));
    EXPECT_EQ(api, viaManager);
    EXPECT_EQ(-1, InitializeDeviceContextAPI(nullptr));

    EXPECT_EQ(7, api->GetMaxBrightLightness());
    EXPECT_EQ(1, api->GetMinBrightLightness());
    EXPECT_EQ(23700, api->GetMaxVolume());
    EXPECT_EQ(0, api->GetMinVolume());
    EXPECT_TRUE(api->ForbidUSB(true));
    EXPECT_TRUE(api->ForbidUSB(false));
    EXPECT_EQ(nullptr, api->GetDeviceContextCallback());
    EXPECT_FALSE(tavtest::FileExists(m_pipe)); // the SDK was not opened

    Recorder recorder;
    ASSERT_TRUE(api->SetDeviceContextCallBack(&recorder));
    ASSERT_TRUE(dctest::Press(m_pipe, "4\n"));
    int unrelated = 0;
    EXPECT_EQ(0, UninitializeDeviceContextAPI(reinterpret_cast<DeviceContextAPI*>(&unrelated)));
    EXPECT_FALSE(dctest::Press(m_pipe, "4\n"));      // the SDK is closed
    EXPECT_EQ(0, UninitializeDeviceContextAPI(api)); // already gone: nothing happens
    EXPECT_EQ(0, DCAPIManager::Release());
    EXPECT_EQ(nullptr, Api()->GetDeviceContextCallback()); // a fresh object
}

TEST_F(DeviceContextTest, PressesReachTheCallbackOnTheSdkThread)
{
    DeviceContextAPI* api = Api();
    Recorder recorder, other;
    EXPECT_FALSE(api->SetDeviceContextCallBack(nullptr));
    EXPECT_FALSE(tavtest::FileExists(m_pipe));
    ASSERT_TRUE(api->SetDeviceContextCallBack(&recorder));
    EXPECT_EQ(&recorder, api->GetDeviceContextCallback());
    EXPECT_EQ(api, DCSUtility::GetInstance()->GetAPICallBack());

    ::testing::internal::CaptureStdout();
    ASSERT_TRUE(dctest::Press(m_pipe, "4\n"));
    ASSERT_TRUE(recorder.WaitForClicks(1));
    ASSERT_TRUE(dctest::Press(m_pipe, "6\n5\n")); // 6 is no button code
    ASSERT_TRUE(recorder.WaitForClicks(2));
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ((std::vector<int>{BEZELBUTTON_SINGLE_CLICK, BEZELBUTTON_DOUBLE_CLICK}),
              recorder.clicks);
    EXPECT_NE(std::this_thread::get_id(), recorder.thread);
    const size_t p4 = out.find("pData:4\n"), p6 = out.find("pData:6\n"), p5 = out.find("pData:5\n");
    EXPECT_TRUE(p4 < p6 && p6 < p5 && p5 != std::string::npos) << out;
    const std::string log = LogText();
    EXPECT_NE(std::string::npos, log.find("TRACE:   BEZELBUTTON_SINGLE_CLICK\n")) << log;
    EXPECT_NE(std::string::npos, log.find("TRACE:   BEZELBUTTON_DOUBLE_CLICK\n")) << log;
    EXPECT_NE(std::string::npos, log.find("TRACE:   input fn key data is not fitable!\n")) << log;

    ASSERT_TRUE(api->SetDeviceContextCallBack(&other)); // takes over the connection
    ASSERT_TRUE(dctest::Press(m_pipe, "4\n"));
    ASSERT_TRUE(other.WaitForClicks(1));
    EXPECT_EQ(2u, recorder.Count());
}

TEST_F(DeviceContextTest, HandlerForwardsOnlyToARegisteredCallback)
{
    DCS_VKbd_Data_E single{4}, other{6};
    ::testing::internal::CaptureStdout();
    DCSUtility::DCS_FnKey_handler(&single); // no connection
    DCSUtility* utility = DCSUtility::GetInstance();
    DCSUtility::DCS_FnKey_handler(&single); // no API object
    DeviceContextAPI api;
    utility->SetAPICallback(&api);
    DCSUtility::DCS_FnKey_handler(&single); // no callback
    EXPECT_EQ("", ::testing::internal::GetCapturedStdout());

    Recorder recorder;
    ASSERT_TRUE(api.SetDeviceContextCallBack(&recorder));
    DCSUtility::DCS_FnKey_handler(nullptr);
    DCSUtility::DCS_FnKey_handler(&other);
    DCSUtility::DCS_FnKey_handler(&single);
    EXPECT_EQ(std::vector<int>{BEZELBUTTON_SINGLE_CLICK}, recorder.clicks);
} // api's destructor releases the connection

TEST_F(DeviceContextTest, AnSdkThatFailsToOpenIsLoggedAndALaterSetReopens)
{
    const std::string file = tavtest::MakeTempDir("plain") + "/not-a-pipe";
    ASSERT_TRUE(tavtest::WriteFile(file, ""));
    setenv(DCS_BEZEL_PIPE_ENV, file.c_str(), 1);
    Recorder recorder;
    EXPECT_TRUE(Api()->SetDeviceContextCallBack(&recorder));
    EXPECT_NE(std::string::npos, LogText().find("ERROR:   DCS_initialize Fail!\n"));
    EXPECT_EQ(Api(), DCSUtility::GetInstance()->GetAPICallBack());

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
    recorder.onClick = [&] { std::lock_guard<std::mutex> wait(gate); };
    ASSERT_TRUE(Api()->SetDeviceContextCallBack(&recorder));
    ASSERT_TRUE(dctest::Press(m_pipe, "4\n"));
    {
        std::unique_lock<std::mutex> lock(recorder.mutex);
        ASSERT_TRUE(recorder.changed.wait_for(lock, std::chrono::seconds(5),
                                              [&] { return recorder.inside == 1; }));
    }
    std::atomic<bool> released{false};
    int insideAfterRelease = -1;
    std::thread release([&] {
        UninitializeDeviceContextAPI(nullptr);
        std::lock_guard<std::mutex> lock(recorder.mutex);
        insideAfterRelease = recorder.inside;
        released = true;
    });
    EXPECT_FALSE(tavtest::WaitFor([&] { return released.load(); }, 100));
    held.unlock();
    release.join();
    EXPECT_EQ(0, insideAfterRelease);
}

TEST_F(DeviceContextTest, TheCallbackMayReleaseTheDeviceContext)
{
    Recorder recorder;
    std::atomic<bool> done{false};
    recorder.onClick = [&] {
        UninitializeDeviceContextAPI(nullptr);
        done = true;
    };
    ASSERT_TRUE(Api()->SetDeviceContextCallBack(&recorder));
    ASSERT_TRUE(dctest::Press(m_pipe, "4 5\n"));
    ASSERT_TRUE(tavtest::WaitFor([&] { return done.load(); }));
    ASSERT_TRUE(tavtest::WaitFor([&] { return !dctest::Press(m_pipe, "4\n"); }));
    EXPECT_EQ(1u, recorder.Count()); // the 5 behind it was not delivered
}

// Presses keep coming while the host sets up and releases again and again;
// each callback object dies right after its release, so a late call would
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
        recorder->onClick = [] { std::this_thread::sleep_for(std::chrono::microseconds(300)); };
        ASSERT_TRUE(Api()->SetDeviceContextCallBack(recorder.get()));
        ASSERT_TRUE(recorder->WaitForClicks(1 + round % 3));
        UninitializeDeviceContextAPI(nullptr);
        std::lock_guard<std::mutex> lock(recorder->mutex);
        ASSERT_EQ(0, recorder->inside);
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
    recorder.onClick = [&] {
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
    EXPECT_EQ(2u, recorder.Count());
    EXPECT_FALSE(dctest::Press(m_pipe, "4\n"));
}

} // namespace
