// Saving configuration files the way they are kept on a machine: in a folder
// of root's that users cannot write, owned by other users and groups, on a
// disk that fills up. Needs root and a private mount namespace (for a small
// tmpfs); skipped with a message elsewhere.
#include "TAVDataProvider.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>

using LibTAVData::CTAVDataProvider;

namespace {

const uid_t kUser = 47021;
const gid_t kGroup = 47022, kOtherGroup = 47023;

// A document of n elements.
class Doc : public CTAVDataProvider {
public:
    explicit Doc(int n) : m_n(n) {}
    int Member2DOM() override
    {
        m_pDocument->LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", ""));
        TiXmlElement* root = new TiXmlElement("Root");
        for (int i = 0; i < m_n; ++i) {
            TiXmlElement* e = new TiXmlElement("Program");
            e->SetAttribute("name", "program number " + std::to_string(i));
            root->LinkEndChild(e);
        }
        m_pDocument->LinkEndChild(root);
        return 0;
    }
    int DOM2Member() override
    {
        m_n = 0;
        for (TiXmlElement* e = m_pDocument->RootElement()->FirstChildElement(); e;
             e = e->NextSiblingElement())
            ++m_n;
        return 0;
    }
    std::string Text()
    {
        std::string out;
        Save2String(out);
        return out;
    }
    int Count() const { return m_n; }

private:
    int m_n;
};

// How the test sees a saved file: its text, and whether it loads.
int Elements(const std::string& file)
{
    Doc d(-1);
    return d.LoadFromFile(file) == 0 ? d.Count() : -1;
}

struct stat Stat(const std::string& path)
{
    struct stat st = {};
    ::stat(path.c_str(), &st);
    return st;
}

int Entries(const std::string& dir)
{
    int n = 0;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            n += e->d_name[0] != '.';
        ::closedir(d);
    }
    return n;
}

// Runs fn in a child process under uid kUser, groups kGroup only. Its log
// lines (the log file is ours) are read from its standard output into out.
int AsUser(const std::function<int()>& fn, std::string* out = nullptr)
{
    const std::string file = tavtest::TempRoot() + "/as-user.out";
    const int rc = tavtest::RunInChild([&] {
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::dup2(fd, 1) != 1 || ::setgroups(0, nullptr) != 0 ||
            ::setresgid(kGroup, kGroup, kGroup) != 0 || ::setresuid(kUser, kUser, kUser) != 0)
            return 90;
        return fn();
    });
    if (out)
        *out = tavtest::ReadFile(file);
    return rc;
}

// Fills the file system of dir up to the last byte.
void FillUp(const std::string& dir)
{
    const int fd = ::open((dir + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    const std::string chunk(4096, 'f');
    while (::write(fd, chunk.data(), chunk.size()) > 0) {
    }
    ::close(fd);
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

// A full disk never costs the document that was there: as a user who can
// write the file but not its folder (rewritten in place), and as root
// (replaced by a copy).
TEST_F(DataProviderNs, FullDiskLeavesTheOldDocument)
{
    const std::string dir = "/tmp/small-disk";
    ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
    if (::mount("small", dir.c_str(), "tmpfs", 0, "size=256k,mode=0755") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    const std::string file = dir + "/Config.xml";
    ASSERT_EQ(Doc(3).Save2File(file), 0);
    ASSERT_EQ(::chown(file.c_str(), kUser, kGroup), 0);
    ASSERT_EQ(::chmod(file.c_str(), 0664), 0);
    const std::string before = tavtest::ReadFile(file);
    const ino_t inode = Stat(file).st_ino;
    FillUp(dir);

    // Needs more room than the disk has: refused, the old text stays.
    std::string log;
    EXPECT_EQ(AsUser([&] { return Doc(200).Save2File(file) == -1 ? 0 : 1; }, &log), 0);
    EXPECT_EQ(tavtest::ReadFile(file), before);
    EXPECT_EQ(Elements(file), 3);
    EXPECT_NE(log.find(":  ERROR:   CTAVDataProvider::Save2File() --no room for " +
                       std::to_string(Doc(200).Text().size()) + " bytes in " + file +
                       ": No space left on device; the file is left as it was\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(Doc(200).Save2File(file), -1);
    EXPECT_EQ(tavtest::ReadFile(file), before);
    EXPECT_EQ(Entries(dir), 2);  // no copy left behind

    // Fits in the room the old text had.
    EXPECT_EQ(AsUser([&] { return Doc(2).Save2File(file); }), 0);
    EXPECT_EQ(tavtest::ReadFile(file), Doc(2).Text());

    // With room again, a longer document in place: same file, same owner.
    ASSERT_EQ(::unlink((dir + "/filler").c_str()), 0);
    EXPECT_EQ(AsUser([&] { return Doc(200).Save2File(file); }), 0);
    EXPECT_EQ(tavtest::ReadFile(file), Doc(200).Text());
    const struct stat after = Stat(file);
    EXPECT_EQ(after.st_ino, inode);
    EXPECT_EQ(after.st_uid, kUser);
    EXPECT_EQ(after.st_gid, kGroup);
    ::umount2(dir.c_str(), MNT_DETACH);
}

// A save keeps the file's owner, group and mode, whoever saves it.
TEST_F(DataProviderNs, SaveKeepsOwnerGroupAndMode)
{
    const std::string dir = tavtest::MakeTempDir("owned");
    ASSERT_EQ(::chmod(tavtest::TempRoot().c_str(), 0755), 0);
    ASSERT_EQ(::chown(dir.c_str(), kUser, kGroup), 0);
    const std::string file = dir + "/Shared.xml";
    ASSERT_EQ(Doc(1).Save2File(file), 0);
    ASSERT_EQ(::chown(file.c_str(), kUser, kOtherGroup), 0);
    ASSERT_EQ(::chmod(file.c_str(), 0664), 0);

    // Root.
    ASSERT_EQ(Doc(4).Save2File(file), 0);
    EXPECT_EQ(Elements(file), 4);
    struct stat st = Stat(file);
    EXPECT_EQ(st.st_uid, kUser);
    EXPECT_EQ(st.st_gid, kOtherGroup);
    EXPECT_EQ(st.st_mode & 07777, 0664u);

    // The owner, who may write the folder but cannot give a copy a group he
    // is not in: the file is rewritten in place instead, and that is logged.
    std::string log;
    EXPECT_EQ(AsUser([&] { return Doc(5).Save2File(file); }, &log), 0);
    EXPECT_EQ(Elements(file), 5);
    const struct stat after = Stat(file);
    EXPECT_EQ(after.st_ino, st.st_ino);
    EXPECT_EQ(after.st_gid, kOtherGroup);
    EXPECT_EQ(after.st_mode & 07777, 0664u);
    EXPECT_NE(log.find("CTAVDataProvider::Save2File() --cannot give a new copy of " + file +
                       " its owner 47021:47023 (Operation not permitted); writing it in place instead\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(Entries(dir), 1);
}
