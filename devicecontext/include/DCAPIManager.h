// Keeper of the process's one DeviceContextAPI (see
// InitializeDeviceContextAPI in DeviceContextAPI.h).
#ifndef TAV_DEVICECONTEXT_DCAPIMANAGER_H
#define TAV_DEVICECONTEXT_DCAPIMANAGER_H

#include "DeviceContextAPI.h"

namespace IPCAPI {

class DCAPIManager {
public:
    // Creates the object on first use and stores it in *api; 0. -1 (and
    // nothing created) for a null api.
    static int GetInstance(DeviceContextAPI** api);
    // Destroys the object if there is one; 0.
    static int Release();

protected:
    static DeviceContextAPI* m_Instance;
};

} // namespace IPCAPI

#endif
