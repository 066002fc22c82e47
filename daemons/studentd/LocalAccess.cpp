#include "LocalAccess.h"

#include <crypt.h>
#include <grp.h>
#include <pwd.h>
#include <shadow.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace studentd {

namespace {

// Calls lookup(buffer, size) with a growing buffer while it reports ERANGE.
template <class Lookup>
bool WithBuffer(Lookup lookup)
{
    for (std::size_t size = 4096; size <= (1u << 22); size *= 2) {
        std::vector<char> buffer(size);
        const int rc = lookup(buffer.data(), buffer.size());
        if (rc != ERANGE)
            return rc == 0;
    }
    return false;
}

bool SameText(const std::string& a, const std::string& b)
{
    // Every byte is looked at whatever differs, so the time tells nothing
    // about where.
    unsigned char diff = a.size() == b.size() ? 0 : 1;
    const std::size_t n = std::max(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
        const unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
        diff = static_cast<unsigned char>(diff | (x ^ y));
    }
    return diff == 0;
}

// A hash setting of the system's preferred method, for the accounts that
// have no usable hash of their own.
const std::string& StandInSetting()
{
    static const std::string setting = [] {
        char out[CRYPT_GENSALT_OUTPUT_SIZE] = {};
        const char* made = crypt_gensalt_rn(nullptr, 0, nullptr, 0, out, sizeof out);
        return std::string(made ? made : "$6$tavstandinsalt$");
    }();
    return setting;
}

} // namespace

bool IsAdministrator(uid_t uid, const std::string& group)
{
    if (uid == 0)
        return true;
    struct group gr {};
    struct group* grFound = nullptr;
    passwd pw{};
    passwd* pwFound = nullptr;
    gid_t adminGid = 0;
    if (!WithBuffer([&](char* buf, std::size_t size) {
            const int rc = getgrnam_r(group.c_str(), &gr, buf, size, &grFound);
            if (rc == 0 && grFound)
                adminGid = gr.gr_gid;
            return rc;
        }) ||
        !grFound)
        return false;
    std::string name;
    gid_t primary = 0;
    if (!WithBuffer([&](char* buf, std::size_t size) {
            const int rc = getpwuid_r(uid, &pw, buf, size, &pwFound);
            if (rc == 0 && pwFound) {
                name = pw.pw_name;
                primary = pw.pw_gid;
            }
            return rc;
        }) ||
        !pwFound)
        return false;
    if (primary == adminGid)
        return true;
    int count = 64;
    std::vector<gid_t> groups;
    for (int tries = 0; tries < 8; ++tries) {
        groups.resize(static_cast<std::size_t>(count));
        const int wanted = count;
        if (getgrouplist(name.c_str(), primary, groups.data(), &count) >= 0) {
            groups.resize(static_cast<std::size_t>(count));
            return std::find(groups.begin(), groups.end(), adminGid) != groups.end();
        }
        if (count <= wanted)
            count = wanted * 2;
    }
    return false;
}

bool PasswordMatches(const std::string& user, const std::string& password)
{
    std::string hash;
    spwd entry{};
    spwd* found = nullptr;
    WithBuffer([&](char* buf, std::size_t size) {
        const int rc = getspnam_r(user.c_str(), &entry, buf, size, &found);
        if (rc == 0 && found && found->sp_pwdp)
            hash = found->sp_pwdp;
        return rc;
    });
    // "!" and "*" mark locked accounts; an empty hash, one without a
    // password: neither is ever matched.
    const bool usable = !hash.empty() && hash[0] != '!' && hash[0] != '*';
    const std::string& setting = usable ? hash : StandInSetting();
    auto data = std::make_unique<crypt_data>();
    const char* result = crypt_rn(password.c_str(), setting.c_str(), data.get(), sizeof *data);
    const std::string computed = result ? result : "";
    std::fill(reinterpret_cast<char*>(data.get()),
              reinterpret_cast<char*>(data.get()) + sizeof *data, '\0');
    return usable && result && SameText(computed, hash);
}

bool GuessLimiter::Admit(uid_t uid, Clock::time_point now)
{
    Caller& c = m_callers[uid];
    while (!c.attempts.empty() && now - c.attempts.front() >= std::chrono::seconds(1))
        c.attempts.pop_front();
    if (now < c.pausedUntil || c.attempts.size() >= static_cast<std::size_t>(kAttemptsPerSecond))
        return false;
    c.attempts.push_back(now);
    return true;
}

void GuessLimiter::Failed(uid_t uid, Clock::time_point now)
{
    m_callers[uid].pausedUntil = now + kFailurePause;
}

} // namespace studentd
