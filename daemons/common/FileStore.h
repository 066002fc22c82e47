// Files the daemons keep: written whole or not at all.
#ifndef TAV_DAEMONS_FILESTORE_H
#define TAV_DAEMONS_FILESTORE_H

#include <sys/types.h>

#include <string>

namespace tavd {

// Replaces the file at path with text: a new file in the same folder
// (mode as given, owned by the daemon) is written, flushed to disk and
// renamed over the old one, so a reader or a crash sees the old content or
// the new, never a part. A symbolic link at path is replaced, not followed.
bool WriteFileAtomic(const std::string& path, const std::string& text, mode_t mode,
                     std::string& error);

// Makes the folder (and missing parents) with mode when it does not exist.
bool EnsureDirectory(const std::string& path, mode_t mode, std::string& error);

} // namespace tavd

#endif
