#include "DeviceContextAPI.h"

#include "DCSUtility.h"
#include "DeviceContextLocks.h"
#include "TAVLog.h"

namespace IPCAPI {

using LibTAVData::CTAVLog;

DeviceContextAPI::DeviceContextAPI() : m_pCallback(nullptr) { Initial(); }

DeviceContextAPI::~DeviceContextAPI() { UnInitial(); }

int DeviceContextAPI::Initial()
{
    std::lock_guard<std::mutex> route(detail::RouteMutex());
    m_pCallback = nullptr;
    return 0;
}

int DeviceContextAPI::UnInitial()
{
    DCSUtility::Release(this);
    std::lock_guard<std::mutex> route(detail::RouteMutex());
    m_pCallback = nullptr;
    return 0;
}

bool DeviceContextAPI::SetDeviceContextCallBack(IDeviceContextCallback* callback)
{
    if (callback == nullptr) {
        CTAVLog::WriteLine("DeviceContextAPI::SetDeviceContextCallBack() --callback is null",
                           CTAVLog::LOG_ERROR, "", false);
        return false;
    }
    {
        std::lock_guard<std::mutex> route(detail::RouteMutex());
        m_pCallback = callback;
    }
    // Held so that a release on another thread cannot destroy the singleton
    // between getting it and registering with it.
    std::lock_guard<std::recursive_mutex> sdk(detail::SdkMutex());
    DCSUtility::GetInstance()->SetAPICallback(this);
    return true;
}

IDeviceContextCallback* DeviceContextAPI::GetDeviceContextCallback()
{
    std::lock_guard<std::mutex> route(detail::RouteMutex());
    return m_pCallback;
}

int DeviceContextAPI::GetMaxBrightLightness() { return 7; }

int DeviceContextAPI::GetMinBrightLightness() { return 1; }

int DeviceContextAPI::GetMaxVolume() { return 23700; }

int DeviceContextAPI::GetMinVolume() { return 0; }

bool DeviceContextAPI::ForbidUSB(bool /*forbid*/) { return true; }

} // namespace IPCAPI
