#include <nvsupport/paths/FileOpenForensic.h>

#include "AsUnprivileged.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <string>

namespace {

using nvtest::TempDir;

const char* const kReason[] = {
    "cannot be opened because another file of the same name already exists",
    "does not exist",
    "cannot be opened for read because of insufficient privilege",
    "cannot be opened for read possibly because it is in use by another process",
    "cannot be opened because its directory does not exist",
    "cannot be opened for write possibly because of insufficient directory privilege",
    "cannot be opened for write because of insufficient privilege",
    "cannot be opened for write possibly because it is in use by another process",
};

struct Case {
    std::string path;
    int mode;
    int expected;
};

// The diagnosis of `c`, or 100 when the message does not read as it should for it.
int diagnoseAndCheckMessage(const Case& c) {
    auto mode = static_cast<GfnOpenMode>(c.mode);
    FileOpenForensic d = FOF_INTERNAL_ERROR;
    JString msg("unset");
    if (!sp_FileOpenForensic(c.path.c_str(), mode, &d) ||
        !sp_FileOpenForensicMsg(c.path.c_str(), mode, &msg))
        return 100;
    std::string want = d == FOF_INTERNAL_ERROR ? std::string("Internal error")
                       : c.path.empty()        ? std::string("The file ") + kReason[d]
                                               : "The file " + c.path + "\n" + kReason[d];
    return want == *msg ? d : 100;
}

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

TEST(FileOpenForensicTest, QuickCheckTriesTheOpenAndLeavesNothingBehind) {
    TempDir dir;
    const std::string file = dir / "old.cir", fresh = dir / "new.cir";
    std::ofstream(file) << "x";
    const std::string sub = dir / "sub", lost = dir / "no/x.cir", link = dir / "dangling";
    const std::string back = dir.path + "\\old.cir"; // either separator
    // Modes 5 and 1 are read here; a directory does not open for reading.
    const Case cases[] = {{"", 0, 0},   {"", 3, 0},    {"", 4, 0},    {file, 0, 1},  {file, 3, 0},
                          {file, 4, 1}, {fresh, 0, 0}, {fresh, 4, 1}, {fresh, 3, 1}, {fresh, 5, 0},
                          {file, 5, 1}, {fresh, 1, 0}, {sub, 0, 0},   {sub, 4, 0},   {lost, 4, 0},
                          {back, 0, 1}, {link, 4, 0}};
    ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
    ASSERT_EQ(symlink((dir / "target").c_str(), link.c_str()), 0);
    for (const Case& c : cases)
        EXPECT_EQ(sp_CheckFileOpen(c.path.c_str(), static_cast<GfnOpenMode>(c.mode)),
                  c.expected != 0)
            << c.path << " mode " << c.mode;
    EXPECT_FALSE(exists(fresh) || exists(dir / "target") || exists(dir / "no"));
    std::ifstream in(file);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "x"); // appending wrote nothing
}

TEST(FileOpenForensicTest, DiagnosisAndMessages) {
    TempDir dir;
    const std::string file = dir / "a.cir", fresh = dir / "b.cir", lost = dir / "no/c.cir";
    std::ofstream(file) << "x";
    const Case cases[] = {{fresh, 0, 1}, {"", 0, 1},   {file, 0, 3},   {file, 3, 0}, {fresh, 3, 0},
                          {lost, 3, 4},  {lost, 5, 4}, {fresh, 5, 5},  {file, 5, 7}, {file, 4, 8},
                          {file, 1, 8},  {"", -1, 8},  {file, 1000, 8}};
    for (const Case& c : cases)
        EXPECT_EQ(diagnoseAndCheckMessage(c), c.expected) << c.path << " mode " << c.mode;
    EXPECT_FALSE(exists(fresh)); // the mode-3 attempt removed what it created
    EXPECT_TRUE(sp_FileOpenForensic(file.c_str(), GFN_READ, nullptr));
    EXPECT_TRUE(sp_FileOpenForensicMsg(file.c_str(), GFN_READ, nullptr));
}

TEST(FileOpenForensicTest, PermissionDiagnoses) {
    TempDir dir;
    const std::string secret = dir / "secret.cir", ro = dir / "ro.cir", inRo = dir / "rodir/x";
    std::ofstream(secret) << "x";
    std::ofstream(ro) << "x";
    ASSERT_EQ(mkdir((dir / "rodir").c_str(), 0555), 0);
    ASSERT_EQ(chmod(secret.c_str(), 0), 0);
    ASSERT_EQ(chmod(ro.c_str(), 0444), 0);
    const Case cases[] = {{secret, 0, 2}, {ro, 5, 6}, {ro, 3, 6}, {inRo, 3, 5}};
    for (const Case& c : cases) {
        int got = nvtest::asUnprivileged(dir.path, [&] { return diagnoseAndCheckMessage(c); });
        if (got < 0)
            GTEST_SKIP()
                << "running as root and cannot become \"nobody\" to make permissions apply";
        EXPECT_EQ(got, c.expected) << c.path << " mode " << c.mode;
    }
    int quick = nvtest::asUnprivileged(dir.path, [&] {
        return sp_CheckFileOpen(secret.c_str(), GFN_READ) +
               2 * sp_CheckFileOpen(ro.c_str(), GFN_WRITE) +
               4 * sp_CheckFileOpen(inRo.c_str(), GFN_CREATE_NEW) +
               8 * sp_CheckFileOpen(ro.c_str(), GFN_READ);
    });
    EXPECT_EQ(quick, 8); // only reading the read-only file works
}

} // namespace
