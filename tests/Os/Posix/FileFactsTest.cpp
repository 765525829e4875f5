#include <nvsupport/Os/Posix/FileFacts.h>
#include <nvsupport/Os/Posix/FileFacts_p.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using nvsupport::detail::fileStamp;

class FileFactsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/nvfacts.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string path(const char* name) const { return m_dir + "/" + name; }
    static void write(const std::string& p, const std::string& bytes) {
        std::ofstream(p, std::ios::binary) << bytes;
    }
    static void setTime(const std::string& p, std::int64_t sec, long nsec) {
        struct timespec t[2] = {{static_cast<time_t>(sec), nsec}, {static_cast<time_t>(sec), nsec}};
        ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), t, 0), 0);
    }

    std::string m_dir;
};

TEST_F(FileFactsTest, MissingFilesAndNullPaths) {
    std::string missing = path("missing.txt");
    EXPECT_EQ(sp_GetFileSize(missing.c_str()), 0);
    EXPECT_EQ(sp_GetFileModifiedTime(missing.c_str()), -1);
    EXPECT_EQ(sp_GetFileSize64(missing.c_str()), -1);
    EXPECT_FALSE(sp_IsLink(missing.c_str()));
    std::int64_t ns = 5, size = 5;
    EXPECT_FALSE(fileStamp(missing.c_str(), &ns, &size));
    EXPECT_EQ(ns, -1);
    EXPECT_EQ(size, 0);

    EXPECT_EQ(sp_GetFileSize(nullptr), 0);
    EXPECT_EQ(sp_GetFileSize64(static_cast<const char*>(nullptr)), -1);
    EXPECT_EQ(sp_GetFileSize64(-1), -1);
    EXPECT_EQ(sp_GetFileModifiedTime(""), -1);
    EXPECT_FALSE(sp_IsLink(nullptr));
    EXPECT_FALSE(fileStamp(nullptr, nullptr, nullptr));
}

TEST_F(FileFactsTest, SizesAndTimesOfFilesLinksAndDirectories) {
    std::string file = path("data.bin");
    write(file, std::string(1234, 'x'));
    setTime(file, 1000000000, 123456789);
    std::string backslashed = m_dir + "\\data.bin";
    for (const std::string& p : {file, backslashed}) {
        SCOPED_TRACE(p);
        EXPECT_EQ(sp_GetFileSize(p.c_str()), 1234);
        EXPECT_EQ(sp_GetFileSize64(p.c_str()), 1234);
        EXPECT_EQ(sp_GetFileModifiedTime(p.c_str()), 1000000000);
    }
    std::int64_t ns = 0, size = 0;
    ASSERT_TRUE(fileStamp(file.c_str(), &ns, &size));
    EXPECT_EQ(ns, 1000000000123456789);
    EXPECT_EQ(size, 1234);
    int fd = ::open(file.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(sp_GetFileSize64(fd), 1234);
    ::close(fd);

    // A link reports its target, and only the link is a link.
    std::string link = path("link.bin");
    ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);
    EXPECT_EQ(sp_GetFileSize(link.c_str()), 1234);
    EXPECT_EQ(sp_GetFileModifiedTime(link.c_str()), 1000000000);
    EXPECT_TRUE(sp_IsLink(link.c_str()));
    EXPECT_FALSE(sp_IsLink(file.c_str()));
    std::string dangling = path("dangling");
    ASSERT_EQ(::symlink(path("nowhere").c_str(), dangling.c_str()), 0);
    EXPECT_TRUE(sp_IsLink(dangling.c_str()));
    EXPECT_EQ(sp_GetFileSize(dangling.c_str()), 0);
    EXPECT_EQ(sp_GetFileModifiedTime(dangling.c_str()), -1);

    // Directories exist but have no size.
    setTime(m_dir, 1500000000, 0);
    EXPECT_EQ(sp_GetFileSize(m_dir.c_str()), 0);
    EXPECT_EQ(sp_GetFileSize64(m_dir.c_str()), 0);
    EXPECT_EQ(sp_GetFileModifiedTime(m_dir.c_str()), 1500000000);
}

TEST_F(FileFactsTest, StampSeesRewritesWithinOneSecondAndClampsLateTimes) {
    std::string file = path("profile.ini");
    write(file, "[a]\nk=1\n");
    setTime(file, 1700000000, 100);
    std::int64_t first = 0, second = 0, size = 0;
    ASSERT_TRUE(fileStamp(file.c_str(), &first, &size));
    write(file, "[a]\nk=2\n"); // same size, same second
    setTime(file, 1700000000, 200);
    ASSERT_TRUE(fileStamp(file.c_str(), &second, &size));
    EXPECT_EQ(sp_GetFileModifiedTime(file.c_str()), 1700000000);
    EXPECT_NE(first, second);

    // Past 2038 the 32-bit time saturates; the stamp keeps the real time.
    setTime(file, std::int64_t{1} << 33, 7);
    EXPECT_EQ(sp_GetFileModifiedTime(file.c_str()), INT_MAX);
    ASSERT_TRUE(fileStamp(file.c_str(), &first, nullptr));
    EXPECT_EQ(first, (std::int64_t{1} << 33) * 1000000000 + 7);
}

