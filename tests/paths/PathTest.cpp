#include <nvsupport/paths/Path.h>

#include "AsUnprivileged.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

// Exact text: JString's own == ignores letter case.
std::string str(const JString& s) {
    return *s;
}

std::string slashed(std::string s) {
    for (char& c : s)
        if (c == '\\')
            c = '/';
    return s;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeAll(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// A fresh directory (its real path), removed with everything in it; the current directory
// is restored first.
class PathTest : public ::testing::Test {
protected:
    ~PathTest() override { fs::current_path(savedCwd); }
    std::string at(const std::string& name) const { return dir + "/" + name; }

    nvtest::TempDir tmp;
    const std::string dir = fs::canonical(tmp.path).string();
    const std::string savedCwd = fs::current_path().string();
};

TEST_F(PathTest, SplitJoinAndNameParts) {
    struct Row {
        const char *path, *drive, *dir, *fname, *ext;
    };
    const Row rows[] = {
        {"C:\\work\\lib\\a.lib", "C:", "\\work\\lib\\", "a", ".lib"},
        {"/work/lib/a.lib", "", "/work/lib/", "a", ".lib"},
        {"a/b\\c.d", "", "a/b\\", "c", ".d"},
        {"//server/share/x.txt", "", "//server/share/", "x", ".txt"},
        {"a.b.dll", "", "", "a.b", ".dll"},
        {"archive.tar.gz", "", "", "archive.tar", ".gz"},
        {"noext", "", "", "noext", ""},
        {"C:\\dir\\", "C:", "\\dir\\", "", ""},
        {"dir.d/name", "", "dir.d/", "name", ""},
        {".bashrc", "", "", "", ".bashrc"},
        {"a.", "", "", "a", "."},
        {"a/..", "", "a/", ".", "."},
        {"C:", "C:", "", "", ""},
        {"C:x.txt", "C:", "", "x", ".txt"},
        {"1:x", "1:", "", "x", ""},
        {":x", "", "", ":x", ""},
        {"", "", "", "", ""},
        {"/\xC3\xA9t\xE9/\xFF\x80.\xC3\xBC", "", "/\xC3\xA9t\xE9/", "\xFF\x80", ".\xC3\xBC"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.path);
        PathName p;
        p.ext = "stale";
        sp_SplitPath(r.path, &p);
        EXPECT_EQ(str(p.drive), r.drive);
        EXPECT_EQ(str(p.dir), r.dir);
        EXPECT_EQ(str(p.fname), r.fname);
        EXPECT_EQ(str(p.ext), r.ext);
        EXPECT_EQ(str(sp_MakePath(p)), slashed(r.path));
        EXPECT_EQ(str(sp_GetFileName(r.path)), std::string(r.fname) + r.ext);
        EXPECT_EQ(str(sp_GetFileExt(r.path)), r.ext);
        EXPECT_EQ(str(sp_CrackSharedLibraryName(r.path)), r.fname);
    }

    sp_SplitPath("a/b.c", nullptr); // no place for the pieces: nothing happens

    // Components are cut to 255 bytes, like fixed buffers of 256; a huge path is safe.
    const std::string longDir = "/" + std::string(300, 'd') + "/";
    const std::string longName(300, 'n'), longExt = "." + std::string(300, 'e');
    PathName cut;
    sp_SplitPath((longDir + longName + longExt).c_str(), &cut);
    EXPECT_EQ(str(cut.dir), longDir.substr(0, 255));
    EXPECT_EQ(str(cut.fname), longName.substr(0, 255));
    EXPECT_EQ(str(cut.ext), longExt.substr(0, 255));
    EXPECT_EQ(str(sp_GetDirFromPath((longDir + "x").c_str())), longDir.substr(0, 255));
    const std::string huge = std::string(200000, 'h') + ".e";
    EXPECT_EQ(str(sp_GetFileName(huge.c_str())), std::string(255, 'h') + ".e");
}

TEST_F(PathTest, DirectoryOfPath) {
    EXPECT_EQ(str(sp_GetDirFromPath(nullptr)), "");
    // clang-format off
    const char* rows[][2] = {
        {"", ""},                   {"a.lib", ""},             {"C:\\x.txt", "C:"},
        {"C:\\work\\lib\\a.lib", "C:/work/lib"},               {"C:", "C:"},
        {"\\\\server\\share\\x.txt", "//server/share"},        {"/x", ""},
        {"/work/lib/a.lib", "/work/lib"}, {"C:\\a\\\\b.txt", "C:/a"},
        {"a//b\\/\\", "a//b"},      {"C:rel/x", "C:rel"},
    };
    // clang-format on
    for (const auto& r : rows)
        EXPECT_EQ(str(sp_GetDirFromPath(r[0])), r[1]) << r[0];
}

TEST_F(PathTest, SeparatorConversion) {
    for (const char* r : {"", "a\\b/c", "\\\\x\\\\", "/plain/", "\xE9\\\xFF"}) {
        EXPECT_EQ(str(sp_ConvertLocalToUnix(r)), slashed(r)) << r;
        EXPECT_EQ(str(sp_ConvertUnixToLocal(r)), r) << r;
    }
}

TEST_F(PathTest, Cleaning) {
    // clang-format off
    const char* rows[][2] = {
        {"", ""},                {"a/../..", ".."},        {"a/./b//c", "a/b/c"},
        {"C:/a/..", "C:/"},      {"C:\\a\\..", "C:/"},     {"C:\\", "C:/"},
        {"C:/..\\x/.", "C:/x"},  {".", "."},               {"./", "."},
        {"a/..", "."},           {"../a/../../b", "../../b"}, {"..\\..", "../.."},
        {"a/b/", "a/b"},         {"a\\b/./c/", "a/b/c"},   {"...", "..."},
        {"/", "/"},              {"/..", "/"},             {"/../a", "/a"},
        {"/a/b/../../..", "/"},  {"//server/share/../x", "//server/x"},
        {"\\\\server\\share\\x", "//server/share/x"},      {"//", "//"},
        {"///a//", "//a"},       {"C:a/..", "."},          {"C:", "C:"},
        {"C:a\\b", "C:a/b"},     {"1:/a/..", "1:"},        {"\xC3\xA9/./\xFF/", "\xC3\xA9/\xFF"},
    };
    // clang-format on
    for (const auto& r : rows)
        EXPECT_EQ(str(sp_CleanPath(r[0])), r[1]) << r[0];
}

TEST_F(PathTest, RelativeTest) {
    const std::pair<const char*, bool> rows[] = {
        {"", true},        {"C:file", true}, {"C:", true},      {"work", true},
        {"./x", true},     {"1:/x", true},   {"\xE9:/x", true}, {"/x", false},
        {"\\work", false}, {"C:\\x", false}, {"z:/x", false},   {"//s/x", false},
    };
    for (const auto& [path, relative] : rows)
        EXPECT_EQ(sp_IsRelativePath(path), relative) << path;
}

TEST_F(PathTest, CurrentAndFullPath) {
    fs::current_path(dir);
    EXPECT_EQ(str(sp_GetCwd()), dir);
    // clang-format off
    const std::pair<const char*, std::string> rows[] = {
        {"", dir}, {".", dir}, {"sub\\..//f.txt", dir + "/f.txt"}, {"C:rel", dir + "/C:rel"},
        {"/x/./y/", "/x/y"}, {"C:\\x\\..\\y", "C:/y"}, {"\\\\srv\\share", "//srv/share"},
    };
    // clang-format on
    for (const auto& [path, full] : rows)
        EXPECT_EQ(str(sp_GetFullPath(path)), full) << path;
    fs::current_path("/"); // at the root no double separator appears
    EXPECT_EQ(str(sp_GetFullPath("tmp")), "/tmp");
    EXPECT_EQ(str(sp_GetFullPath("..")), "/");
}

TEST_F(PathTest, ExistenceAndDirectories) {
    writeAll(at("f.txt"), "x");
    fs::create_symlink(at("f.txt"), at("link"));
    fs::create_symlink(dir, at("dirlink"));
    fs::create_symlink(at("missing"), at("dangling"));
    const struct {
        std::string path;
        bool isFile, isDir;
    } rows[] = {
        // clang-format off
        {dir, false, true},             {dir + "/", false, true},       {at("f.txt"), true, false},
        {dir + "\\f.txt", true, false}, {at("link"), true, false},      {at("dirlink"), false, true},
        {at("dangling"), false, false}, {at("missing"), false, false},  {"", false, false},
        {"/dev/null", false, false},
        // clang-format on
    };
    for (const auto& r : rows) {
        EXPECT_EQ(sp_ExistFile(r.path.c_str()), r.isFile) << r.path;
        EXPECT_EQ(sp_ExistDir(r.path.c_str()), r.isDir) << r.path;
    }
    EXPECT_FALSE(sp_ExistFile(nullptr));

    EXPECT_TRUE(sp_MakeDir(at("a").c_str()));
    EXPECT_TRUE(fs::is_directory(at("a")));
    EXPECT_FALSE(sp_MakeDir(at("a").c_str())) << "exists already";
    EXPECT_FALSE(sp_MakeDir(at("x/y").c_str())) << "parent missing";
    EXPECT_FALSE(fs::exists(at("x")));
    EXPECT_FALSE(sp_MakeDir(""));
    EXPECT_TRUE(sp_MakeDir((dir + "\\b\\").c_str()));
    EXPECT_TRUE(fs::is_directory(at("b")));
    writeAll(at("b/inner"), "");
    EXPECT_FALSE(sp_RemoveDir(at("b").c_str())) << "not empty";
    EXPECT_FALSE(sp_RemoveDir(at("f.txt").c_str()));
    EXPECT_FALSE(sp_RemoveDir(""));
    EXPECT_TRUE(sp_RemoveDir((dir + "\\a").c_str()));
    EXPECT_FALSE(fs::exists(at("a")));
    EXPECT_FALSE(sp_RemoveDir(at("a").c_str()));
}

TEST_F(PathTest, CopyFile) {
    std::string data(200000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7 + i / 251);
    writeAll(at("src"), data);
    writeAll(at("empty"), "");
    writeAll(at("old"), std::string(300000, 'o'));
    fs::create_directory(at("d"));

    EXPECT_TRUE(sp_CopyFile(at("src").c_str(), at("new").c_str(), false));
    EXPECT_EQ(readAll(at("new")), data);
    EXPECT_FALSE(sp_CopyFile(at("empty").c_str(), at("new").c_str(), false));
    EXPECT_EQ(readAll(at("new")), data) << "overwrite false must leave the file alone";
    EXPECT_TRUE(sp_CopyFile(at("src").c_str(), (dir + "\\old").c_str(), true));
    EXPECT_EQ(readAll(at("old")), data) << "a longer file is truncated";
    EXPECT_TRUE(sp_CopyFile(at("empty").c_str(), at("old").c_str(), true));
    EXPECT_EQ(readAll(at("old")), "");

    EXPECT_FALSE(sp_CopyFile(at("missing").c_str(), at("m2").c_str(), true));
    EXPECT_FALSE(fs::exists(at("m2")));
    EXPECT_FALSE(sp_CopyFile(at("d").c_str(), at("m3").c_str(), true)) << "a directory";
    EXPECT_FALSE(fs::exists(at("m3")));
    EXPECT_FALSE(sp_CopyFile(at("src").c_str(), at("no/such").c_str(), true));
    EXPECT_FALSE(sp_CopyFile(at("src").c_str(), at("d").c_str(), true));
    EXPECT_FALSE(sp_CopyFile("", at("m4").c_str(), true));
    // A file copied onto itself, also through a link, is never truncated.
    fs::create_symlink(at("src"), at("srclink"));
    EXPECT_FALSE(sp_CopyFile(at("src").c_str(), at("srclink").c_str(), true));
    EXPECT_EQ(readAll(at("src")), data);
}

TEST_F(PathTest, ComparePaths) {
    writeAll(at("f"), "same");
    writeAll(at("g"), "same");
    fs::create_directory(at("sub"));
    fs::create_symlink(at("f"), at("sym"));
    fs::create_hard_link(at("f"), at("hard"));
    fs::current_path(at("sub"));
    const struct {
        std::string a, b;
        bool same;
    } rows[] = {
        // clang-format off
        {at("f"), at("f"), true},          {at("f"), "../f", true},   {at("f"), at("sym"), true},
        {at("f"), dir + "\\sub\\..\\f", true}, {at("hard"), "../f", true}, {at("sub"), ".", true},
        {dir, at("sub/.."), true},         {at("f"), at("g"), false}, {at("f"), at("sub"), false},
        {at("missing"), at("missing"), false}, {at("f"), at("missing"), false}, {"", "", false},
        // clang-format on
    };
    for (const auto& r : rows)
        EXPECT_EQ(sp_ComparePaths(r.a.c_str(), r.b.c_str()), r.same) << r.a << " vs " << r.b;
    EXPECT_TRUE(sp_CaseSensitiveFiles());
}

} // namespace
