// Logging helpers of the IPC library (internal).
#ifndef TAV_IPC_IPCLOGGING_H
#define TAV_IPC_IPCLOGGING_H

#include "LogScope.h"

#include <cstddef>
#include <string>

namespace IPCAPI {

using tav_common::LogScope;

// The envelope text with the values of the "Password", "OldPassword" and
// "NewPassword" parameters replaced by "***", for log lines only: log files
// are readable by others, the bus traffic itself is unchanged.
std::string RedactSecrets(const std::string& payload);

// What a log line shows of a payload: RedactSecrets, then at most
// kLoggedPayloadBytes of it (cut on a character boundary) followed by
// "... (<size> bytes)", so that one line stays small whatever arrives.
constexpr std::size_t kLoggedPayloadBytes = 1024;
std::string LoggedPayload(const std::string& payload);

} // namespace IPCAPI

#endif
