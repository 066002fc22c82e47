#include "ResultStream.h"

#include <fcntl.h>
#include <unistd.h>

namespace tavtools {

std::FILE* TakeStandardOutput(bool logToStderr)
{
    std::fflush(stdout);
    const int copy = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (copy < 0)
        return stdout;
    std::FILE* out = ::fdopen(copy, "w");
    if (!out) {
        ::close(copy);
        return stdout;
    }
    std::setvbuf(out, nullptr, _IOLBF, 0);
    if (logToStderr) {
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
    } else {
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) {
            ::dup2(null, STDOUT_FILENO);
            ::close(null);
        }
    }
    return out;
}

} // namespace tavtools
