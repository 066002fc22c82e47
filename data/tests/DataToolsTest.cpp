#include "TAVDataTools.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

using LibTAVData::CTAVDataTools;

namespace {

std::string LogText() { return tavtest::ReadFile(tavtest::Home() + "/TAVLog/publicLog.log"); }

// A log line as the log writes it, without its time.
std::string Line(const std::string& level, const std::string& message)
{
    return ":  " + level + ":   " + message + "\n";
}

// A fake tool on PATH that records its arguments, each between brackets, in
// <record dir>/<tool name>, after a short pause (so that a caller that does
// not wait for it would miss the record).
class FakeTools {
public:
    FakeTools() : m_bin(tavtest::MakeTempDir("bin")), m_records(tavtest::MakeTempDir("records"))
    {
        const char* path = std::getenv("PATH");
        m_oldPath = path ? path : "";
        ::setenv("PATH", (m_bin + ":" + m_oldPath).c_str(), 1);
        ::setenv("FAKE_TOOL_RECORDS", m_records.c_str(), 1);
    }
    ~FakeTools() { ::setenv("PATH", m_oldPath.c_str(), 1); }

    void Add(const std::string& name)
    {
        const std::string file = m_bin + "/" + name;
        tavtest::WriteFile(file, "#!/bin/sh\n"
                                 "sleep 0.2\n"
                                 "out=\"$FAKE_TOOL_RECORDS/$(basename \"$0\")\"\n"
                                 "for a in \"$@\"; do printf '[%s]' \"$a\"; done > \"$out.tmp\"\n"
                                 "mv \"$out.tmp\" \"$out\"\n");
        ::chmod(file.c_str(), 0755);
    }
    // What the tool recorded; empty when it did not run.
    std::string Record(const std::string& name) const
    {
        return tavtest::ReadFile(m_records + "/" + name);
    }
    bool Ran(const std::string& name) const { return tavtest::FileExists(m_records + "/" + name); }

private:
    std::string m_bin, m_records, m_oldPath;
};

// Runs the argument-recording probe program.
class Probe {
public:
    Probe() : m_dir(tavtest::MakeTempDir("probe"))
    {
        ::setenv("TAV_PROBE_OUT", Out().c_str(), 1);
        ::unsetenv("TAV_PROBE_RELEASE");
    }
    ~Probe()
    {
        ::unsetenv("TAV_PROBE_OUT");
        ::unsetenv("TAV_PROBE_RELEASE");
    }
    void HoldUntilReleased() { ::setenv("TAV_PROBE_RELEASE", Release().c_str(), 1); }
    void Let() const { tavtest::WriteFile(Release(), "go"); }
    std::string Out() const { return m_dir + "/out"; }
    std::string Release() const { return m_dir + "/release"; }
    bool Started() const { return tavtest::FileExists(Out()); }
    bool Done() const { return tavtest::FileExists(Out() + ".done"); }
    std::string Record() const { return tavtest::ReadFile(Out()); }

private:
    std::string m_dir;
};

// Runs fn with a PATH on which no program is found.
template <class Fn>
void WithEmptyPath(Fn fn)
{
    const char* path = std::getenv("PATH");
    const std::string old = path ? path : "";
    ::setenv("PATH", tavtest::MakeTempDir("empty-bin").c_str(), 1);
    fn();
    ::setenv("PATH", old.c_str(), 1);
}

uid_t UnusedUid()
{
    for (uid_t uid = 47000; uid < 48000; ++uid)
        if (!::getpwuid(uid))
            return uid;
    return 0;
}

} // namespace

TEST(DataTools, PasswordRules)
{
    struct Case {
        const char* password;
        int result;
        const char* reason;
    } cases[] = {
        {"", -1, "Password cannot be empty."},
        {"a1,bcde", -1, "A strong password should contain at least 8 characters."},
        {"a1,bcdef", 0, nullptr},
        {"abcdefg,", -1, "A strong password should contain numbers."},
        // No digit decides before the missing letters.
        {",,,,,,,,", -1, "A strong password should contain numbers."},
        {"1234567,", -1, "A strong password should contain letters."},
        {"abcd1234", -1, "A strong password should contain special characters."},
        // Blanks and non-ASCII bytes count for nothing.
        {"abcd1234 \xc3\xa9", -1, "A strong password should contain special characters."},
    };
    for (const Case& c : cases) {
        std::string reason = "untouched";
        EXPECT_EQ(CTAVDataTools::IsStrongPassword(c.password, reason), c.result) << c.password;
        EXPECT_EQ(reason, c.reason ? c.reason : "untouched") << c.password;
    }
    // Every one of the 32 special characters counts.
    const std::string specials = ",./<>?;':\"[]\\{}|`~!@#$%^&*()-_=+";
    ASSERT_EQ(specials.size(), 32u);
    for (char s : specials) {
        std::string reason = "untouched";
        EXPECT_EQ(CTAVDataTools::IsStrongPassword(std::string("abc123x") + s, reason), 0) << s;
        EXPECT_EQ(reason, "untouched");
    }
}

