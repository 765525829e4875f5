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
    bool quick;    // sp_CheckFileOpen
    int diagnosis; // sp_FileOpenForensic; -1: not checked
};

// 2 * diagnosis + quick check for `c`, or 100 when the message does not read as it should.
int answers(const Case& c) {
    const auto mode = static_cast<GfnOpenMode>(c.mode);
    const int quick = sp_CheckFileOpen(c.path.c_str(), mode);
    if (c.diagnosis < 0)
        return -2 + quick;
    FileOpenForensic d = FOF_INTERNAL_ERROR;
    JString msg("unset");
    if (!sp_FileOpenForensic(c.path.c_str(), mode, &d) ||
        !sp_FileOpenForensicMsg(c.path.c_str(), mode, &msg))
        return 100;
    std::string want = d == FOF_INTERNAL_ERROR ? std::string("Internal error")
                       : c.path.empty()        ? std::string("The file ") + kReason[d]
                                               : "The file " + c.path + "\n" + kReason[d];
    return want == *msg ? 2 * d + quick : 100;
}

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

TEST(FileOpenForensicTest, QuickCheckDiagnosisAndMessages) {
    TempDir dir;
    const std::string file = dir / "old.cir", fresh = dir / "new.cir", lost = dir / "no/x.cir";
    const std::string sub = dir / "sub", link = dir / "dangling";
    const std::string back = dir.path + "\\old.cir"; // either separator
    std::ofstream(file) << "x";
    ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
    ASSERT_EQ(symlink((dir / "target").c_str(), link.c_str()), 0);
    // Modes other than 3 and 4 are reading for the quick check; the diagnosis knows 0, 3, 5.
    const Case cases[] = {
        {"", 0, false, 1},   {"", 3, false, -1},    {"", 4, false, 8},    {"", -1, false, 8},
        {file, 0, true, 3},  {file, 3, false, 0},   {file, 4, true, 8},   {file, 5, true, 7},
        {file, 1, true, 8},  {file, 1000, true, 8}, {fresh, 0, false, 1}, {fresh, 3, true, 0},
        {fresh, 4, true, 8}, {fresh, 5, false, 5},  {fresh, 1, false, 8}, {lost, 3, false, 4},
        {lost, 4, false, 8}, {lost, 5, false, 4},   {sub, 0, false, 3},   {sub, 4, false, 8},
        {back, 0, true, 3},  {link, 4, false, 8},   {link, 3, false, 5}};
    for (const Case& c : cases)
        EXPECT_EQ(answers(c), 2 * c.diagnosis + c.quick) << c.path << " mode " << c.mode;
    EXPECT_FALSE(exists(fresh) || exists(dir / "target") || exists(dir / "no"));
    std::ifstream in(file);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "x"); // appending wrote nothing
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
    const Case cases[] = {{secret, 0, false, 2}, {ro, 5, true, 6}, {ro, 3, false, 6},
                          {ro, 4, false, 8},     {ro, 0, true, 3}, {inRo, 3, false, 5}};
    for (const Case& c : cases) {
        int got = nvtest::asUnprivileged(dir.path, [&] { return answers(c); });
        if (got < 0)
            GTEST_SKIP()
                << "running as root and cannot become \"nobody\" to make permissions apply";
        EXPECT_EQ(got, 2 * c.diagnosis + c.quick) << c.path << " mode " << c.mode;
    }
}

} // namespace
