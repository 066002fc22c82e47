#include "SafeFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The reason a read was refused; the text when it was not.
std::string Read(const std::string& path, std::size_t maxBytes)
{
    std::string text, error;
    return tavtools::ReadRegularFile(path, maxBytes, text, error) ? text : "refused: " + error;
}

} // namespace

// What a hostile user can plant where a tool looks: none of it blocks, none
// of it is read without end.
TEST(SafeFile, OnlyBoundedRegularFilesAreRead)
{
    const std::string dir = tavtest::MakeTempDir("safe");
    ASSERT_TRUE(tavtest::WriteFile(dir + "/file", "abc"));
    ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink((dir + "/fifo").c_str(), (dir + "/to-fifo").c_str()), 0);
    ASSERT_EQ(::symlink((dir + "/file").c_str(), (dir + "/to-file").c_str()), 0);

    EXPECT_EQ(Read(dir + "/file", 3), "abc");
    EXPECT_EQ(Read(dir + "/file", 2), "refused: larger than 2 bytes");
    EXPECT_EQ(Read(dir + "/fifo", 4096), "refused: a FIFO, not a regular file");
    EXPECT_EQ(Read(dir + "/to-fifo", 4096), "refused: a symbolic link (not followed)");
    EXPECT_EQ(Read(dir + "/to-file", 4096), "refused: a symbolic link (not followed)");
    EXPECT_EQ(Read("/dev/zero", 4096), "refused: a character device, not a regular file");
    EXPECT_EQ(Read(dir, 4096), "refused: a folder, not a regular file");
    EXPECT_EQ(Read(dir + "/missing", 4096), "refused: No such file or directory");
    // A size of 0 in fstat does not lift the bound on the read itself.
    EXPECT_EQ(Read("/proc/self/maps", 16), "refused: larger than 16 bytes");
}
