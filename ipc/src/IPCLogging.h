// Logging helpers of the IPC library (internal).
#ifndef TAV_IPC_IPCLOGGING_H
#define TAV_IPC_IPCLOGGING_H

#include "TAVLog.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace IPCAPI {

// Trace lines around a scope ("<name> >>Start" now, "<name> <<End" when it
// ends) and single lines. A request writes a dozen lines: each text is
// built once and moved into the log, never copied on the way. Hidden: no
// library exports it.
class __attribute__((visibility("hidden"))) LogScope {
public:
    explicit LogScope(const char* name) : m_name(name) { Trace(Join(name, " >>Start")); }
    ~LogScope() { Trace(Join(m_name, " <<End")); }
    LogScope(const LogScope&) = delete;
    LogScope& operator=(const LogScope&) = delete;

    static void Trace(std::string text) { Write(std::move(text), LibTAVData::CTAVLog::LOG_TRACE); }
    static void Warning(std::string text)
    {
        Write(std::move(text), LibTAVData::CTAVLog::LOG_WARNING);
    }
    static void Error(std::string text) { Write(std::move(text), LibTAVData::CTAVLog::LOG_ERROR); }

    // The parts one after the other, in one allocation.
    template <class... Parts>
    static std::string Join(const Parts&... parts)
    {
        const std::string_view views[] = {std::string_view(parts)...};
        std::size_t size = 0;
        for (std::string_view v : views)
            size += v.size();
        std::string text;
        text.reserve(size);
        for (std::string_view v : views)
            text.append(v);
        return text;
    }

private:
    static void Write(std::string&& text, LibTAVData::CTAVLog::LOGLEVEL level)
    {
        LibTAVData::CTAVLog::WriteLine(std::move(text), level, std::string(), false);
    }

    const char* m_name;
};

// "Password", "OldPassword" and "NewPassword": values never logged.
bool IsSecretParameter(const char* name);

// The envelope text with the values of the "Password", "OldPassword" and
// "NewPassword" parameters replaced by "***", for log lines only: log files
// are readable by others, the bus traffic itself is unchanged.
std::string RedactSecrets(const std::string& payload);

// What a log line shows of a payload: RedactSecrets, then at most
// kLoggedPayloadBytes of it (cut on a character boundary) followed by
// "... (<size> bytes)", so that one line stays small whatever arrives.
constexpr std::size_t kLoggedPayloadBytes = 1024;
std::string LoggedPayload(const std::string& payload);

// prefix followed by LoggedPayload(payload), built in place.
std::string PayloadLine(std::string_view prefix, const std::string& payload);

} // namespace IPCAPI

#endif
