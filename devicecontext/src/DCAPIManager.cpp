#include "DCAPIManager.h"

#include "TAVLog.h"

#include <mutex>

namespace IPCAPI {

using LibTAVData::CTAVLog;

DeviceContextAPI* DCAPIManager::m_Instance = nullptr;

namespace {

std::mutex& ManagerMutex()
{
    static std::mutex* m = new std::mutex;
    return *m;
}

} // namespace

int DCAPIManager::GetInstance(DeviceContextAPI** api)
{
    if (api == nullptr) {
        CTAVLog::WriteLine("DCAPIManager::GetInstance() --api is null", CTAVLog::LOG_ERROR, "",
                           false);
        return -1;
    }
    std::lock_guard<std::mutex> lock(ManagerMutex());
    if (m_Instance == nullptr)
        m_Instance = new DeviceContextAPI();
    *api = m_Instance;
    return 0;
}

int DCAPIManager::Release()
{
    DeviceContextAPI* instance = nullptr;
    {
        std::lock_guard<std::mutex> lock(ManagerMutex());
        instance = m_Instance;
        m_Instance = nullptr;
    }
    // Outside the lock: destroying waits for a press being delivered, and
    // that callback may itself ask for the device context.
    delete instance;
    return 0;
}

int InitializeDeviceContextAPI(DeviceContextAPI** api) { return DCAPIManager::GetInstance(api); }

int UninitializeDeviceContextAPI(DeviceContextAPI* /*api*/) { return DCAPIManager::Release(); }

} // namespace IPCAPI
