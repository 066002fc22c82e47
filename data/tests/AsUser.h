// Runs a test step as another local user (root only).
#ifndef TAV_DATA_TESTS_ASUSER_H
#define TAV_DATA_TESTS_ASUSER_H

#include "TestSupport.h"

#include <fcntl.h>
#include <grp.h>
#include <unistd.h>

// Runs fn in a forked child under uid and gid (no other groups); returns its
// exit status. The log file is the test's, so the child's log lines are read
// from its standard output into out.
inline int AsUser(uid_t uid, gid_t gid, const std::function<int()>& fn, std::string* out = nullptr)
{
    const std::string file = tavtest::TempRoot() + "/as-user.out";
    const int rc = tavtest::RunInChild([&] {
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::dup2(fd, 1) != 1 || ::setgroups(0, nullptr) != 0 ||
            ::setresgid(gid, gid, gid) != 0 || ::setresuid(uid, uid, uid) != 0)
            return 90;
        return fn();
    });
    if (out)
        *out = tavtest::ReadFile(file);
    return rc;
}

#endif
