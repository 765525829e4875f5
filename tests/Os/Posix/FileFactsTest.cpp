#include <nvsupport/Os/Posix/FileFacts.h>
#include <nvsupport/Os/Posix/FileFacts_p.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
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
    static void write(const std::string& p, const std::string& bytes, std::int64_t sec, long ns) {
        std::ofstream(p, std::ios::binary) << bytes;
        setTime(p, sec, ns);
    }
    static void setTime(const std::string& p, std::int64_t sec, long nsec) {
        struct timespec t[2] = {{static_cast<time_t>(sec), nsec}, {static_cast<time_t>(sec), nsec}};
        ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), t, 0), 0);
    }
    // Size, 64-bit size, modification time, and whether the path is a link.
    static std::string facts(const std::string& p) {
        return std::to_string(sp_GetFileSize(p.c_str())) + " " +
               std::to_string(sp_GetFileSize64(p.c_str())) + " " +
               std::to_string(sp_GetFileModifiedTime(p.c_str())) +
               (sp_IsLink(p.c_str()) ? " link" : "");
    }

    std::string m_dir;
};

TEST_F(FileFactsTest, SizesAndTimesOfFilesLinksAndDirectories) {
    const std::string file = path("data.bin"), link = path("link"), dangling = path("dangling");
    write(file, std::string(1234, 'x'), 1000000000, 123456789);
    ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);
    ASSERT_EQ(::symlink(path("nowhere").c_str(), dangling.c_str()), 0);
    setTime(m_dir, 1500000000, 0);
    // Links report their target; directories exist but have no size.
    EXPECT_EQ(facts(file), "1234 1234 1000000000");
    EXPECT_EQ(facts(m_dir + "\\data.bin"), "1234 1234 1000000000");
    EXPECT_EQ(facts(link), "1234 1234 1000000000 link");
    EXPECT_EQ(facts(dangling), "0 -1 -1 link");
    EXPECT_EQ(facts(path("missing")), "0 -1 -1");
    EXPECT_EQ(facts(""), "0 -1 -1");
    EXPECT_EQ(facts(m_dir), "0 0 1500000000");
    EXPECT_EQ(sp_GetFileSize(nullptr), 0);
    EXPECT_EQ(sp_GetFileSize64(static_cast<const char*>(nullptr)), -1);
    EXPECT_FALSE(sp_IsLink(nullptr));
    const int fd = ::open(file.c_str(), O_RDONLY);
    EXPECT_EQ(sp_GetFileSize64(fd), 1234);
    ::close(fd);
    EXPECT_EQ(sp_GetFileSize64(-1), -1);
}

TEST_F(FileFactsTest, StampSeesRewritesWithinOneSecondAndClampsLateTimes) {
    const std::string file = path("profile.ini");
    std::int64_t first = 5, second = 5, size = 5;
    EXPECT_FALSE(fileStamp(file.c_str(), &first, &size)); // missing
    EXPECT_TRUE(first == -1 && size == 0);
    EXPECT_FALSE(fileStamp(nullptr, nullptr, nullptr));
    write(file, "[a]\nk=1\n", 1700000000, 100);
    ASSERT_TRUE(fileStamp(file.c_str(), &first, &size));
    EXPECT_EQ(first, 1700000000000000100);
    EXPECT_EQ(size, 8);
    write(file, "[a]\nk=2\n", 1700000000, 200); // same size, same second
    ASSERT_TRUE(fileStamp((m_dir + "\\profile.ini").c_str(), &second, nullptr));
    EXPECT_EQ(sp_GetFileModifiedTime(file.c_str()), 1700000000);
    EXPECT_EQ(second - first, 100);

    // Past 2038 the 32-bit time saturates; the stamp keeps the real time.
    setTime(file, std::int64_t{1} << 33, 7);
    EXPECT_EQ(sp_GetFileModifiedTime(file.c_str()), INT_MAX);
    ASSERT_TRUE(fileStamp(file.c_str(), &first, nullptr));
    EXPECT_EQ(first, (std::int64_t{1} << 33) * 1000000000 + 7);
}

TEST_F(FileFactsTest, SixtyFourBitPositionsAndSizes) {
    const std::string file = path("sparse.bin");
    FILE* f = std::fopen(file.c_str(), "w+b");
    ASSERT_NE(f, nullptr);
    const std::int64_t fiveGiB = std::int64_t{5} << 30;
    ASSERT_EQ(sp_SeekFilePos(f, fiveGiB, SEEK_SET), 0);
    EXPECT_EQ(sp_TellFilePos(f), fiveGiB);
    ASSERT_EQ(std::fputc('z', f), 'z');
    ASSERT_EQ(std::fflush(f), 0);
    EXPECT_EQ(sp_TellFilePos(f), fiveGiB + 1);
    EXPECT_EQ(sp_GetFileSize64(::fileno(f)), fiveGiB + 1);
    EXPECT_EQ(sp_GetFileSize64(file.c_str()), fiveGiB + 1);
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
    const std::string a = path("a.txt"), b = path("b.txt");
    write(a, "alpha", 1600000000, 0);
    ASSERT_TRUE(sp_MoveFile((m_dir + "\\a.txt").c_str(), (m_dir + "\\b.txt").c_str()));
    EXPECT_EQ(facts(a) + "; " + facts(b), "0 -1 -1; 5 5 1600000000");
    write(a, "second", 1600000000, 0);
    EXPECT_FALSE(sp_MoveFile(a.c_str(), b.c_str())); // b exists: both stay as they were
    EXPECT_EQ(facts(a) + "; " + facts(b), "6 6 1600000000; 5 5 1600000000");
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
    const std::string far = std::string(pattern) + "/moved.txt";
    ::chmod(a.c_str(), 0640);
    EXPECT_TRUE(sp_MoveFile(a.c_str(), far.c_str()));
    EXPECT_EQ(facts(a) + "; " + facts(far), "0 -1 -1; 6 6 1600000000");
    EXPECT_EQ(fs::status(far).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_FALSE(sp_MoveFile(b.c_str(), far.c_str())); // exists there too
    EXPECT_TRUE(fs::exists(b));
    fs::remove_all(pattern);
}

TEST_F(FileFactsTest, FreeDiskSpaceAndDrives) {
    const std::string file = path("f.txt");
    write(file, "x", 0, 0);
    // The folder of a file not yet made counts, and "" is the current directory.
    for (const std::string& p :
         {std::string("/tmp"), file, path("not-yet-made.txt"), std::string()})
        EXPECT_GT(sp_GetFreeDiskSpace(p.c_str()), 0) << p;
    EXPECT_EQ(sp_GetFreeDiskSpace(path("no/such/dir/file").c_str()), -1);
    EXPECT_EQ(nvsupport::detail::lastFreeDiskSpaceError(), ENOENT);
    // A path under a file: its folder is no directory, however deep the path.
    for (const char* below : {"/new", "/below/a/file"}) {
        EXPECT_EQ(sp_GetFreeDiskSpace((file + below).c_str()), -1) << below;
        EXPECT_EQ(nvsupport::detail::lastFreeDiskSpaceError(), ENOTDIR) << below;
    }
    for (const char* p : {"c:", "C:/", "c", "", "/tmp"})
        EXPECT_FALSE(sp_ChangeDrive(p)) << p;
}

} // namespace
