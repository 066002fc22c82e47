// Reading small files that an administrator or another user may have
// placed: never through a symbolic link in the last component, never
// blocking on a FIFO or device, never more than a bound.
#ifndef TAV_DAEMONS_SAFEFILE_H
#define TAV_DAEMONS_SAFEFILE_H

#include <cstddef>
#include <string>

namespace tavd {

// Reads the regular file at path into text. Fails (false, with a reason in
// error and text untouched) when the file cannot be opened, is a symbolic
// link or not a regular file, or holds more than maxBytes bytes.
bool ReadSmallFile(const std::string& path, std::size_t maxBytes, std::string& text,
                   std::string& error);

} // namespace tavd

#endif
