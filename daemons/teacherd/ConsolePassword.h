// The teacher console password: kept only as a salted PBKDF2-HMAC-SHA256
// hash in one file (mode 0600), one line:
//
//   pbkdf2-sha256$<iterations>$<salt, 32 hex digits>$<hash, 64 hex digits>
//
// Guesses are throttled per caller: after a wrong password the caller's next
// attempt is refused (result 16, busy) for 1 s, doubling with each further
// failure up to 30 s; a right password clears the count.
#ifndef TAV_TEACHERD_CONSOLEPASSWORD_H
#define TAV_TEACHERD_CONSOLEPASSWORD_H

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>

namespace teacherd {

class ConsolePassword {
public:
    // A check costs about 0.15 s of CPU on a development machine
    // (bench/teacherd); the file records the count, so raising it keeps old
    // files valid.
    static constexpr int kIterations = 600000;
    static constexpr std::size_t kSaltBytes = 16;

    explicit ConsolePassword(std::string path);

    // 0 right, 1 wrong (or none set, or the file unusable; logged),
    // 16 throttled.
    int Verify(uid_t caller, const std::string& password);
    // Sets newPassword when oldPassword is the current one, or when none is
    // set and oldPassword is empty. 0 done, 1 wrong old password or the file
    // cannot be written, 2 empty new password, 16 throttled.
    int Change(uid_t caller, const std::string& oldPassword, const std::string& newPassword);

    // Throttles any other password check of the caller (the private key
    // password of TEACHER_VERIFYPASSWORD): check(password) is 0 when right.
    int Guarded(uid_t caller, const std::function<int()>& check);

private:
    enum class Stored { None, Set, Unusable };
    struct Hash {
        int iterations = 0;
        std::string salt, digest; // raw bytes
    };
    struct Failures {
        int count = 0;
        std::chrono::steady_clock::time_point retryAt;
    };

    Stored Load(Hash& hash) const;
    bool Matches(const Hash& hash, const std::string& password) const;
    bool Save(const std::string& password);
    bool Throttled(uid_t caller);
    void Record(uid_t caller, bool right);

    const std::string m_path;
    std::map<uid_t, Failures> m_failures;
};

} // namespace teacherd

#endif
