// A tool's results on standard output, apart from the library log: the log
// echoes every line to file descriptor 1, so the tool keeps a copy of the
// original standard output for its results and points descriptor 1 at its
// standard error (logToStderr) or at /dev/null.
#ifndef TAV_TOOLS_RESULTSTREAM_H
#define TAV_TOOLS_RESULTSTREAM_H

#include <cstdio>

namespace tavtools {

// The stream for results (line-buffered); stdout itself when there is no
// standard output to copy (the results then go where the log goes). Call
// once, before anything is logged.
std::FILE* TakeStandardOutput(bool logToStderr);

} // namespace tavtools

#endif
