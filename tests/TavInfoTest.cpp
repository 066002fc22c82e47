// tav-info --check against a configuration folder filled by hand in the
// test's private namespace.
#include "TAVLayout.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace LibTAVData;

namespace {

struct Outcome {
    int status = -1;
    std::string out;
};

Outcome Check()
{
    Outcome run;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(TAV_INFO " --check", "r"), ::pclose);
    if (!pipe)
        return run;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe.get())) > 0)
        run.out.append(buf, n);
    const int status = ::pclose(pipe.release());
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

bool Copy(const std::string& from, const std::string& to)
{
    return tavtest::WriteFile(to, tavtest::ReadFile(from));
}

} // namespace

TEST(TavInfoCheck, ReportsEveryMissingOrUnreadableFileAndFailsUntilAllAreThere)
{
    ASSERT_TRUE(tavtest::InPrivateNamespace());
    // The bus policy folder of this namespace only.
    const std::string policies = tavtest::MakeTempDir("system.d");
    const std::string policyDir = TAV_BUS_POLICY_DIR;
    ASSERT_EQ(::mount(policies.c_str(), policyDir.c_str(), nullptr, MS_BIND, nullptr), 0);

    // Nothing installed: every file is reported, the help folder only noted.
    Outcome run = Check();
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_TRUE(
        Contains(run.out, "MISSING  " + CONFIG_DIR + DEFAULT_CONFIG_XML + " (sample configuration"))
        << run.out;
    EXPECT_TRUE(Contains(run.out, "MISSING  " + DEFAULT_APP_ICON + " (picture")) << run.out;
    EXPECT_TRUE(Contains(run.out, "MISSING  " + TRAY_IMAGE_DIR + TRAY_ICON_LOCKED)) << run.out;
    EXPECT_TRUE(Contains(run.out, "MISSING  " + IMAGE_DIR + "About_BG.png")) << run.out;
    EXPECT_TRUE(Contains(run.out, "MISSING  " + policyDir + "/tav.conf (bus policy")) << run.out;
    EXPECT_TRUE(Contains(run.out, HELP_DIR + " (help documents, optional: none installed)"))
        << run.out;
    EXPECT_FALSE(Contains(run.out, " ok ")) << run.out;

    // Everything the build installs, put in place.
    ASSERT_EQ(::mkdir(IMAGE_DIR.c_str(), 0755), 0);
    ASSERT_TRUE(Copy(TAV_SAMPLE_DEFAULT_CONFIG, CONFIG_DIR + DEFAULT_CONFIG_XML));
    ASSERT_TRUE(tavtest::WriteFile(policyDir + "/tav.conf", "<busconfig/>\n"));
    for (const char* name : {TAV_IMAGE_NAMES_LIST})
        ASSERT_TRUE(Copy(std::string(TAV_TEST_IMAGE_DIR) + "/" + name, IMAGE_DIR + name));
    run = Check();
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(Contains(run.out, "\n0 of ")) << run.out;

    // A damaged picture, a folder in place of one, a missing one.
    ASSERT_TRUE(tavtest::WriteFile(IMAGE_DIR + "About_BG.png", "not a picture"));
    ASSERT_EQ(::unlink(TASK_MANAGER_ICON.c_str()), 0);
    ASSERT_EQ(::mkdir(TASK_MANAGER_ICON.c_str(), 0755), 0);
    ASSERT_EQ(::unlink(FAVORITE_TAB_ICON.c_str()), 0);
    run = Check();
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_TRUE(
        Contains(run.out, "BAD      " + IMAGE_DIR + "About_BG.png (picture: unreadable: not a PNG"))
        << run.out;
    EXPECT_TRUE(
        Contains(run.out, "BAD      " + TASK_MANAGER_ICON + " (picture: not a regular file)"))
        << run.out;
    EXPECT_TRUE(Contains(run.out, "MISSING  " + FAVORITE_TAB_ICON)) << run.out;
    EXPECT_TRUE(Contains(run.out, "\n3 of ")) << run.out;
    ::umount2(policyDir.c_str(), MNT_DETACH);
}
