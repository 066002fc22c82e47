#include "IPCCommonUtil.h"

#include "IPCLogging.h"

#include <exception>
#include <sstream>

namespace IPCAPI {

int IPCCommonUtil::LoadString(CIntfData& data, std::string xml)
{
    LogScope scope("IPCCommonUtil::LoadString()");
    try {
        if (data.load(xml))
            return 0;
        LogScope::Error("IPCCommonUtil::LoadString() --Load FAILED");
    } catch (const std::exception&) {
        LogScope::Error("IPCCommonUtil::LoadString() --Load EXCEPTION");
    }
    return 1;
}

std::string IPCCommonUtil::ParseInt2String(int value)
{
    std::ostringstream os;
    os << value;
    if (!os.good()) {
        LogScope::Warning("IPCCommonUtil::ParseInt2String Err");
        return "";
    }
    return os.str();
}

void IPCCommonUtil::ShowLogForStudentInfo(std::string prefix, tagStudent_t student)
{
    LogScope scope("IPCCommonUtil::ShowLogForStudentInfo()");
    LogScope::Trace(prefix + " --StuInfo.IP = " + student.IP);
    LogScope::Trace(prefix + " --StuInfo.hostname = " + student.hostname);
    LogScope::Trace(prefix + " --StuInfo.studentID = " + student.studentID);
    LogScope::Trace(prefix + " --StuInfo.username = " + student.username);
    LogScope::Trace(prefix + " --StuInfo.start_time = " + ParseInt2String(student.start_time));
    LogScope::Trace(prefix + " --StuInfo.bLocked = " + ParseInt2String(student.bLocked));
}

} // namespace IPCAPI
