#include "TAVLog.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <log4cpp/Category.hh>
#include <log4cpp/OstreamAppender.hh>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

using LibTAVData::CTAVLog;

namespace {

int lineCount(const std::string& text)
{
    int n = 0;
    for (char c : text)
        n += c == '\n';
    return n;
}

std::string logDir() { return tavtest::Home() + "/TAVLog/"; }

// Backup i of a log file (0: the file itself).
std::string backupName(const std::string& base, int i)
{
    char suffix[16];
    snprintf(suffix, sizeof suffix, ".%02d", i);
    return i ? base + suffix : base;
}

// Tests below that start with DISABLED_ need a process in which nothing has
// logged yet; FreshProcess runs each in one.
#define FRESH_ONLY()                                                                               \
    if (!tavtest::InFreshProcess())                                                                \
    GTEST_SKIP() << "runs in a fresh process only"

} // namespace

TEST(LogFresh, DISABLED_DefaultFileFolderModesAndFormat)
{
    FRESH_ONLY();
    ::umask(022);
    ASSERT_FALSE(tavtest::FileExists(logDir()));
    testing::internal::CaptureStdout();
    CTAVLog::WriteLine("first %s %n %d line", CTAVLog::LOG_TRACE, "", false);
    std::string out = testing::internal::GetCapturedStdout();

    struct stat st;
    ASSERT_EQ(stat(logDir().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    const std::string file = logDir() + "publicLog.log";
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);

    // The message is data: format directives in it are written literally.
    const std::regex line("^.+:  TRACE:   first %s %n %d line\n$");
    EXPECT_TRUE(std::regex_match(tavtest::ReadFile(file), line)) << tavtest::ReadFile(file);
    EXPECT_TRUE(std::regex_match(out, line)) << out;
    EXPECT_EQ(CTAVLog::getLogDir(), logDir());
}

TEST(LogFresh, DISABLED_FolderIsComputedOnce)
{
    FRESH_ONLY();
    CTAVLog::WriteLine("before", CTAVLog::LOG_TRACE, "", false);
    const std::string other = tavtest::MakeTempDir("otherhome");
    setenv("HOME", other.c_str(), 1);
    CTAVLog::WriteLine("after", CTAVLog::LOG_TRACE, "", false);
    EXPECT_EQ(CTAVLog::getLogDir(), logDir());
    EXPECT_EQ(lineCount(tavtest::ReadFile(logDir() + "publicLog.log")), 2);
    EXPECT_FALSE(tavtest::FileExists(other + "/TAVLog"));
}

// A home we cannot write into: lines still reach standard output, and no
// file is written beside or inside it.
TEST(LogFresh, DISABLED_UnwritableHomeKeepsStandardOutput)
{
    FRESH_ONLY();
    setenv("HOME", "/proc", 1);
    testing::internal::CaptureStdout();
    CTAVLog::WriteLine("still visible", CTAVLog::LOG_ERROR, "", false);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(":  ERROR:   still visible\n"), std::string::npos);
    EXPECT_EQ(CTAVLog::getLogDir(), "");
    EXPECT_FALSE(tavtest::FileExists("/procpublicLog.log"));
}

TEST(LogFresh, DISABLED_HomeMayBeLongerThanAnyBuffer)
{
    FRESH_ONLY();
    std::string home = tavtest::TempRoot();
    for (int i = 0; i < 8; ++i) {
        home += "/" + std::string(60, static_cast<char>('a' + i));
        ASSERT_EQ(mkdir(home.c_str(), 0700), 0);
    }
    ASSERT_GT(home.size(), 400u);
    setenv("HOME", home.c_str(), 1);
    CTAVLog::WriteLine("deep", CTAVLog::LOG_TRACE, "", false);
    EXPECT_EQ(CTAVLog::getLogDir(), home + "/TAVLog/");
    EXPECT_NE(tavtest::ReadFile(home + "/TAVLog/publicLog.log").find("deep"), std::string::npos);
}

