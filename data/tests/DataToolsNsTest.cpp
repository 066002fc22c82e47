// The data tools on the machine's fixed paths (/tmp lock files, the message
// catalogues under /usr/share/locale/), only ever inside the test's private
// mount namespace.
#include "TAVDataTools.h"
#include "TAVLayout.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <libintl.h>
#include <locale.h>
#include <sys/mount.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>

using namespace LibTAVData;

namespace {

std::string LogText()
{
    return tavtest::ReadFile(tavtest::Home() + "/TAVLog/publicLog.log");
}

// A GNU message catalogue (.mo) without hash table; gettext then searches
// the sorted original texts.
std::string MoFile(const std::map<std::string, std::string>& messages)
{
    const uint32_t n = static_cast<uint32_t>(messages.size());
    const uint32_t originals = 28, translations = originals + 8 * n;
    uint32_t next = translations + 8 * n;
    std::string tables, strings;
    auto put = [](std::string& to, uint32_t v) { to.append(reinterpret_cast<char*>(&v), 4); };
    std::string origTable, transTable;
    for (const auto& m : messages) {
        put(origTable, static_cast<uint32_t>(m.first.size()));
        put(origTable, next);
        strings += m.first + '\0';
        next += static_cast<uint32_t>(m.first.size() + 1);
    }
    for (const auto& m : messages) {
        put(transTable, static_cast<uint32_t>(m.second.size()));
        put(transTable, next);
        strings += m.second + '\0';
        next += static_cast<uint32_t>(m.second.size() + 1);
    }
    std::string mo;
    for (uint32_t v : {0x950412deu, 0u, n, originals, translations, 0u, 0u})
        put(mo, v);
    return mo + origTable + transTable + strings;
}

// Takes on another user's ids for good (in a forked child).
bool BecomeUser(uid_t uid)
{
    return ::setgroups(0, nullptr) == 0 && ::setresgid(uid, uid, uid) == 0 &&
           ::setresuid(uid, uid, uid) == 0;
}

// Another local user: a child process under uid that runs plant, then stays
// (keeping whatever it locked) until the object goes away.
class OtherUser {
public:
    OtherUser(uid_t uid, const std::function<bool()>& plant)
    {
        int ready[2], hold[2];
        if (::pipe(ready) != 0 || ::pipe(hold) != 0)
            return;
        std::fflush(nullptr);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(hold[1]);
            const char ok = BecomeUser(uid) && plant() ? 'y' : 'n';
            if (::write(ready[1], &ok, 1) != 1)
                ::_exit(1);
            char c;
            while (::read(hold[0], &c, 1) > 0) {
            }
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(hold[0]);
        m_hold = hold[1];
        char ok = 'n';
        m_ready = ::read(ready[0], &ok, 1) == 1 && ok == 'y';
        ::close(ready[0]);
    }
    ~OtherUser()
    {
        if (m_hold >= 0)
            ::close(m_hold);
        if (m_pid > 0)
            ::waitpid(m_pid, nullptr, 0);
    }
    bool Ready() const { return m_ready; }

private:
    pid_t m_pid = -1;
    int m_hold = -1;
    bool m_ready = false;
};

} // namespace

TEST(DataToolsNs, FixedLockFilesAreHeldByOneProcess)
{
    ASSERT_TRUE(tavtest::InPrivateNamespace());
    for (const std::string& lock : {LOCK_SHELL_CONTROLLER, LOCK_TAB_NAVIGATION, LOCK_SSD}) {
        EXPECT_TRUE(CTAVDataTools::GetLock(lock)) << lock;
        EXPECT_TRUE(CTAVDataTools::GetLock(lock)) << lock;
        EXPECT_EQ(tavtest::RunInChild([&] { return CTAVDataTools::GetLock(lock) ? 1 : 0; }), 0)
            << lock;
        EXPECT_NE(LogText().find(":  WARNING:   Can not lock file: " + lock + "\n"),
                  std::string::npos);
        struct stat st;
        ASSERT_EQ(::stat(lock.c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 0027, 0u);  // created 0640 at most
    }
    // The kept descriptors do not leak into programs we start.
    int kept = 0;
    for (int fd = 0; fd < 1024; ++fd) {
        char target[256];
        const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target,
                                     sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<std::size_t>(n)).find(".lock") !=
                         std::string::npos) {
            ++kept;
            EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC) << fd;
        }
    }
    EXPECT_GE(kept, 3);
}

TEST(DataToolsNs, PlantedLinkIsNotFollowed)
{
    ASSERT_TRUE(tavtest::InPrivateNamespace());
    const std::string target = "/tmp/victim";
    ASSERT_EQ(::symlink(target.c_str(), LOCK_TASK_MANAGER.c_str()), 0);
    EXPECT_FALSE(CTAVDataTools::GetLock(LOCK_TASK_MANAGER));
    EXPECT_FALSE(tavtest::FileExists(target));
    EXPECT_NE(LogText().find(":  WARNING:   Can not create lock file: " + LOCK_TASK_MANAGER + "\n"),
              std::string::npos);

    // A link to an existing file leaves that file alone too.
    ASSERT_TRUE(tavtest::WriteFile(target, "keep"));
    EXPECT_FALSE(CTAVDataTools::GetLock(LOCK_TASK_MANAGER));
    EXPECT_EQ(tavtest::ReadFile(target), "keep");
}

