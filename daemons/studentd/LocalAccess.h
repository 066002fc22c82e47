// Who may do what on this machine: the privileged requests of the student
// applications (root, or a member of the administrators' group, judged by
// the caller's uid on the bus) and checking a local account's password,
// with a bound on how fast one user may guess.
#ifndef TAV_STUDENTD_LOCALACCESS_H
#define TAV_STUDENTD_LOCALACCESS_H

#include <sys/types.h>

#include <chrono>
#include <deque>
#include <map>
#include <string>

namespace studentd {

// Root, or a user whose primary or supplementary groups (in the group
// database) include group.
bool IsAdministrator(uid_t uid, const std::string& group);

// True when password is the password of the local account user (the
// shadow database, hashed with crypt). Unknown users, locked accounts and
// accounts without a password never match; they cost a hash all the same,
// so that the time taken does not tell which accounts exist.
bool PasswordMatches(const std::string& user, const std::string& password);

// At most kAttemptsPerSecond password checks per second for one caller,
// and none for kFailurePause after one that failed.
class GuessLimiter {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr int kAttemptsPerSecond = 3;
    static constexpr std::chrono::seconds kFailurePause{1};

    // True when uid may try now (the attempt is counted).
    bool Admit(uid_t uid, Clock::time_point now);
    void Failed(uid_t uid, Clock::time_point now);

private:
    struct Caller {
        std::deque<Clock::time_point> attempts; // within the last second
        Clock::time_point pausedUntil{};
    };
    std::map<uid_t, Caller> m_callers;
};

} // namespace studentd

#endif
