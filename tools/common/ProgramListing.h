// The programs of one folder as a search-result programs document: what a
// program search answers, in the student daemon and in the simulator.
#ifndef TAV_TOOLS_PROGRAMLISTING_H
#define TAV_TOOLS_PROGRAMLISTING_H

#include <cstddef>
#include <string>

namespace tavtools {

constexpr int kMaxPrograms = 1000;
constexpr std::size_t kMaxLauncherBytes = 64 * 1024;

struct ProgramListing {
    bool listed = false; // false: the folder could not be read
    std::string xml;     // programs document (search-result layout)
    int count = 0;
    std::string error;
};

// Lists folder (an absolute path), not its subfolders: every ".desktop"
// launcher that is a regular file of at most kMaxLauncherBytes, of type
// Application and not hidden (its Name, its Exec without field codes, its
// Icon), and every other regular file with an execute bit (file name, full
// path). Links are never followed, nothing but launchers is opened, and
// nothing opened can block (FIFOs and devices are refused at once). At most
// kMaxPrograms, by file name.
ProgramListing ListPrograms(const std::string& folder);

} // namespace tavtools

#endif
