#include "CallerAccess.h"

#include "SafeFile.h"

#include <grp.h>
#include <pwd.h>
#include <sys/fsuid.h>
#include <unistd.h>

#include <vector>

namespace teacherd {

namespace {

struct Account {
    std::string name;
    gid_t gid = 0;
};

bool Lookup(uid_t uid, Account& account)
{
    std::vector<char> buf(16384);
    struct passwd pw;
    struct passwd* found = nullptr;
    if (::getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) != 0 || !found)
        return false;
    account.name = pw.pw_name;
    account.gid = pw.pw_gid;
    return true;
}

bool GroupId(const std::string& group, gid_t& gid)
{
    std::vector<char> buf(65536);
    struct group gr;
    struct group* found = nullptr;
    if (::getgrnam_r(group.c_str(), &gr, buf.data(), buf.size(), &found) != 0 || !found)
        return false;
    gid = gr.gr_gid;
    return true;
}

// The calling thread's file system identity for one scope. Linux keeps it
// per thread, so the daemon's other threads keep theirs.
class FsIdentity {
public:
    FsIdentity(uid_t uid, gid_t gid) : m_uid(::geteuid()), m_gid(::getegid())
    {
        ::setfsgid(gid);
        ::setfsuid(uid);
    }
    ~FsIdentity()
    {
        ::setfsuid(m_uid);
        ::setfsgid(m_gid);
    }
    FsIdentity(const FsIdentity&) = delete;
    FsIdentity& operator=(const FsIdentity&) = delete;
    // setfsuid reports the previous value, so a second call tells whether
    // the first took.
    static bool Is(uid_t uid)
    {
        return static_cast<uid_t>(::setfsuid(static_cast<uid_t>(-1))) == uid;
    }

private:
    uid_t m_uid;
    gid_t m_gid;
};

} // namespace

bool IsTeacherUser(uid_t uid, const std::string& group)
{
    if (uid == 0)
        return true;
    Account account;
    gid_t teachers = 0;
    if (!Lookup(uid, account) || !GroupId(group, teachers))
        return false;
    if (account.gid == teachers)
        return true;
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (::getgrouplist(account.name.c_str(), account.gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (::getgrouplist(account.name.c_str(), account.gid, groups.data(), &count) < 0)
            return false;
    }
    groups.resize(static_cast<std::size_t>(count));
    for (const gid_t g : groups)
        if (g == teachers)
            return true;
    return false;
}

bool ReadFileAsCaller(uid_t uid, const std::string& path, std::size_t maxBytes, std::string& text,
                      std::string& error)
{
    if (uid == ::geteuid())
        return tavtools::ReadRegularFile(path, maxBytes, text, error);
    Account account;
    if (!Lookup(uid, account)) {
        error = "user " + std::to_string(uid) + " is unknown";
        return false;
    }
    FsIdentity as(uid, account.gid);
    if (!FsIdentity::Is(uid)) {
        error = "cannot take the identity of user " + std::to_string(uid);
        return false;
    }
    return tavtools::ReadRegularFile(path, maxBytes, text, error);
}

bool DropSupplementaryGroups() { return ::setgroups(0, nullptr) == 0; }

} // namespace teacherd
