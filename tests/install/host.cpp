// A minimal host program: it must compile and link against the installed
// headers and libraries with nothing but pkg-config or find_package.
#include "DeviceContextAPI.h"
#include "IntfData.h"
#include "TAVLayout.h"
#include "TAVLog.h"
#include "TAVSystemSettingData.h"
#include "TabNavigationData.h"

#include <cstdio>

int main()
{
    using LibTAVData::CTAVLog;
    CTAVLog::SetLogFileName("hostcheck");
    CTAVLog::WriteLine("host program linked, config in " + LibTAVData::CONFIG_DIR,
                       CTAVLog::LOG_TRACE, "", false);
    IPCAPI::CIntfData("HOST_CHECK", 1, "null").m_ParaXml.setInt("iReturn", 0);
    CTAVLog::WriteLine(IPCAPI::UninitializeDeviceContextAPI(nullptr),
                       "device context released: ", false, CTAVLog::LOG_TRACE, "");
    std::string settings;
    if (LibTAVData::CTAVSystemSettingData().Save2String(settings) != 0)
        return 1;
    LibTAVData::CTabNavigationData navigation;
    return navigation.IsCategoryExist("host") == 0 ? 0 : 1;
}