TEST(DataToolsNs, ReasonsComeFromOurCatalogueWhateverTheHostsDomain)
{
    ASSERT_TRUE(tavtest::InPrivateNamespace());
    const std::string locale = tavtest::MakeTempDir("locale");
    ASSERT_EQ(::mkdir((locale + "/xx").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((locale + "/xx/LC_MESSAGES").c_str(), 0755), 0);
    ASSERT_TRUE(tavtest::WriteFile(
        locale + "/xx/LC_MESSAGES/" + DATA_TEXT_DOMAIN + ".mo",
        MoFile({{"", "Content-Type: text/plain; charset=UTF-8\n"},
                {"Password cannot be empty.", "xx: password empty"},
                {"The input cannot be empty.", "xx: input empty"}})));
    ASSERT_EQ(::mount(locale.c_str(), LOCALE_DIR.c_str(), nullptr, MS_BIND, nullptr), 0);

    const int rc = tavtest::RunInChild([] {
        ::setlocale(LC_ALL, "C.UTF-8");
        ::setenv("LANGUAGE", "xx", 1);
        // The host keeps its own domain as default.
        ::textdomain("hostdomain");
        std::string reason;
        if (CTAVDataTools::IsStrongPassword("", reason) != -1 || reason != "xx: password empty")
            return 3;
        // Ours is the default domain afterwards.
        if (std::string(::textdomain(nullptr)) != DATA_TEXT_DOMAIN)
            return 4;
        ::textdomain("hostdomain");
        if (CTAVDataTools::IsInputValid("", reason) != -1 || reason != "xx: input empty")
            return 5;
        // A text the catalogue lacks stays English.
        if (CTAVDataTools::IsInputValid(std::string(65, 'a'), reason) != -2 ||
            reason != "The input cannot be beyond 64 bytes.")
            return 6;
        return 0;
    });
    ::umount2(LOCALE_DIR.c_str(), MNT_DETACH);
    EXPECT_EQ(rc, 0);
}

// Another user who creates a root program's lock file first, holds a lock
// on it or plants a link there cannot keep that program from starting: root
// puts a lock file of its own in place. A per-user program cannot defend a
// fixed name and says whose file stops it.
TEST(DataToolsNs, AnotherUsersLockFileDoesNotStopRoot)
{
    ASSERT_TRUE(tavtest::InPrivateNamespace());
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as two users";
    const uid_t squatter = 47011, user = 47012;
    OtherUser other(squatter, [] {
        const int created = ::open(LOCK_CALENDAR.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        const int held = ::open(LOCK_TSD.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
        return created >= 0 && held >= 0 && ::lockf(held, F_TLOCK, 0) == 0 &&
               ::symlink("/nonexistent", LOCK_TASK_SWITCH.c_str()) == 0 &&
               ::open(LOCK_THEME_SETTING.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600) >= 0;
    });
    ASSERT_TRUE(other.Ready());
    // A per-user program under a third uid is told whose file it is.
    // (Its log file is ours: its lines are read from its standard output.)
    const std::string out = tavtest::TempRoot() + "/per-user.out";
    EXPECT_EQ(tavtest::RunInChild([&] {
                  const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                  return fd >= 0 && ::dup2(fd, 1) == 1 && BecomeUser(user) &&
                                 !CTAVDataTools::GetLock(LOCK_THEME_SETTING)
                             ? 0
                             : 1;
              }),
              0);
    EXPECT_NE(tavtest::ReadFile(out).find(":  WARNING:   Can not lock file: " + LOCK_THEME_SETTING +
                                          " (it belongs to uid 47011;"),
              std::string::npos)
        << tavtest::ReadFile(out);

    for (const std::string& lock : {LOCK_CALENDAR, LOCK_TSD, LOCK_TASK_SWITCH}) {
        EXPECT_TRUE(CTAVDataTools::GetLock(lock)) << lock;
        struct stat st;
        ASSERT_EQ(::lstat(lock.c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode)) << lock;
        EXPECT_EQ(st.st_uid, 0u) << lock;
        EXPECT_EQ(st.st_mode & 07777, 0640u) << lock;
        // Really held: another process is refused.
        EXPECT_EQ(tavtest::RunInChild([&] { return CTAVDataTools::GetLock(lock) ? 1 : 0; }), 0)
            << lock;
        EXPECT_NE(LogText().find("CTAVDataTools::GetLock() --replaced " + lock + " of uid 47011"),
                  std::string::npos);
    }
    // Nothing is left under a temporary name.
    EXPECT_EQ(::system("ls /tmp | grep -q '\\.lock\\.'"), 256);
}
