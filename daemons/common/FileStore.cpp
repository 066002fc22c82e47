#include "FileStore.h"

#include "UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tavd {

namespace {

std::string Folder(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Removes the temporary file unless the rename took it.
class TempFile {
public:
    explicit TempFile(std::string path) : m_path(std::move(path)) {}
    ~TempFile()
    {
        if (!m_path.empty())
            ::unlink(m_path.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& Path() const { return m_path; }
    void Keep() { m_path.clear(); }

private:
    std::string m_path;
};

} // namespace

bool WriteFileAtomic(const std::string& path, const std::string& text, mode_t mode,
                     std::string& error)
{
    const std::string folder = Folder(path);
    const std::string name = path.substr(path.rfind('/') + 1);
    if (name.empty()) {
        error = path + ": not a file name";
        return false;
    }
    // One writer at a time (the daemon's thread): a stale temporary file
    // of a crashed run is simply replaced.
    const std::string tempPath = folder + "/." + name + ".new";
    ::unlink(tempPath.c_str());
    tavd::UniqueFd fd(
        ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (fd.get() < 0) {
        error = "cannot create " + tempPath + ": " + std::strerror(errno);
        return false;
    }
    TempFile temp(tempPath);
    // The mode asked for, whatever the umask.
    if (::fchmod(fd.get(), mode) != 0 || !WriteAll(fd.get(), text) || ::fsync(fd.get()) != 0) {
        error = "cannot write " + tempPath + ": " + std::strerror(errno);
        return false;
    }
    fd.reset();
    if (::rename(tempPath.c_str(), path.c_str()) != 0) {
        error = "cannot replace " + path + ": " + std::strerror(errno);
        return false;
    }
    temp.Keep();
    // The rename itself reaches the disk with the folder.
    tavd::UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
    return true;
}

bool EnsureDirectory(const std::string& path, mode_t mode, std::string& error)
{
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return true;
        error = path + " exists and is not a folder";
        return false;
    }
    const std::string parent = Folder(path);
    if (parent != path && parent != "." && !EnsureDirectory(parent, 0755, error))
        return false;
    if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace tavd
