// A minimal host program: it must compile and link against the installed
// headers and libraries with nothing but pkg-config or find_package.
#include "TAVLayout.h"
#include "TAVLog.h"
#include "TAVSystemSettingData.h"

#include <cstdio>

int main()
{
    using LibTAVData::CTAVLog;
    CTAVLog::SetLogFileName("hostcheck");
    CTAVLog::WriteLine("host program linked, config in " + LibTAVData::CONFIG_DIR,
                       CTAVLog::LOG_TRACE, "", false);
    std::string settings;
    if (LibTAVData::CTAVSystemSettingData().Save2String(settings) != 0)
        return 1;
    return 0;
}
