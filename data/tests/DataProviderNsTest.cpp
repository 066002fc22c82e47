// Saving configuration files as they are kept on a machine: in root's
// folder, owned by other users and groups, on a disk that fills up. Needs
// root and a private mount namespace (for a small tmpfs).
#include "AsUser.h"
#include "TAVDataProvider.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace {

const uid_t kUser = 47021;
const gid_t kGroup = 47022, kOtherGroup = 47023;

// A document of n elements (10 bytes each).
struct Doc : LibTAVData::CTAVDataProvider {
    explicit Doc(int count = 0) : n(count) {}
    int Member2DOM() override
    {
        TiXmlElement* root = new TiXmlElement("Root");
        for (int i = 0; i < n; ++i)
            root->LinkEndChild(new TiXmlElement("P"));
        m_pDocument->LinkEndChild(root);
        return 0;
    }
    int DOM2Member() override
    {
        n = 0;
        for (TiXmlNode* e = m_pDocument->RootElement()->FirstChild(); e; e = e->NextSibling())
            ++n;
        return 0;
    }
    int n;
};

// The elements the file holds; -1 when it does not load.
int Elements(const std::string& file)
{
    Doc d;
    return d.LoadFromFile(file) == 0 ? d.n : -1;
}

class DataProviderNs : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tavtest::InPrivateNamespace());
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root to save as other users and to mount a small tmpfs";
    }
};

} // namespace

// A full disk never costs the document that was there: neither for a user
// who can write the file but not its folder (rewritten in place), nor for
// root (replaced by a copy).
TEST_F(DataProviderNs, FullDiskLeavesTheOldDocument)
{
    const std::string dir = "/tmp/small-disk", file = dir + "/Config.xml";
    ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
    if (::mount("small", dir.c_str(), "tmpfs", 0, "size=256k,mode=0755") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    ASSERT_EQ(Doc(30).Save2File(file), 0);
    ASSERT_EQ(::chown(file.c_str(), kUser, kGroup), 0);
    const std::string before = tavtest::ReadFile(file);
    const std::string filler(4096, 'f');
    const int fd = ::open((dir + "/filler").c_str(), O_WRONLY | O_CREAT, 0600);
    while (::write(fd, filler.data(), filler.size()) > 0) {
    }
    ::close(fd);

    std::string log;
    EXPECT_EQ(AsUser(
                  kUser, kGroup, [&] { return Doc(1000).Save2File(file) == -1 ? 0 : 1; }, &log),
              0);
    EXPECT_NE(log.find(":  ERROR:   CTAVDataProvider::Save2File() --no room for 10015 bytes in " +
                       file + ": No space left on device; the file is left as it was\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(Doc(1000).Save2File(file), -1);
    EXPECT_EQ(tavtest::ReadFile(file), before);
    EXPECT_EQ(::system(("test $(ls " + dir + " | wc -l) = 2").c_str()), 0); // no copy left

    // What fits where the old text was is written; with room again, more.
    EXPECT_EQ(AsUser(kUser, kGroup, [&] { return Doc(20).Save2File(file); }), 0);
    EXPECT_EQ(Elements(file), 20);
    ASSERT_EQ(::unlink((dir + "/filler").c_str()), 0);
    EXPECT_EQ(AsUser(kUser, kGroup, [&] { return Doc(1000).Save2File(file); }), 0);
    EXPECT_EQ(Elements(file), 1000);
    ::umount2(dir.c_str(), MNT_DETACH);
}

// A save keeps the file's owner, group and mode, whoever saves it.
TEST_F(DataProviderNs, SaveKeepsOwnerGroupAndMode)
{
    const std::string dir = tavtest::MakeTempDir("owned"), file = dir + "/Shared.xml";
    ASSERT_EQ(::chmod(tavtest::TempRoot().c_str(), 0755), 0);
    ASSERT_EQ(::chown(dir.c_str(), kUser, kGroup), 0);
    ASSERT_EQ(Doc(1).Save2File(file), 0);
    ASSERT_EQ(::chown(file.c_str(), kUser, kOtherGroup), 0);
    ASSERT_EQ(::chmod(file.c_str(), 0664), 0);

    ASSERT_EQ(Doc(4).Save2File(file), 0); // by root
    struct stat st, after;
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_TRUE(st.st_uid == kUser && st.st_gid == kOtherGroup && (st.st_mode & 07777) == 0664);

    // The owner may write the folder but cannot give a copy a group he is
    // not in: the same file is rewritten in place instead, and that is logged.
    std::string log;
    EXPECT_EQ(AsUser(
                  kUser, kGroup, [&] { return Doc(5).Save2File(file); }, &log),
              0);
    EXPECT_EQ(Elements(file), 5);
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_TRUE(after.st_ino == st.st_ino && after.st_gid == kOtherGroup &&
                (after.st_mode & 07777) == 0664);
    EXPECT_NE(
        log.find("Save2File() --cannot give a new copy of " + file +
                 " its owner 47021:47023 (Operation not permitted); writing it in place instead\n"),
        std::string::npos)
        << log;
}
