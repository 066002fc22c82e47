#include "StateStore.h"

#include "LogScope.h"
#include "SafeFile.h"
#include "UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace studentd {

using tav_common::LogScope;

namespace {

constexpr std::size_t kMaxStateBytes = 64 * 1024;

} // namespace

bool StateStore::Prepare(std::string& error) const
{
    // Each missing level of the path, root-only.
    for (std::size_t slash = 1; slash != std::string::npos;) {
        slash = m_dir.find('/', slash + 1);
        const std::string level = m_dir.substr(0, slash);
        if (::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST) {
            error = "cannot create " + level + ": " + std::strerror(errno);
            return false;
        }
    }
    struct stat st;
    if (::stat(m_dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = m_dir + " is not a folder";
        return false;
    }
    return true;
}

bool StateStore::Exists(const std::string& name) const
{
    struct stat st;
    return ::lstat(Path(name).c_str(), &st) == 0;
}

bool StateStore::Read(const std::string& name, std::string& text) const
{
    std::string error;
    if (tavtools::ReadRegularFile(Path(name), kMaxStateBytes, text, error))
        return true;
    if (Exists(name))
        LogScope::Error("StateStore --cannot read " + Path(name) + ": " + error);
    return false;
}

bool StateStore::Write(const std::string& name, const std::string& text) const
{
    std::string error;
    if (tavd::WriteFileAtomic(Path(name), text, 0600, error))
        return true;
    LogScope::Error("StateStore --" + error);
    return false;
}

bool StateStore::Remove(const std::string& name) const
{
    if (::unlink(Path(name).c_str()) == 0 || errno == ENOENT)
        return true;
    LogScope::Error("StateStore --cannot remove " + Path(name) + ": " + std::strerror(errno));
    return false;
}

} // namespace studentd
