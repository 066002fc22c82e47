// Pressing the bezel button of the device SDK stand-in, as a person does
// with "echo 4 > $DCS_BEZEL_PIPE".
#ifndef TAV_DEVICECONTEXT_TESTS_BUTTONPIPE_H
#define TAV_DEVICECONTEXT_TESTS_BUTTONPIPE_H

#include "DcsSdk.h"
#include "TestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace dctest {

// A fresh pipe path, named to the SDK through its environment variable.
inline std::string UseFreshButtonPipe()
{
    const std::string path = tavtest::MakeTempDir("bezel") + "/button";
    setenv(DCS_BEZEL_PIPE_ENV, path.c_str(), 1);
    return path;
}

// One write of text into the pipe; false when no SDK has it open (or
// closes it before the write).
inline bool Press(const std::string& pipe, const std::string& text)
{
    signal(SIGPIPE, SIG_IGN);
    const int fd = open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    return ok;
}

} // namespace dctest

#endif