TEST(DataTools, InputRules)
{
    const std::string forbidden =
        "The input cannot contain any of the following characters: /\\:*?\"<>|&";
    std::string reason = "untouched";
    EXPECT_EQ(CTAVDataTools::IsInputValid(std::string(64, 'x'), reason), 0);
    EXPECT_EQ(CTAVDataTools::IsInputValid("My Programs (2)", reason), 0);
    EXPECT_EQ(reason, "untouched");
    EXPECT_EQ(CTAVDataTools::IsInputValid("", reason), -1);
    EXPECT_EQ(reason, "The input cannot be empty.");
    EXPECT_EQ(CTAVDataTools::IsInputValid(std::string(65, 'x'), reason), -2);
    EXPECT_EQ(reason, "The input cannot be beyond 64 bytes.");
    // The length decides before the characters.
    EXPECT_EQ(CTAVDataTools::IsInputValid(std::string(64, 'x') + "/", reason), -2);
    for (char c : std::string("/\\:*?\"<>|&")) {
        reason.clear();
        EXPECT_EQ(CTAVDataTools::IsInputValid(std::string("a") + c + "b", reason), -3) << c;
        EXPECT_EQ(reason, forbidden);
    }
}

TEST(DataTools, HomeDirComesFromThePasswordDatabase)
{
    const struct passwd* pw = ::getpwuid(::geteuid());
    ASSERT_NE(pw, nullptr);
    // Not HOME, which the test main points elsewhere.
    EXPECT_EQ(CTAVDataTools::GetHomeDir(), pw->pw_dir);
    EXPECT_NE(CTAVDataTools::GetHomeDir(), tavtest::Home());
}

TEST(DataTools, HomeDirWithoutPasswordEntryFallsBackToHomeThenRoot)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to take on a user id without a password entry";
    const uid_t uid = UnusedUid();
    ASSERT_NE(uid, 0u);
    EXPECT_EQ(tavtest::RunInChild([uid] {
                  if (::seteuid(uid) != 0)
                      return 3;
                  ::setenv("HOME", "/home/nobody-here", 1);
                  if (CTAVDataTools::GetHomeDir() != "/home/nobody-here")
                      return 4;
                  ::setenv("HOME", "", 1);
                  if (CTAVDataTools::GetHomeDir() != "/")
                      return 5;
                  ::unsetenv("HOME");
                  return CTAVDataTools::GetHomeDir() == "/" ? 0 : 6;
              }),
              0);
}

TEST(DataTools, FileExist)
{
    const std::string dir = tavtest::MakeTempDir("files");
    ASSERT_TRUE(tavtest::WriteFile(dir + "/file", "x"));
    EXPECT_TRUE(CTAVDataTools::FileExist(dir + "/file"));
    EXPECT_FALSE(CTAVDataTools::FileExist(dir + "/missing"));
    EXPECT_FALSE(CTAVDataTools::FileExist(""));
    // A FIFO without a writer is answered at once.
    ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0644), 0);
    EXPECT_TRUE(CTAVDataTools::FileExist(dir + "/fifo"));
}

TEST(DataTools, BlockedStartPassesThePathAsFirstArgumentAndWaits)
{
    Probe probe;
    EXPECT_EQ(CTAVDataTools::StartupProgramBlocked(TAV_ARGV_PROBE), 0);
    // Waited: the program has finished when the call returns.
    EXPECT_TRUE(probe.Done());
    const std::string record = probe.Record();
    EXPECT_NE(record.find("argc=1\nargv[0]=" TAV_ARGV_PROBE "\n"), std::string::npos) << record;
    EXPECT_NE(record.find("ppid=" + std::to_string(::getpid()) + "\n"), std::string::npos);
    EXPECT_EQ(LogText().find("waitpid error"), std::string::npos);
}

TEST(DataTools, AsynchronousStartLeavesNothingToReapAndSignalsAlone)
{
    {
        Probe probe;
        probe.HoldUntilReleased();
        EXPECT_EQ(CTAVDataTools::StartupProgramAsynchronism(TAV_ARGV_PROBE), 0);
        ASSERT_TRUE(tavtest::WaitFor([&] { return probe.Started(); }));
        EXPECT_FALSE(probe.Done()); // returned while the program still runs
        const std::string record = probe.Record();
        EXPECT_NE(record.find("argc=1\nargv[0]=" TAV_ARGV_PROBE "\n"), std::string::npos) << record;
        // The program is not our child, and no child of ours is left over.
        EXPECT_EQ(record.find("ppid=" + std::to_string(::getpid()) + "\n"), std::string::npos);
        errno = 0;
        EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
        EXPECT_EQ(errno, ECHILD);
        probe.Let();
        EXPECT_TRUE(tavtest::WaitFor([&] { return probe.Done(); }));
    }
    // The child-terminated signal keeps its default handling ...
    struct sigaction sa;
    ASSERT_EQ(::sigaction(SIGCHLD, nullptr, &sa), 0);
    EXPECT_EQ(sa.sa_handler, SIG_DFL);
    EXPECT_EQ(sa.sa_flags & SA_NOCLDWAIT, 0);
    // ... so a later blocked start still waits for its child without error.
    Probe probe;
    EXPECT_EQ(CTAVDataTools::StartupProgramBlocked(TAV_ARGV_PROBE), 0);
    EXPECT_TRUE(probe.Done());
    EXPECT_EQ(LogText().find("waitpid error"), std::string::npos);
}