// The threshold is read once, at the first line; lines below it reach
// neither the file nor standard output.
TEST(LogFresh, DISABLED_ThresholdFromEnvironment)
{
    FRESH_ONLY();
    setenv("TAV_LOG_LEVEL", "wARNing", 1);
    testing::internal::CaptureStdout();
    for (int level = -1; level <= 3; ++level)
        CTAVLog::WriteLine("m", static_cast<CTAVLog::LOGLEVEL>(level), "", false);
    setenv("TAV_LOG_LEVEL", "debug", 1);
    CTAVLog::WriteLine("still filtered", CTAVLog::LOG_TRACE, "", false);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::regex expected("^.+:  WARNING:   m\n.+:  ERROR:   m\n.+:  FATAL:   m\n$");
    EXPECT_TRUE(std::regex_match(out, expected)) << out;
    const std::string file = tavtest::ReadFile(logDir() + "publicLog.log");
    EXPECT_TRUE(std::regex_match(file, expected)) << file;
}

// An unknown value keeps every line and says so once.
TEST(LogFresh, DISABLED_UnknownThresholdIsReportedOnce)
{
    FRESH_ONLY();
    setenv("TAV_LOG_LEVEL", "loud\n", 1);
    CTAVLog::WriteLine("one", CTAVLog::LOG_DEBUG, "", false);
    CTAVLog::WriteLine("two", CTAVLog::LOG_TRACE, "", false);
    const std::string file = tavtest::ReadFile(logDir() + "publicLog.log");
    EXPECT_TRUE(std::regex_match(
        file, std::regex("^.+:  WARNING:   CTAVLog: TAV_LOG_LEVEL \"loud\\\\n\" is not [^\n]+\n"
                         ".+:  DEBUG:   one\n.+:  TRACE:   two\n$")))
        << file;
}

TEST(Log, FreshProcessCases)
{
    for (const char* name : {"DefaultFileFolderModesAndFormat", "FolderIsComputedOnce",
                             "UnwritableHomeKeepsStandardOutput", "HomeMayBeLongerThanAnyBuffer",
                             "ThresholdFromEnvironment", "UnknownThresholdIsReportedOnce"})
        EXPECT_EQ(tavtest::RunTestInFreshProcess(std::string("LogFresh.DISABLED_") + name), 0)
            << name;
}

TEST(Log, FileNameSticksUntilChanged)
{
    CTAVLog::WriteLine("one", CTAVLog::LOG_TRACE, "other", false);
    CTAVLog::WriteLine("two", CTAVLog::LOG_WARNING, "", false);
    const std::string text = tavtest::ReadFile(logDir() + "other.log");
    EXPECT_TRUE(std::regex_match(text, std::regex("^.+:  TRACE:   one\n.+:  WARNING:   two\n$")))
        << text;
    CTAVLog::SetLogFileName("third");
    CTAVLog::WriteLine("three", CTAVLog::LOG_TRACE, "", false);
    EXPECT_NE(tavtest::ReadFile(logDir() + "third.log").find("three"), std::string::npos);
    EXPECT_EQ(lineCount(tavtest::ReadFile(logDir() + "other.log")), 2);
}

TEST(Log, LevelNames)
{
    CTAVLog::SetLogFileName("levels");
    const std::pair<int, const char*> levels[] = {
        {-1, "DEBUG"}, {0, "TRACE"}, {1, "WARNING"}, {2, "ERROR"}, {3, "FATAL"}, {7, ""}, {-2, ""}};
    for (const auto& l : levels)
        CTAVLog::WriteLine("m", static_cast<CTAVLog::LOGLEVEL>(l.first), "", false);
    const std::string text = tavtest::ReadFile(logDir() + "levels.log");
    std::string expected;
    for (const auto& l : levels)
        expected += std::string(".+:  ") + l.second + ":   m\n";
    EXPECT_TRUE(std::regex_match(text, std::regex("^" + expected + "$"))) << text;
}

