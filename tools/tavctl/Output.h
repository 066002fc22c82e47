// What tavctl prints. The library log echoes every line to standard output,
// so tavctl keeps its own copy of the original standard output for its
// results and points file descriptor 1 elsewhere (the terminal's standard
// error with --verbose, nowhere otherwise). Lines come from the main thread
// and from the notification thread, so each is written whole under a lock.
#ifndef TAVCTL_OUTPUT_H
#define TAVCTL_OUTPUT_H

#include "ParaXml.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace tavctl {

class Output {
public:
    // Takes over standard output as described above.
    static void Setup(bool verbose);
    // One line (the newline is added) on the result stream.
    static void Line(const std::string& text);
    // One line on standard error, prefixed "tavctl: ", and in the log.
    // Only after Setup.
    static void Error(const std::string& text);

    // A text as a C string literal: quotes, backslash escapes for quotes,
    // backslashes and control characters.
    static std::string Quote(const std::string& text);
    // The text itself when it is a plain word, else Quote(text).
    static std::string Word(const std::string& text);
    // "S01 user=alice host=nb-01 ip=10.0.0.11 start_time=0 locked=0 status=1"
    static std::string Student(const IPCAPI::tagStudent_t& s);

private:
    static std::FILE* s_out;
    static std::mutex s_mutex;
};

} // namespace tavctl

#endif
