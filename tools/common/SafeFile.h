// Reading a file that a tool was pointed at (an option, a folder being
// searched) without trusting what is there: links are not followed, a FIFO
// or device never blocks the open, only regular files are read, and no read
// goes past a bound fixed before it starts.
#ifndef TAV_TOOLS_SAFEFILE_H
#define TAV_TOOLS_SAFEFILE_H

#include <cstddef>
#include <string>

namespace tavtools {

// Reads the whole regular file at path (at name inside the open folder
// dirFd, when given) into text. Refused, with the reason in error and text
// left alone, when the path names a symbolic link, anything but a regular
// file, or more than maxBytes (also when the file grows past that while it
// is read). error reads well after "cannot read PATH: ".
bool ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& text,
                     std::string& error);
bool ReadRegularFileAt(int dirFd, const std::string& name, std::size_t maxBytes, std::string& text,
                       std::string& error);

} // namespace tavtools

#endif
