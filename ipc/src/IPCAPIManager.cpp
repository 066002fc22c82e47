#include "IPCAPIManager.h"

#include "IPCLogging.h"
#include "IPCStudentAPI.h"
#include "IPCStudentDaemonAPI.h"
#include "IPCTeacherAPI.h"
#include "IPCTeacherDaemonAPI.h"

#include <new>

namespace IPCAPI {

IPCAPIBase* IPCAPIManager::m_Instance = nullptr;

namespace {

IPCAPIBase* createForRole(int type)
{
    switch (type) {
    case 0:
        return new (std::nothrow) IPCTeacherAPI();
    case 1:
        return new (std::nothrow) IPCStudentAPI();
    case 2:
        return new (std::nothrow) IPCTeacherDaemonAPI();
    case 3:
        return new (std::nothrow) IPCStudentDaemonAPI();
    default:
        return nullptr;
    }
}

bool validRole(int type) { return type >= 0 && type <= 3; }

} // namespace

int InitializeTAVLibrary(int type, IPCAPIBase** api)
{
    LogScope scope("InitializeTAVLibrary()");
    if (!validRole(type) || !api) {
        LogScope::Error("InitializeTAVLibrary() --Invalid role code " + std::to_string(type) +
                        (api ? "" : " or null object"));
        return API_INVALID_ARG;
    }
    IPCAPIBase* object = createForRole(type);
    if (!object)
        return API_FAILED;
    *api = object;
    return API_SUCCESS;
}

int UninitializeTAVLibrary(IPCAPIBase* api)
{
    LogScope scope("UninitializeTAVLibrary()");
    if (!api)
        return API_INVALID_ARG;
    delete api;
    return API_SUCCESS;
}

int IPCAPIManager::GetInstance(int type, IPCAPIBase** api)
{
    LogScope scope("IPCAPIManager::GetInstance()");
    if (!api)
        return API_INVALID_ARG;
    if (m_Instance) {
        *api = m_Instance;
        return API_SUCCESS;
    }
    if (!validRole(type)) {
        m_Instance = nullptr;
        return API_INVALID_ARG;
    }
    m_Instance = createForRole(type);
    if (!m_Instance)
        return API_FAILED;
    *api = m_Instance;
    return API_SUCCESS;
}

int IPCAPIManager::Release()
{
    LogScope scope("IPCAPIManager::Release()");
    if (!m_Instance)
        return API_INVALID_ARG;
    delete m_Instance;
    m_Instance = nullptr;
    return API_SUCCESS;
}

} // namespace IPCAPI
