#include "ConsolePassword.h"

#include "FileStore.h"
#include "SafeFile.h"
#include "TeacherLog.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <sys/stat.h>

#include <cerrno>
#include <sstream>
#include <vector>

namespace teacherd {

namespace {

constexpr const char* kScheme = "pbkdf2-sha256";
constexpr std::size_t kDigestBytes = 32;
constexpr int kMinIterations = 1000;
constexpr int kMaxIterations = 10000000;
constexpr auto kFirstDelay = std::chrono::seconds(1);
constexpr auto kLongestDelay = std::chrono::seconds(30);

std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

bool FromHex(const std::string& text, std::size_t bytes, std::string& out)
{
    if (text.size() != bytes * 2)
        return false;
    out.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        int value = 0;
        for (std::size_t j = i; j < i + 2; ++j) {
            const char c = text[j];
            const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            if (d < 0)
                return false;
            value = value * 16 + d;
        }
        out += static_cast<char>(value);
    }
    return true;
}

bool Derive(const std::string& password, const std::string& salt, int iterations,
            std::string& digest)
{
    std::vector<unsigned char> out(kDigestBytes);
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                          reinterpret_cast<const unsigned char*>(salt.data()),
                          static_cast<int>(salt.size()), iterations, EVP_sha256(),
                          static_cast<int>(out.size()), out.data()) != 1)
        return false;
    digest.assign(out.begin(), out.end());
    return true;
}

} // namespace

ConsolePassword::ConsolePassword(std::string path) : m_path(std::move(path)) {}

ConsolePassword::Stored ConsolePassword::Load(Hash& hash) const
{
    struct stat st;
    if (::lstat(m_path.c_str(), &st) != 0 && errno == ENOENT)
        return Stored::None;
    std::string text, why;
    if (!tavtools::ReadRegularFile(m_path, 4096, text, why)) {
        LogError("password file " + m_path + ": " + why);
        return Stored::Unusable;
    }
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    std::vector<std::string> fields;
    std::istringstream in(text);
    for (std::string f; std::getline(in, f, '$');)
        fields.push_back(f);
    int iterations = 0;
    const bool ok = fields.size() == 4 && fields[0] == kScheme &&
                    fields[1].find_first_not_of("0123456789") == std::string::npos &&
                    fields[1].size() < 9 && !fields[1].empty() &&
                    (iterations = std::stoi(fields[1])) >= kMinIterations &&
                    iterations <= kMaxIterations && FromHex(fields[2], kSaltBytes, hash.salt) &&
                    FromHex(fields[3], kDigestBytes, hash.digest);
    if (!ok) {
        LogError("password file " + m_path +
                 " is not a password hash of this daemon; remove it to set a new password");
        return Stored::Unusable;
    }
    hash.iterations = iterations;
    return Stored::Set;
}

bool ConsolePassword::Matches(const Hash& hash, const std::string& password) const
{
    std::string digest;
    return Derive(password, hash.salt, hash.iterations, digest) &&
           digest.size() == hash.digest.size() &&
           CRYPTO_memcmp(digest.data(), hash.digest.data(), digest.size()) == 0;
}

bool ConsolePassword::Save(const std::string& password)
{
    std::vector<unsigned char> salt(kSaltBytes);
    std::string digest;
    if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1) {
        LogError("no random salt for the console password");
        return false;
    }
    const std::string saltText(salt.begin(), salt.end());
    if (!Derive(password, saltText, kIterations, digest))
        return false;
    const std::string line = std::string(kScheme) + "$" + std::to_string(kIterations) + "$" +
                             Hex(saltText) + "$" + Hex(digest) + "\n";
    std::string why;
    if (!tavd::WriteFileAtomic(m_path, line, 0600, why)) {
        LogError("console password not saved: " + why);
        return false;
    }
    return true;
}

bool ConsolePassword::Throttled(uid_t caller)
{
    const auto it = m_failures.find(caller);
    if (it == m_failures.end() || std::chrono::steady_clock::now() >= it->second.retryAt)
        return false;
    LogWarning("password attempt of uid " + std::to_string(caller) +
               " refused: too soon after a wrong one");
    return true;
}

void ConsolePassword::Record(uid_t caller, bool right)
{
    if (right) {
        m_failures.erase(caller);
        return;
    }
    Failures& f = m_failures[caller];
    auto delay = std::chrono::duration_cast<std::chrono::steady_clock::duration>(kFirstDelay);
    for (int i = 0; i < f.count && delay < kLongestDelay; ++i)
        delay *= 2;
    if (delay > kLongestDelay)
        delay = kLongestDelay;
    ++f.count;
    f.retryAt = std::chrono::steady_clock::now() + delay;
    LogWarning("wrong password from uid " + std::to_string(caller) + " (" +
               std::to_string(f.count) + " in a row)");
}

int ConsolePassword::Guarded(uid_t caller, const std::function<int()>& check)
{
    if (Throttled(caller))
        return 16;
    const int rc = check();
    if (rc == 0 || rc == 1)
        Record(caller, rc == 0);
    return rc;
}

int ConsolePassword::Verify(uid_t caller, const std::string& password)
{
    return Guarded(caller, [&] {
        Hash hash;
        switch (Load(hash)) {
        case Stored::None:
            LogWarning("no console password is set yet");
            return 1;
        case Stored::Unusable:
            return 1;
        case Stored::Set:
            break;
        }
        return Matches(hash, password) ? 0 : 1;
    });
}

int ConsolePassword::Change(uid_t caller, const std::string& oldPassword,
                            const std::string& newPassword)
{
    if (newPassword.empty()) {
        LogError("an empty console password is refused");
        return 2;
    }
    const int rc = Guarded(caller, [&] {
        Hash hash;
        switch (Load(hash)) {
        case Stored::None:
            if (!oldPassword.empty())
                return 1;
            break;
        case Stored::Unusable:
            return 1;
        case Stored::Set:
            if (!Matches(hash, oldPassword))
                return 1;
            break;
        }
        if (!Save(newPassword))
            return 3; // not a guess: the file could not be written
        Log("console password changed by uid " + std::to_string(caller));
        return 0;
    });
    return rc == 3 ? 1 : rc;
}

} // namespace teacherd
