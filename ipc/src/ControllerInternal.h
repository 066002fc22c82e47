// What the controller's files share (internal): its limits and timings.
#ifndef TAV_IPC_CONTROLLERINTERNAL_H
#define TAV_IPC_CONTROLLERINTERNAL_H

#include "InputLimits.h"

#include <chrono>
#include <string>

namespace IPCAPI {
namespace detail {

using Clock = std::chrono::steady_clock;

// The largest message the bus library reads: an envelope at the document
// limit plus room for the message header. A larger one is refused from its
// header alone, before its body is read, and the bus library then drops the
// connection (it cannot skip a body); the controller connects again at once
// and asks for its name while the bus still counts the old connection, so
// the name passes straight to the new one. Measured on a private bus with a
// 33 MB envelope: the receiver's peak memory stays within 0.1 MiB of idle
// (a 1 MB envelope that is read costs 3 to 7 MiB); the daemon's name has no
// owner for under 1 ms (and only root may own it meanwhile); a request that
// reached the daemon behind the oversized message gets an error reply (its
// blocking call returns 1), the next one is answered. Without this limit
// the bus library would hold each such message whole (up to 32 MiB) before
// any check of ours could run.
inline constexpr long kMaxMessageBytes =
    static_cast<long>(tav_common::kMaxDocumentBytes) + 64 * 1024;

// One call of the bus library's read reads a few KiB; the socket is read
// until empty, at most this many times and this long per cycle, waiting
// up to kPieceWaitMs for the next piece of a message being written.
inline constexpr int kDrainReadsPerCycle = 4096;
inline constexpr std::chrono::milliseconds kDrainTimePerCycle(25);
inline constexpr int kPieceWaitMs = 2;

// Messages a worker cycle may skip (not for any registered object) before
// it gives up the cycle; at most one is delivered either way.
inline constexpr int kSkipsPerCycle = 256;

// Polls retry a lost bus after 100 ms, then at doubling intervals up to 1 s.
inline constexpr std::chrono::milliseconds kFirstReconnectWait(100);
inline constexpr std::chrono::milliseconds kLongestReconnectWait(1000);

inline std::string text(const char* s) { return s ? s : ""; }

} // namespace detail
} // namespace IPCAPI

#endif
