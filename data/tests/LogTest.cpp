#include "TAVLog.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <regex>
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

// Tests below that start with DISABLED_ need a process in which nothing has
// logged yet; FreshProcess runs each in one.
#define FRESH_ONLY() \
    if (!tavtest::InFreshProcess()) GTEST_SKIP() << "runs in a fresh process only"

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

TEST(Log, FreshProcessCases)
{
    for (const char* name : {"DefaultFileFolderModesAndFormat", "FolderIsComputedOnce",
                             "UnwritableHomeKeepsStandardOutput", "HomeMayBeLongerThanAnyBuffer"})
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
    auto backup = [&](int i) {
        char suffix[8];
        snprintf(suffix, sizeof suffix, ".%02d", i);
        return base + suffix;
    };
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