TEST_F(FileFactsTest, SixtyFourBitPositionsAndSizes) {
    std::string file = path("sparse.bin");
    FILE* f = std::fopen(file.c_str(), "w+b");
    ASSERT_NE(f, nullptr);
    const std::int64_t fiveGiB = std::int64_t{5} << 30;
    ASSERT_EQ(sp_SeekFilePos(f, fiveGiB, SEEK_SET), 0);
    EXPECT_EQ(sp_TellFilePos(f), fiveGiB);
    ASSERT_EQ(std::fputc('z', f), 'z');
    ASSERT_EQ(std::fflush(f), 0);
    EXPECT_EQ(sp_TellFilePos(f), fiveGiB + 1);
    EXPECT_EQ(sp_GetFileSize64(file.c_str()), fiveGiB + 1);
    EXPECT_EQ(sp_GetFileSize64(::fileno(f)), fiveGiB + 1);
    EXPECT_EQ(sp_GetFileSize(file.c_str()), INT_MAX); // too large for 32 bits: saturated

    ASSERT_EQ(sp_SeekFilePos(f, -1, SEEK_END), 0);
    EXPECT_EQ(std::fgetc(f), 'z');
    ASSERT_EQ(sp_SeekFilePos(f, -(fiveGiB + 1), SEEK_CUR), 0);
    EXPECT_EQ(sp_TellFilePos(f), 0);
    EXPECT_NE(sp_SeekFilePos(f, -1, SEEK_SET), 0);
    EXPECT_NE(sp_SeekFilePos(f, 0, 12345), 0);
    std::fclose(f);

    EXPECT_EQ(sp_TellFilePos(nullptr), -1);
    EXPECT_EQ(sp_SeekFilePos(nullptr, 0, SEEK_SET), -1);
}

TEST_F(FileFactsTest, MoveRenamesButNeverReplaces) {
    std::string a = path("a.txt"), b = path("b.txt");
    write(a, "alpha");
    // Backslashes are separators.
    ASSERT_TRUE(sp_MoveFile((m_dir + "\\a.txt").c_str(), (m_dir + "\\b.txt").c_str()));
    EXPECT_FALSE(fs::exists(a));
    EXPECT_EQ(sp_GetFileSize(b.c_str()), 5);

    write(a, "second");
    EXPECT_FALSE(sp_MoveFile(a.c_str(), b.c_str())); // b exists: both stay as they were
    EXPECT_EQ(sp_GetFileSize(a.c_str()), 6);
    EXPECT_EQ(sp_GetFileSize(b.c_str()), 5);
    EXPECT_FALSE(sp_MoveFile(path("missing").c_str(), path("c").c_str()));
    EXPECT_FALSE(sp_MoveFile("", b.c_str()));

    ASSERT_TRUE(fs::create_directory(path("sub")));
    ASSERT_TRUE(sp_MoveFile(path("sub").c_str(), path("sub2").c_str()));
    EXPECT_TRUE(fs::is_directory(path("sub2")));

    // To another file system (when /dev/shm is one): copied, then the original removed.
    struct stat here, shm;
    char pattern[] = "/dev/shm/nvfacts.XXXXXX";
    if (::stat(m_dir.c_str(), &here) != 0 || ::stat("/dev/shm", &shm) != 0 ||
        here.st_dev == shm.st_dev || !::mkdtemp(pattern))
        return;
    std::string far = std::string(pattern) + "/moved.txt";
    ::chmod(a.c_str(), 0640);
    setTime(a, 1600000000, 0);
    EXPECT_TRUE(sp_MoveFile(a.c_str(), far.c_str()));
    EXPECT_FALSE(fs::exists(a));
    EXPECT_EQ(sp_GetFileSize(far.c_str()), 6);
    EXPECT_EQ(sp_GetFileModifiedTime(far.c_str()), 1600000000);
    EXPECT_EQ(fs::status(far).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_FALSE(sp_MoveFile(b.c_str(), far.c_str())); // exists there too
    EXPECT_TRUE(fs::exists(b));
    fs::remove_all(pattern);
}

TEST_F(FileFactsTest, FreeDiskSpaceAndDrives) {
    std::string file = path("f.txt");
    write(file, "x");
    EXPECT_GT(sp_GetFreeDiskSpace("/tmp"), 0);
    EXPECT_GT(sp_GetFreeDiskSpace(file.c_str()), 0);
    EXPECT_GT(sp_GetFreeDiskSpace(path("not-yet-made.txt").c_str()), 0); // its folder counts
    EXPECT_GT(sp_GetFreeDiskSpace(""), 0);                               // current directory

    EXPECT_EQ(sp_GetFreeDiskSpace(path("no/such/dir/file").c_str()), -1);
    EXPECT_EQ(nvsupport::detail::lastFreeDiskSpaceError(), ENOENT);
    EXPECT_EQ(sp_GetFreeDiskSpace((file + "/below/a/file").c_str()), -1);
    EXPECT_EQ(nvsupport::detail::lastFreeDiskSpaceError(), ENOTDIR);

    for (const char* p : {"c:", "C:/", "c", "", "/tmp"})
        EXPECT_FALSE(sp_ChangeDrive(p)) << p;
}

} // namespace
