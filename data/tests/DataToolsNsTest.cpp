// The data tools on the machine's fixed paths (/tmp lock files, the message
// catalogues under /usr/share/locale/), only ever inside the test's private
// mount namespace.
#include "AsUser.h"
#include "TAVDataTools.h"
#include "TAVLayout.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <libintl.h>
#include <locale.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

using namespace LibTAVData;

namespace {

std::string LogText() { return tavtest::ReadFile(tavtest::Home() + "/TAVLog/publicLog.log"); }

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
        EXPECT_EQ(st.st_mode & 0027, 0u); // created 0640 at most
    }
    // The kept descriptors do not leak into programs we start.
    int kept = 0;
    for (int fd = 0; fd < 1024; ++fd) {
        char target[256];
        const ssize_t n =
            ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target - 1);
        if (n > 0 &&
            std::string(target, static_cast<std::size_t>(n)).find(".lock") != std::string::npos) {
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
    ASSERT_TRUE(tavtest::WriteFile(locale + "/xx/LC_MESSAGES/" + DATA_TEXT_DOMAIN + ".mo",
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
        GTEST_SKIP() << "needs root to act as other users";
    const uid_t squatter = 47011;
    ASSERT_EQ(
        AsUser(squatter, squatter,
               [] {
                   return ::open(LOCK_CALENDAR.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600) >= 0 &&
                                  ::open(LOCK_THEME_SETTING.c_str(), O_CREAT | O_EXCL, 0600) >= 0 &&
                                  ::symlink("/nonexistent", LOCK_TASK_SWITCH.c_str()) == 0
                              ? 0
                              : 1;
               }),
        0);
    // A lock held on a file of his while root starts.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int fd = ::open(LOCK_TSD.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        if (fd >= 0 && ::fchown(fd, squatter, squatter) == 0 && ::lockf(fd, F_TLOCK, 0) == 0)
            (void)!::write(ready[1], "y", 1);
        ::pause();
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);

    std::string log;
    EXPECT_EQ(
        AsUser(
            47012, 47012, [] { return CTAVDataTools::GetLock(LOCK_THEME_SETTING) ? 1 : 0; }, &log),
        0);
    EXPECT_NE(log.find(":  WARNING:   Can not lock file: " + LOCK_THEME_SETTING +
                       " (it belongs to uid 47011; only root or that user can remove it)\n"),
              std::string::npos)
        << log;

    for (const std::string& lock : {LOCK_CALENDAR, LOCK_TSD, LOCK_TASK_SWITCH}) {
        EXPECT_TRUE(CTAVDataTools::GetLock(lock)) << lock;
        struct stat st;
        ASSERT_EQ(::lstat(lock.c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode) && st.st_uid == 0 && (st.st_mode & 07777) == 0640) << lock;
        EXPECT_EQ(tavtest::RunInChild([&] { return CTAVDataTools::GetLock(lock) ? 1 : 0; }), 0)
            << lock;
    }
    EXPECT_NE(LogText().find("CTAVDataTools::GetLock() --replaced " + LOCK_TSD + " of uid 47011"),
              std::string::npos);
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
}
