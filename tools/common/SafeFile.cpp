#include "SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tavtools {

namespace {

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

const char* Kind(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a plain file";
}

std::string TooBig(std::size_t maxBytes)
{
    return "larger than " + std::to_string(maxBytes) + " bytes";
}

} // namespace

bool ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& text,
                     std::string& error)
{
    return ReadRegularFileAt(AT_FDCWD, path, maxBytes, text, error);
}

bool ReadRegularFileAt(int dirFd, const std::string& name, std::size_t maxBytes, std::string& text,
                       std::string& error)
{
    // O_NONBLOCK: opening a FIFO or a device must not wait for its other
    // end; the descriptor is checked before anything is read from it.
    const Fd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        error = errno == ELOOP ? "a symbolic link (not followed)" : std::strerror(errno);
        return false;
    }
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = std::string(Kind(st.st_mode)) + ", not a regular file";
        return false;
    }
    if (static_cast<unsigned long long>(st.st_size) > maxBytes) {
        error = TooBig(maxBytes);
        return false;
    }
    // The size may be stale (a growing file, /proc files report 0): read at
    // most one byte past the bound, enough to tell that it was crossed.
    std::string data;
    char chunk[65536];
    for (;;) {
        const std::size_t room = maxBytes + 1 - data.size();
        const ssize_t n = ::read(fd.get(), chunk, room < sizeof chunk ? room : sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = std::strerror(errno);
            return false;
        }
        if (n == 0)
            break;
        data.append(chunk, static_cast<std::size_t>(n));
        if (data.size() > maxBytes) {
            error = TooBig(maxBytes);
            return false;
        }
    }
    text.swap(data);
    return true;
}

} // namespace tavtools