TEST(Log, IntOverloadAppendsTheNumber)
{
    CTAVLog::WriteLine(-5, "value=", false, CTAVLog::LOG_TRACE, "numbers");
    CTAVLog::WriteLine(42, "", false, CTAVLog::LOG_TRACE, "");
    const std::string text = tavtest::ReadFile(logDir() + "numbers.log");
    EXPECT_TRUE(std::regex_match(text, std::regex("^.+:  TRACE:   value=-5\n.+:  TRACE:   42\n$")))
        << text;
}

TEST(Log, TimeWithMilliseconds)
{
    const std::string plain = CTAVLog::getTime();
    EXPECT_FALSE(plain.empty());
    EXPECT_LT(plain.size(), 100u);
    EXPECT_EQ(CTAVLog::getTime(false).size(), plain.size());
    const std::string precise = CTAVLog::getTime(true);
    ASSERT_EQ(precise.size(), plain.size() + 3);
    EXPECT_TRUE(std::regex_match(precise.substr(plain.size()), std::regex("[0-9]{3}")));
}

// log4cpp rolls when a write leaves the file at 1 MiB or more: the file
// becomes backup .01, older backups shift up to .10, the oldest is dropped.
TEST(Log, RollsAtOneMebibyteKeepingTenBackups)
{
    CTAVLog::SetLogFileName("rolling");
    const std::string base = logDir() + "rolling.log";
    const std::string payload(1000, 'x');
    auto backup = [&](int i) { return backupName(base, i); };
    int lines = 0;
    while (!tavtest::FileExists(backup(1))) {
        CTAVLog::WriteLine("roll " + payload, CTAVLog::LOG_TRACE, "", false);
        ASSERT_LT(++lines, 2000);
    }
    struct stat st;
    ASSERT_EQ(stat(backup(1).c_str(), &st), 0);
    EXPECT_GE(st.st_size, 1048576);
    EXPECT_LT(st.st_size, 1048576 + 1200);
    ASSERT_EQ(stat(base.c_str(), &st), 0);
    EXPECT_LT(st.st_size, 1200);

    // Ten more rolls: backups .01 to .10 exist, there is no eleventh. A roll
    // shows as the current file shrinking.
    auto size = [&] { return stat(base.c_str(), &st) == 0 ? st.st_size : -1; };
    for (int gen = 0; gen < 10; ++gen) {
        off_t before;
        do {
            before = size();
            CTAVLog::WriteLine("roll " + payload, CTAVLog::LOG_TRACE, "", false);
        } while (size() > before);
    }
    for (int i = 1; i <= 10; ++i)
        EXPECT_TRUE(tavtest::FileExists(backup(i))) << backup(i);
    EXPECT_FALSE(tavtest::FileExists(backup(11)));
    EXPECT_FALSE(tavtest::FileExists(base + ".11"));
}

// Many threads at once, switching names as they go: no line lost, none torn,
// and no crash from one thread's shutdown under another's write.
TEST(Log, ManyThreadsLoseNothing)
{
    CTAVLog::SetLogFileName("threads");
    constexpr int kThreads = 8, kLines = 150;
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            while (!go)
                std::this_thread::yield();
            for (int i = 0; i < kLines; ++i) {
                if (t == 0 && i % 50 == 0)
                    CTAVLog::SetLogFileName("threads");
                CTAVLog::WriteLine("thread " + std::to_string(t) + " line " + std::to_string(i),
                                   CTAVLog::LOG_TRACE, "", false);
            }
        });
    go = true;
    for (auto& th : threads)
        th.join();
    const std::string text = tavtest::ReadFile(logDir() + "threads.log");
    EXPECT_EQ(lineCount(text), kThreads * kLines);
    EXPECT_TRUE(std::regex_search(text, std::regex("thread 7 line 149\n")));
}