TEST(DataTools, ProgramsThatCannotRunAreLogged)
{
    const std::string missing = tavtest::TempRoot() + "/no-such-program";
    EXPECT_EQ(CTAVDataTools::StartupProgramBlocked(missing), 0);
    EXPECT_EQ(CTAVDataTools::StartupProgramAsynchronism(missing), 0);
    const std::string log = LogText();
    EXPECT_NE(log.find(Line("ERROR", "CTAVDataTools::StartupProgramBlocked --cannot run " +
                                         missing + ": No such file or directory")),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(Line("ERROR", "CTAVDataTools::StartupProgramAsynchronism --cannot run " +
                                         missing + ": No such file or directory")),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("waitpid error"), std::string::npos);
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(DataTools, BalloonRunsNotifySendWithTextsAsTheyStand)
{
    FakeTools tools;
    tools.Add("notify-send");
    std::string reason = "untouched";
    const std::string summary = "Say \"hi\" $(touch /x) `id`; rm -rf \\ & 'q'";
    const std::string body = "line one\nline two $HOME";
    EXPECT_EQ(CTAVDataTools::PopupBalloon(summary, body, reason), 0);
    EXPECT_EQ(reason, "untouched");
    EXPECT_EQ(tools.Record("notify-send"), "[-t][3000][--][" + summary + "][" + body + "]");

    // An empty body is not passed at all.
    EXPECT_EQ(CTAVDataTools::PopupBalloon("Locked", "", reason), 0);
    EXPECT_EQ(tools.Record("notify-send"), "[-t][" + CTAVDataTools::NOTIFY_TIMER + "][--][Locked]");
}

TEST(DataTools, BalloonFailures)
{
    FakeTools tools;
    tools.Add("notify-send");
    std::string reason;
    EXPECT_EQ(CTAVDataTools::PopupBalloon("", "body", reason), -1);
    EXPECT_EQ(reason, "No summary specified.");
    EXPECT_FALSE(tools.Ran("notify-send"));

    // No notify-send to be found.
    WithEmptyPath([&] { EXPECT_EQ(CTAVDataTools::PopupBalloon("Summary", "", reason), -1); });
    EXPECT_EQ(reason, "Operation failed!");
    EXPECT_NE(LogText().find(Line("ERROR", "CTAVDataTools::PopupBalloon() --cannot run "
                                           "notify-send: No such file or directory")),
              std::string::npos);
}

TEST(DataTools, HelpOpensTheManualInEvince)
{
    FakeTools tools;
    tools.Add("evince");
    std::string reason = "untouched";
    EXPECT_EQ(CTAVDataTools::OpenHelp("User Manual \"v2\"; $(x).pdf", reason), 0);
    EXPECT_EQ(reason, "untouched");
    EXPECT_EQ(tools.Record("evince"),
              "[/etc/TAV/help/User Manual \"v2\"; $(x).pdf][--page-label=1]");

    EXPECT_EQ(CTAVDataTools::OpenHelp("", reason), -1);
    EXPECT_EQ(reason, "The name of user manual cannot be empty!");

    WithEmptyPath([&] { EXPECT_EQ(CTAVDataTools::OpenHelp("manual.pdf", reason), -1); });
    EXPECT_EQ(reason, "Open user manual failed!");
}

TEST(DataTools, LockFileThatCannotBeCreated)
{
    const std::string lock = tavtest::TempRoot() + "/no-such-folder/Program.lock";
    EXPECT_FALSE(CTAVDataTools::GetLock(lock));
    EXPECT_NE(LogText().find(Line("WARNING", "Can not create lock file: " + lock)),
              std::string::npos);
}

// Caller text that looks like an option reaches notify-send as text.
TEST(DataTools, BalloonTextsAreNeverOptions)
{
    const std::string bin = tavtest::MakeTempDir("probe-bin");
    ASSERT_EQ(::symlink(TAV_ARGV_PROBE, (bin + "/notify-send").c_str()), 0);
    const std::string oldPath = std::getenv("PATH");
    ::setenv("PATH", (bin + ":" + oldPath).c_str(), 1);
    Probe probe;
    std::string reason;
    EXPECT_EQ(CTAVDataTools::PopupBalloon("--icon=/tmp/x.png", "-u critical", reason), 0);
    EXPECT_EQ(
        probe.Record().rfind("argc=6\nargv[0]=notify-send\nargv[1]=-t\nargv[2]=3000\nargv[3]=--\n"
                             "argv[4]=--icon=/tmp/x.png\nargv[5]=-u critical\n",
                             0),
        0u)
        << probe.Record();
    ::setenv("PATH", oldPath.c_str(), 1);
}
