// Helpers shared by the API classes: reading an envelope with its failures
// logged, integers as text, student records to the log.
#ifndef TAV_IPC_IPCCOMMONUTIL_H
#define TAV_IPC_IPCCOMMONUTIL_H

#include "IntfData.h"
#include "ParaXml.h"

#include <string>

namespace IPCAPI {

class IPCCommonUtil {
public:
    // 0 when xml loads into data; 1 (logged) when it does not.
    static int LoadString(CIntfData& data, std::string xml);
    // Decimal text of value; empty (logged) if the conversion fails.
    static std::string ParseInt2String(int value);
    // Six trace lines: IP, hostname, studentID, username, start_time, bLocked.
    static void ShowLogForStudentInfo(std::string prefix, tagStudent_t student);
};

} // namespace IPCAPI

#endif