// No caller text can start a line of its own: control characters are
// escaped in the file and on standard output alike; tab and text beyond
// ASCII stay as they are, line breaks ending the message are dropped.
TEST(Log, ControlCharactersAreEscaped)
{
    const std::string message = std::string("a\nb\rc\td\x01"
                                            "e\x1f"
                                            "f\x7f"
                                            "g\xc3\xa9h") +
                                '\0' + "2026: FATAL: forged\r\n\n";
    const std::string shown = "a\\nb\\rc\td\\x01e\\x1ff\\x7fg\xc3\xa9h\\x002026: FATAL: forged\n";
    testing::internal::CaptureStdout();
    CTAVLog::WriteLine(message, CTAVLog::LOG_TRACE, "escaped", false);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string file = tavtest::ReadFile(logDir() + "escaped.log");
    EXPECT_EQ(lineCount(file), 1);
    const std::string tail = ":  TRACE:   " + shown;
    ASSERT_GT(file.size(), tail.size());
    EXPECT_EQ(file.substr(file.size() - tail.size()), tail);
    EXPECT_EQ(out, file);
}

// We never touch a host's own log4cpp categories.
TEST(Log, HostLog4cppCategoryKeepsItsAppender)
{
    std::ostringstream hostLog;
    log4cpp::Category& host = log4cpp::Category::getInstance("host");
    host.addAppender(new log4cpp::OstreamAppender("host", &hostLog));
    host.setPriority(log4cpp::Priority::INFO);
    host.info("host before");
    CTAVLog::WriteLine("ours", CTAVLog::LOG_TRACE, "hostcat", false);
    CTAVLog::WriteLine("ours again", CTAVLog::LOG_ERROR, "", false);
    host.info("host after");
    host.removeAllAppenders();
    EXPECT_NE(hostLog.str().find("host before"), std::string::npos) << hostLog.str();
    EXPECT_NE(hostLog.str().find("host after"), std::string::npos) << hostLog.str();
}

// The file taken away under a running process (removed, or moved aside by
// an administrator): the next line creates it again, nothing goes on into
// the old one.
TEST(Log, RemovedOrMovedFileIsCreatedAgain)
{
    const std::string path = logDir() + "vanishing.log";
    CTAVLog::WriteLine("first", CTAVLog::LOG_TRACE, "vanishing", false);
    ASSERT_EQ(unlink(path.c_str()), 0);
    CTAVLog::WriteLine("second", CTAVLog::LOG_TRACE, "", false);
    EXPECT_TRUE(std::regex_match(tavtest::ReadFile(path), std::regex("^.+:  TRACE:   second\n$")));
    ASSERT_EQ(rename(path.c_str(), (path + ".old").c_str()), 0);
    CTAVLog::WriteLine("third", CTAVLog::LOG_TRACE, "", false);
    EXPECT_TRUE(std::regex_match(tavtest::ReadFile(path), std::regex("^.+:  TRACE:   third\n$")));
    EXPECT_EQ(lineCount(tavtest::ReadFile(path + ".old")), 1);
}

// Forks while another thread logs without pause: no child may hang on a
// lock that thread held, and each child's line lands in the same file.
TEST(Log, ForkedChildWritesToTheSameFile)
{
    if (tavtest::UnderThreadSanitizer())
        GTEST_SKIP() << "fork handlers are not dependable under ThreadSanitizer";
    CTAVLog::SetLogFileName("forked");
    std::atomic<bool> stop{false};
    // Bounded, so that on a slow machine the children's lines are never
    // rolled out past the last backup (about 250000 such lines).
    std::thread busy([&] {
        for (int n = 0; !stop && n < 100000; ++n)
            CTAVLog::WriteLine("parent line", CTAVLog::LOG_TRACE, "", false);
    });
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(tavtest::RunInChild(
                      [i] {
                          CTAVLog::WriteLine("child " + std::to_string(i), CTAVLog::LOG_TRACE, "",
                                             false);
                          return 0;
                      },
                      10000),
                  0)
            << "child " << i;
    stop = true;
    busy.join();
    std::string text;
    for (int i = 10; i >= 0; --i)
        text += tavtest::ReadFile(backupName(logDir() + "forked.log", i));
    for (int i = 0; i < 10; ++i) {
        const std::string line = ":  TRACE:   child " + std::to_string(i) + "\n";
        EXPECT_TRUE(text.find(line) != std::string::npos && text.find(line) == text.rfind(line))
            << i;
    }
}

