// The answer of a simulated program search: a programs document in the
// search-result layout, built from a real folder listing.
#ifndef TAV_TOOLS_PROGRAMLISTING_H
#define TAV_TOOLS_PROGRAMLISTING_H

#include <string>

namespace simdaemon {

// Lists folder (not its subfolders): one program per desktop launcher
// (.desktop file of type Application that is shown: its Name, its Exec
// command without field codes, its Icon) and per other executable file
// (file name, full path). Sorted by file name, at most 1000 programs.
// Launchers that are links, FIFOs, devices or over 64 KiB are skipped
// unread. False when the folder cannot be read; count is the number of
// programs.
bool BuildProgramsDocument(const std::string& folder, std::string& xml, int& count);

} // namespace simdaemon

#endif
