// The daemon's log lines, through the one log of the libraries (the file
// name is set once at start: tav-teacherd).
#ifndef TAV_TEACHERD_TEACHERLOG_H
#define TAV_TEACHERD_TEACHERLOG_H

#include "TAVLog.h"

#include <string>

namespace teacherd {

inline void Log(const std::string& text)
{
    LibTAVData::CTAVLog::WriteLine("tav-teacherd: " + text, LibTAVData::CTAVLog::LOG_TRACE, "",
                                   false);
}

inline void LogWarning(const std::string& text)
{
    LibTAVData::CTAVLog::WriteLine("tav-teacherd: " + text, LibTAVData::CTAVLog::LOG_WARNING, "",
                                   false);
}

inline void LogError(const std::string& text)
{
    LibTAVData::CTAVLog::WriteLine("tav-teacherd: " + text, LibTAVData::CTAVLog::LOG_ERROR, "",
                                   false);
}

} // namespace teacherd

#endif
