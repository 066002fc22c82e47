// The process's connection to the device SDK. It forwards each bezel-button
// press to the callback of the registered DeviceContextAPI.
#ifndef TAV_DEVICECONTEXT_DCSUTILITY_H
#define TAV_DEVICECONTEXT_DCSUTILITY_H

#include "DeviceContextAPI.h"

struct DCS_VKbd_Data_E; // the SDK's event record (DcsSdk.h)

namespace IPCAPI {

class DCSUtility {
public:
    // The singleton, created (and the SDK connection opened) on first use.
    static DCSUtility* GetInstance();
    // Destroys the singleton, closing the SDK connection; api is not used.
    // Waits for a press being delivered on another thread; presses arriving
    // meanwhile are dropped.
    static void Release(DeviceContextAPI* api);
    // The handler given to the SDK; runs on the SDK's event thread.
    static void DCS_FnKey_handler(DCS_VKbd_Data_E* data);

    virtual ~DCSUtility();

    DCSUtility(const DCSUtility&) = delete;
    DCSUtility& operator=(const DCSUtility&) = delete;

    // Forgets the registered API object and opens the SDK connection:
    // 0, or 1 (logged) when the SDK cannot be initialised.
    int Initial();
    // Unregisters the handler, then closes the SDK connection; 0.
    int UnInitial();

    void SetAPICallback(DeviceContextAPI* api);
    DeviceContextAPI* GetAPICallBack();

protected:
    DCSUtility();

    DeviceContextAPI* m_pAPI; // not owned
    static DCSUtility* m_Instance;
};

} // namespace IPCAPI

#endif
