#include "SafeFile.h"

#include "UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tavd {

bool ReadSmallFile(const std::string& path, std::size_t maxBytes, std::string& text,
                   std::string& error)
{
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        error = errno == ELOOP ? "is a symbolic link" : std::strerror(errno);
        return false;
    }
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "is not a regular file";
        return false;
    }
    // The size may change under us: read one byte past the bound to know.
    std::string data;
    char buf[8192];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = std::strerror(errno);
            return false;
        }
        if (n == 0)
            break;
        data.append(buf, static_cast<std::size_t>(n));
        if (data.size() > maxBytes) {
            error = "is larger than " + std::to_string(maxBytes) + " bytes";
            return false;
        }
    }
    text.swap(data);
    return true;
}

} // namespace tavd
