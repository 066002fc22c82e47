#include "SafeFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

using tavtools::ReadRegularFile;
using tavtools::ReadRegularFileAt;

namespace {

// The reason a read was refused; "read" when it was not.
std::string Refusal(const std::string& path, std::size_t maxBytes)
{
    std::string text = "untouched", error;
    if (ReadRegularFile(path, maxBytes, text, error))
        return "read";
    EXPECT_EQ(text, "untouched") << path;
    return error;
}

} // namespace

TEST(SafeFile, RegularFilesAreReadWhole)
{
    const std::string dir = tavtest::MakeTempDir("safe");
    const std::string body = std::string(100000, 'x') + "end";
    ASSERT_TRUE(tavtest::WriteFile(dir + "/file", body));
    std::string text, error;
    ASSERT_TRUE(ReadRegularFile(dir + "/file", body.size(), text, error)) << error;
    EXPECT_EQ(text, body);

    // Relative to an open folder, as a folder search reads its entries.
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(dirFd, 0);
    ASSERT_TRUE(tavtest::WriteFile(dir + "/small", "abc"));
    EXPECT_TRUE(ReadRegularFileAt(dirFd, "small", 3, text, error));
    EXPECT_EQ(text, "abc");
    ::close(dirFd);
}

// What a hostile user can plant where a tool looks: none of it blocks, none
// of it is read without end.
TEST(SafeFile, AnythingButABoundedRegularFileIsRefused)
{
    const std::string dir = tavtest::MakeTempDir("safe");
    ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink((dir + "/fifo").c_str(), (dir + "/to-fifo").c_str()), 0);
    ASSERT_TRUE(tavtest::WriteFile(dir + "/big", std::string(4097, 'x')));
    ASSERT_EQ(::symlink((dir + "/big").c_str(), (dir + "/to-file").c_str()), 0);

    EXPECT_EQ(Refusal(dir + "/fifo", 4096), "a FIFO, not a regular file");
    EXPECT_EQ(Refusal(dir + "/to-fifo", 4096), "a symbolic link (not followed)");
    EXPECT_EQ(Refusal(dir + "/to-file", 1 << 20), "a symbolic link (not followed)");
    EXPECT_EQ(Refusal("/dev/zero", 4096), "a character device, not a regular file");
    EXPECT_EQ(Refusal(dir, 4096), "a folder, not a regular file");
    EXPECT_EQ(Refusal(dir + "/big", 4096), "larger than 4096 bytes");
    EXPECT_EQ(Refusal(dir + "/missing", 4096), "No such file or directory");
    // A size of 0 in fstat does not lift the bound on the read itself.
    EXPECT_EQ(Refusal("/proc/self/maps", 16), "larger than 16 bytes");
}
