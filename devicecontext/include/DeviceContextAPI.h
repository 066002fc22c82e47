// The device context of a host program: fixed device limits and the
// netbook's bezel-button presses, delivered to a callback of the host.
//
//   IPCAPI::DeviceContextAPI* dc = nullptr;
//   IPCAPI::InitializeDeviceContextAPI(&dc);
//   dc->SetDeviceContextCallBack(&myCallback);   // presses start arriving
//   ...
//   IPCAPI::UninitializeDeviceContextAPI(dc);     // and stop
#ifndef TAV_DEVICECONTEXT_DEVICECONTEXTAPI_H
#define TAV_DEVICECONTEXT_DEVICECONTEXTAPI_H

namespace IPCAPI {

// clickType of IDeviceContextCallback::OnFnKeyEvent.
enum { BEZELBUTTON_SINGLE_CLICK = 0, BEZELBUTTON_DOUBLE_CLICK = 1 };

// Implemented by the host; stays the host's. OnFnKeyEvent runs on the
// device SDK's event thread.
class IDeviceContextCallback {
public:
    virtual void OnFnKeyEvent(int clickType) = 0;
    virtual ~IDeviceContextCallback() {}
};

class DCSUtility;

class DeviceContextAPI {
public:
    DeviceContextAPI();
    // Closes the device SDK connection and forgets the callback; waits for
    // a bezel-button callback running on another thread to return.
    virtual ~DeviceContextAPI();

    DeviceContextAPI(const DeviceContextAPI&) = delete;
    DeviceContextAPI& operator=(const DeviceContextAPI&) = delete;

    // Forgets the callback; 0.
    int Initial();
    // Closes the device SDK connection (as the destructor does) and forgets
    // the callback; 0.
    int UnInitial();

    // Routes bezel-button presses to callback (not owned), opening the
    // device SDK connection if it is not open. false for a null callback.
    bool SetDeviceContextCallBack(IDeviceContextCallback* callback);
    IDeviceContextCallback* GetDeviceContextCallback();

    int GetMaxBrightLightness(); // 7
    int GetMinBrightLightness(); // 1
    int GetMaxVolume();          // 23700
    int GetMinVolume();          // 0
    // The USB switch is not the device context's to change: always true.
    bool ForbidUSB(bool forbid);

private:
    friend class DCSUtility;
    IDeviceContextCallback* m_pCallback;
};

// The one DeviceContextAPI of the process: created on the first call, the
// same object on every later one. 0; -1 (nothing done) for a null api.
int InitializeDeviceContextAPI(DeviceContextAPI** api);
// Destroys that object, whatever api is (null included); 0.
int UninitializeDeviceContextAPI(DeviceContextAPI* api);

} // namespace IPCAPI

#endif
