#include "DCSUtility.h"

#include "DcsSdk.h"
#include "DeviceContextLocks.h"
#include "TAVLog.h"

#include <condition_variable>
#include <cstdio>
#include <exception>
#include <string>

namespace IPCAPI {

using LibTAVData::CTAVLog;

DCSUtility* DCSUtility::m_Instance = nullptr;

namespace detail {

// Never destroyed: a host may release the device context from a static
// destructor of its own.
std::mutex& RouteMutex()
{
    static std::mutex* m = new std::mutex;
    return *m;
}

std::recursive_mutex& SdkMutex()
{
    static std::recursive_mutex* m = new std::recursive_mutex;
    return *m;
}

} // namespace detail

namespace {

const int kBezelSingleClick = 4;
const int kBezelDoubleClick = 5;

// All guarded by RouteMutex().
int g_delivering = 0;              // presses handed to a host callback, not yet returned
int g_parked = 0;                  // of those, ones whose thread waits inside Release
int g_releasing = 0;               // Release calls running: presses are dropped meanwhile
thread_local int t_delivering = 0; // presses being delivered on this thread

std::condition_variable& DeliveriesChanged()
{
    static std::condition_variable* cv = new std::condition_variable;
    return *cv;
}

void Forward(IDeviceContextCallback* callback, int keyCode)
{
    std::printf("pData:%d\n", keyCode);
    std::fflush(stdout);
    int clickType;
    if (keyCode == kBezelSingleClick) {
        CTAVLog::WriteLine("BEZELBUTTON_SINGLE_CLICK\n", CTAVLog::LOG_TRACE, "", false);
        clickType = BEZELBUTTON_SINGLE_CLICK;
    } else if (keyCode == kBezelDoubleClick) {
        CTAVLog::WriteLine("BEZELBUTTON_DOUBLE_CLICK\n", CTAVLog::LOG_TRACE, "", false);
        clickType = BEZELBUTTON_DOUBLE_CLICK;
    } else {
        CTAVLog::WriteLine("input fn key data is not fitable!", CTAVLog::LOG_TRACE, "", false);
        return;
    }
    // The SDK's C frames are below us: nothing may unwind into them.
    try {
        callback->OnFnKeyEvent(clickType);
    } catch (const std::exception& e) {
        CTAVLog::WriteLine(std::string("DCSUtility::DCS_FnKey_handler() --OnFnKeyEvent threw: ") +
                               e.what(),
                           CTAVLog::LOG_ERROR, "", false);
    } catch (...) {
        CTAVLog::WriteLine("DCSUtility::DCS_FnKey_handler() --OnFnKeyEvent threw",
                           CTAVLog::LOG_ERROR, "", false);
    }
}

} // namespace

DCSUtility::DCSUtility() : m_pAPI(nullptr) { Initial(); }

DCSUtility::~DCSUtility() { UnInitial(); }

DCSUtility* DCSUtility::GetInstance()
{
    {
        std::lock_guard<std::mutex> route(detail::RouteMutex());
        if (m_Instance != nullptr)
            return m_Instance;
    }
    std::lock_guard<std::recursive_mutex> sdk(detail::SdkMutex());
    {
        std::lock_guard<std::mutex> route(detail::RouteMutex());
        if (m_Instance != nullptr)
            return m_Instance;
    }
    DCSUtility* instance = new DCSUtility();
    std::lock_guard<std::mutex> route(detail::RouteMutex());
    m_Instance = instance;
    return instance;
}

void DCSUtility::Release(DeviceContextAPI* /*api*/)
{
    DCSUtility* instance = nullptr;
    {
        std::unique_lock<std::mutex> route(detail::RouteMutex());
        ++g_releasing;
        instance = m_Instance;
        m_Instance = nullptr;
        // Wait for presses being delivered on other threads. A release from
        // inside a callback must not wait for its own delivery, nor for one
        // on another thread that is itself waiting here.
        g_parked += t_delivering;
        DeliveriesChanged().notify_all();
        DeliveriesChanged().wait(route, [] { return g_delivering == g_parked; });
        g_parked -= t_delivering;
    }
    if (instance != nullptr) {
        std::lock_guard<std::recursive_mutex> sdk(detail::SdkMutex());
        delete instance;
    }
    std::lock_guard<std::mutex> route(detail::RouteMutex());
    --g_releasing;
}

int DCSUtility::Initial()
{
    std::lock_guard<std::recursive_mutex> sdk(detail::SdkMutex());
    {
        std::lock_guard<std::mutex> route(detail::RouteMutex());
        m_pAPI = nullptr;
    }
    if (DCS_Initialize() != 0) {
        CTAVLog::WriteLine("DCS_initialize Fail!", CTAVLog::LOG_ERROR, "", false);
        return 1;
    }
    DCS_RegisterFnKeyCallback(&DCSUtility::DCS_FnKey_handler);
    return 0;
}

int DCSUtility::UnInitial()
{
    std::lock_guard<std::recursive_mutex> sdk(detail::SdkMutex());
    DCS_UnregisterFnKeyCallback();
    DCS_Uninitialize();
    return 0;
}

void DCSUtility::SetAPICallback(DeviceContextAPI* api)
{
    std::lock_guard<std::mutex> route(detail::RouteMutex());
    m_pAPI = api;
}

DeviceContextAPI* DCSUtility::GetAPICallBack()
{
    std::lock_guard<std::mutex> route(detail::RouteMutex());
    return m_pAPI;
}

void DCSUtility::DCS_FnKey_handler(DCS_VKbd_Data_E* data)
{
    IDeviceContextCallback* callback = nullptr;
    {
        std::lock_guard<std::mutex> route(detail::RouteMutex());
        if (m_Instance == nullptr || g_releasing > 0)
            return;
        DeviceContextAPI* api = m_Instance->m_pAPI;
        if (api == nullptr || api->m_pCallback == nullptr)
            return;
        callback = api->m_pCallback;
        if (data != nullptr)
            ++g_delivering;
    }
    if (data == nullptr) {
        CTAVLog::WriteLine("DCSUtility::DCS_FnKey_handler() --no event data", CTAVLog::LOG_ERROR,
                           "", false);
        return;
    }
    ++t_delivering;
    Forward(callback, data->keyCode);
    --t_delivering;
    {
        std::lock_guard<std::mutex> route(detail::RouteMutex());
        --g_delivering;
    }
    DeliveriesChanged().notify_all();
}

} // namespace IPCAPI