// Four processes of four threads each write through several rolls of one
// file (three rounds, a file each): every line is found once, whole and in
// its writer's order across the file and its backups; backups are rolled
// files of about 1 MiB, numbered .01 upwards without gap, never past .10.
TEST(Log, FourProcessesRollOneFileTogether)
{
    constexpr int kProcs = 4, kThreads = 4, kLines = 560;
    const std::string payload(1000, 'x');
    for (const std::string name : {"shared1", "shared2", "shared3"}) {
        // The parent has the file open already: each child must open its own.
        CTAVLog::WriteLine("p9 t9 n0 " + payload, CTAVLog::LOG_TRACE, name, false);
        std::vector<pid_t> children;
        int gate[2]; // the children start together when the parent closes it
        ASSERT_EQ(pipe(gate), 0);
        for (int p = 0; p < kProcs; ++p) {
            const pid_t pid = fork();
            if (pid == 0) {
                close(gate[1]);
                (void)!read(gate[0], &gate[1], 1);
                std::vector<std::thread> threads;
                for (int t = 0; t < kThreads; ++t)
                    threads.emplace_back([&, t] {
                        for (int i = 0; i < kLines; ++i)
                            CTAVLog::WriteLine("p" + std::to_string(p) + " t" + std::to_string(t) +
                                                   " n" + std::to_string(i) + " " + payload,
                                               CTAVLog::LOG_TRACE, "", false);
                    });
                for (auto& th : threads)
                    th.join();
                _exit(0);
            }
            children.push_back(pid);
        }
        close(gate[0]);
        close(gate[1]);
        for (pid_t pid : children) {
            int status = -1;
            waitpid(pid, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << name;
        }

        const std::string base = logDir() + name + ".log";
        int backups = 0;
        while (tavtest::FileExists(backupName(base, backups + 1)))
            ++backups;
        EXPECT_TRUE(backups >= 4 && backups <= 10) << name << ": " << backups;
        EXPECT_FALSE(tavtest::FileExists(backupName(base, backups + 2))) << name;
        std::map<std::pair<int, int>, int> seen; // (process, thread) -> lines so far
        int total = 0;
        for (int i = backups; i >= 0; --i) {
            const std::string text = tavtest::ReadFile(backupName(base, i));
            EXPECT_TRUE(i == 0 || (text.size() >= 1048576 && text.size() < 1048576 + 65536))
                << name << "." << i << ": " << text.size();
            std::istringstream in(text);
            for (std::string l; std::getline(in, l); ++total) {
                // Whole: one time text, then "p<P> t<T> n<N> " and the payload.
                const size_t at = l.find(":  TRACE:   p") + 12;
                int p = -1, t = -1, n = -1, used = 0;
                ASSERT_TRUE(at > 12 && at < 112 &&
                            std::sscanf(l.c_str() + at, "p%d t%d n%d %n", &p, &t, &n, &used) == 3 &&
                            l.compare(at + used, std::string::npos, payload) == 0)
                    << name << "." << i << ": " << l.substr(0, 120);
                EXPECT_EQ(n, (seen[{p, t}]++)) << l.substr(0, 60);
            }
        }
        EXPECT_EQ(total, kProcs * kThreads * kLines + 1) << name;
        for (int p = 0; p < kProcs; ++p)
            for (int t = 0; t < kThreads; ++t)
                EXPECT_EQ((seen[{p, t}]), kLines) << name << " p" << p << " t" << t;
    }
}
