// Who called, and what the caller may read: the teacher daemon runs as root
// and acts for its callers, so files a request names are opened with the
// caller's rights, never the daemon's.
#ifndef TAV_TEACHERD_CALLERACCESS_H
#define TAV_TEACHERD_CALLERACCESS_H

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace teacherd {

// Root, or a user whose primary or supplementary group is group. A group
// that does not exist admits root alone.
bool IsTeacherUser(uid_t uid, const std::string& group);

// Reads the regular file at path (no symbolic link as its last component,
// no FIFO or device, at most maxBytes) as user uid with its primary group
// would: the path is walked and the file opened with that user's file
// system identity. Root reads as root. False with the reason in error.
// Call DropSupplementaryGroups() once at start, or the daemon's own
// supplementary groups would still count.
bool ReadFileAsCaller(uid_t uid, const std::string& path, std::size_t maxBytes, std::string& text,
                      std::string& error);

// Leaves the process (before it starts threads) with no supplementary
// groups; false when not allowed (not root).
bool DropSupplementaryGroups();

} // namespace teacherd

#endif
