// tav-classlab as a person runs it: a small class, a command or Ctrl-C, and
// nothing of the class left running afterwards.
#include "LabProcess.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>

#include <string>

namespace {

// Processes whose command line or environment names dir.
std::string ProcessesOf(const std::string& dir)
{
    std::string found;
    DIR* proc = ::opendir("/proc");
    while (struct dirent* e = proc ? ::readdir(proc) : nullptr) {
        const std::string pid = e->d_name;
        if (pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        for (const char* what : {"/cmdline", "/environ"}) {
            const std::string text = tavtest::ReadFile("/proc/" + pid + what);
            if (text.find(dir) != std::string::npos) {
                found += pid + " ";
                break;
            }
        }
    }
    if (proc)
        ::closedir(proc);
    return found;
}

TEST(ClassLab, RunsTheCommandOnTheTeachersBusAndStopsEverything)
{
    const std::string dir = tavtest::MakeTempDir("classlab");
    tavlab::ChildProcess lab;
    // The command asks the teacher daemon through the teacher's bus.
    ASSERT_TRUE(lab.Spawn({TAV_CLASSLAB, "--students", "3", "--dir", dir + "/lab", "--", TAV_TAVCTL,
                           "--json", "teacher", "get-student-list"},
                          dir + "/out"));
    EXPECT_EQ(lab.Wait(120000), 0) << tavtest::ReadFile(dir + "/out");
    const std::string out = tavtest::ReadFile(dir + "/out");
    // Each student machine has a name of its own.
    for (const char* id : {"S1", "S2", "S3"})
        EXPECT_NE(out.find(std::string("\"studentID\":\"") + id +
                           "\",\"username\":\"\",\"hostname\":\"" + id + "\""),
                  std::string::npos)
            << out;
    EXPECT_EQ(ProcessesOf(dir), "");
}

TEST(ClassLab, InterruptStopsEverythingStartedOrStarting)
{
    const std::string dir = tavtest::MakeTempDir("classlab");
    for (const bool started : {true, false}) {
        const std::string out = dir + (started ? "/started" : "/starting");
        tavlab::ChildProcess lab;
        ASSERT_TRUE(lab.Spawn({TAV_CLASSLAB, "--students", "3", "--dir", out + "-lab"}, out));
        if (started)
            ASSERT_TRUE(tavtest::WaitFor(
                [&] { return tavtest::ReadFile(out).find("is in;") != std::string::npos; },
                120000));
        else
            ASSERT_TRUE(tavtest::WaitFor(
                [&] { return tavtest::FileExists(out + "-lab/teacher/bus.out"); }, 60000));
        lab.Signal(SIGINT);
        EXPECT_EQ(lab.Wait(60000), started ? 0 : 130) << tavtest::ReadFile(out);
        EXPECT_EQ(ProcessesOf(out + "-lab"), "") << tavtest::ReadFile(out);
    }
}

} // namespace
