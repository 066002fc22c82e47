// Trace lines around a scope, for the libraries that log through CTAVLog
// (internal, not installed; hidden, so no library exports it).
#ifndef TAV_COMMON_LOGSCOPE_H
#define TAV_COMMON_LOGSCOPE_H

#include "TAVLog.h"

#include <string>

namespace tav_common {
// Internal: never part of the library's exported symbols.
#pragma GCC visibility push(hidden)

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

#pragma GCC visibility pop
} // namespace tav_common

#endif
