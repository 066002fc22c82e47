// Logging helpers of the IPC library (internal).
#ifndef TAV_IPC_IPCLOGGING_H
#define TAV_IPC_IPCLOGGING_H

#include "TAVLog.h"

#include <string>

namespace IPCAPI {

// Writes "<name> >>Start" now and "<name> <<End" when the scope ends.
class LogScope {
public:
    explicit LogScope(const char* name) : m_name(name) { Trace(std::string(m_name) + " >>Start"); }
    ~LogScope() { Trace(std::string(m_name) + " <<End"); }
    LogScope(const LogScope&) = delete;
    LogScope& operator=(const LogScope&) = delete;

    static void Trace(const std::string& text)
    {
        LibTAVData::CTAVLog::WriteLine(text, LibTAVData::CTAVLog::LOG_TRACE, "", false);
    }
    static void Warning(const std::string& text)
    {
        LibTAVData::CTAVLog::WriteLine(text, LibTAVData::CTAVLog::LOG_WARNING, "", false);
    }
    static void Error(const std::string& text)
    {
        LibTAVData::CTAVLog::WriteLine(text, LibTAVData::CTAVLog::LOG_ERROR, "", false);
    }

private:
    const char* m_name;
};

// The envelope text with the values of the "Password", "OldPassword" and
// "NewPassword" parameters replaced by "***", for log lines only: log files
// are readable by others, the bus traffic itself is unchanged.
std::string RedactSecrets(const std::string& payload);

} // namespace IPCAPI

#endif
