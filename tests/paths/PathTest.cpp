#include <nvsupport/paths/Path.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

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

// A fresh directory under /tmp (its real path), removed with everything in it; the
// current directory is restored afterwards.
class PathFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/nvpathXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = fs::canonical(pattern).string();
        char* cwd = getcwd(nullptr, 0);
        ASSERT_NE(cwd, nullptr);
        savedCwd = cwd;
        std::free(cwd);
    }
    void TearDown() override {
        EXPECT_EQ(chdir(savedCwd.c_str()), 0);
        fs::remove_all(dir);
    }
    std::string at(const std::string& name) const { return dir + "/" + name; }

    std::string dir, savedCwd;
};

TEST(PathTest, SplitJoinAndNameParts) {
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

    PathName made;
    made.drive = "C:";
    made.dir = "/a/b/";
    made.fname = "x";
    made.ext = ".y";
    EXPECT_EQ(str(sp_MakePath(made)), "C:/a/b/x.y");
    made.dir = "\\a\\b\\";
    EXPECT_EQ(str(sp_MakePath(made)), "C:/a/b/x.y");
    EXPECT_EQ(str(sp_MakePath(PathName())), "");

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

TEST(PathTest, DirectoryOfPath) {
    struct Row {
        const char *path, *dir;
    };
    const Row rows[] = {
        {nullptr, ""},
        {"", ""},
        {"a.lib", ""},
        {"C:\\work\\lib\\a.lib", "C:/work/lib"},
        {"C:\\x.txt", "C:"},
        {"C:", "C:"},
        {"\\\\server\\share\\x.txt", "//server/share"},
        {"/work/lib/a.lib", "/work/lib"},
        {"/x", ""},
        {"C:\\a\\\\b.txt", "C:/a"},
        {"a//b\\/\\", "a//b"},
        {"C:rel/x", "C:rel"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(str(sp_GetDirFromPath(r.path)), r.dir) << (r.path ? r.path : "(null)");
}

TEST(PathTest, SeparatorConversion) {
    const char* rows[] = {"", "a\\b/c", "\\\\x\\\\", "/plain/", "\xE9\\\xFF"};
    for (const char* r : rows) {
        EXPECT_EQ(str(sp_ConvertLocalToUnix(r)), slashed(r)) << r;
        EXPECT_EQ(str(sp_ConvertUnixToLocal(r)), r) << r;
    }
}

TEST(PathTest, Cleaning) {
    struct Row {
        const char *path, *clean;
    };
    const Row rows[] = {
        {"", ""},
        {"a/../..", ".."},
        {"a/./b//c", "a/b/c"},
        {"C:/a/..", "C:/"},
        {"C:\\a\\..", "C:/"},
        {"C:\\", "C:/"},
        {"C:/..\\x/.", "C:/x"},
        {".", "."},
        {"./", "."},
        {"a/..", "."},
        {"../a/../../b", "../../b"},
        {"..\\..", "../.."},
        {"a/b/", "a/b"},
        {"a\\b/./c/", "a/b/c"},
        {"...", "..."},
        {"/", "/"},
        {"/..", "/"},
        {"/../a", "/a"},
        {"/a/b/../../..", "/"},
        {"//server/share/../x", "//server/x"},
        {"\\\\server\\share\\x", "//server/share/x"},
        {"//", "//"},
        {"///a//", "//a"},
        {"C:a/..", "."},
        {"C:", "C:"},
        {"C:a\\b", "C:a/b"},
        {"1:/a/..", "1:"},
        {"\xC3\xA9/./\xFF/", "\xC3\xA9/\xFF"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(str(sp_CleanPath(r.path)), r.clean) << r.path;
}

TEST(PathTest, RelativeTest) {
    struct Row {
        const char* path;
        bool relative;
    };
    const Row rows[] = {
        {"", true},        {"C:file", true}, {"C:", true},      {"work", true},
        {"./x", true},     {"1:/x", true},   {"\xE9:/x", true}, {"/x", false},
        {"\\work", false}, {"C:\\x", false}, {"z:/x", false},   {"//s/x", false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(sp_IsRelativePath(r.path), r.relative) << r.path;
}

TEST_F(PathFileTest, CurrentAndFullPath) {
    ASSERT_EQ(chdir(dir.c_str()), 0);
    EXPECT_EQ(str(sp_GetCwd()), dir);
    EXPECT_EQ(str(sp_GetFullPath("")), dir);
    EXPECT_EQ(str(sp_GetFullPath(".")), dir);
    EXPECT_EQ(str(sp_GetFullPath("sub\\..//f.txt")), dir + "/f.txt");
    EXPECT_EQ(str(sp_GetFullPath("C:rel")), dir + "/C:rel");
    EXPECT_EQ(str(sp_GetFullPath("/x/./y/")), "/x/y");
    EXPECT_EQ(str(sp_GetFullPath("C:\\x\\..\\y")), "C:/y");
    EXPECT_EQ(str(sp_GetFullPath("\\\\srv\\share")), "//srv/share");

    // At the root no double separator appears.
    ASSERT_EQ(chdir("/"), 0);
    EXPECT_EQ(str(sp_GetFullPath("tmp")), "/tmp");
    EXPECT_EQ(str(sp_GetFullPath("..")), "/");
}

TEST_F(PathFileTest, ExistenceAndDirectories) {
    writeAll(at("f.txt"), "x");
    ASSERT_EQ(symlink(at("f.txt").c_str(), at("link").c_str()), 0);
    ASSERT_EQ(symlink(dir.c_str(), at("dirlink").c_str()), 0);
    ASSERT_EQ(symlink(at("missing").c_str(), at("dangling").c_str()), 0);

    struct Row {
        std::string path;
        bool isFile, isDir;
    };
    const Row rows[] = {
        {dir, false, true},
        {dir + "/", false, true},
        {at("f.txt"), true, false},
        {dir + "\\f.txt", true, false},
        {at("link"), true, false},
        {at("dirlink"), false, true},
        {at("dangling"), false, false},
        {at("missing"), false, false},
        {"", false, false},
        {"/dev/null", false, false},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(sp_ExistFile(r.path.c_str()), r.isFile) << r.path;
        EXPECT_EQ(sp_ExistDir(r.path.c_str()), r.isDir) << r.path;
    }
    EXPECT_FALSE(sp_ExistFile(nullptr));

    EXPECT_TRUE(sp_MakeDir(at("a").c_str()));
    EXPECT_TRUE(sp_ExistDir(at("a").c_str()));
    EXPECT_FALSE(sp_MakeDir(at("a").c_str())) << "exists already";
    EXPECT_FALSE(sp_MakeDir(at("x/y").c_str())) << "parent missing";
    EXPECT_FALSE(sp_ExistDir(at("x").c_str()));
    EXPECT_FALSE(sp_MakeDir(""));
    EXPECT_TRUE(sp_MakeDir((dir + "\\b\\").c_str()));
    EXPECT_TRUE(fs::is_directory(at("b")));
    writeAll(at("b/inner"), "");

    EXPECT_FALSE(sp_RemoveDir(at("b").c_str())) << "not empty";
    EXPECT_FALSE(sp_RemoveDir(at("f.txt").c_str()));
    EXPECT_TRUE(sp_RemoveDir((dir + "\\a").c_str()));
    EXPECT_FALSE(fs::exists(at("a")));
    EXPECT_FALSE(sp_RemoveDir(at("a").c_str()));
    EXPECT_FALSE(sp_RemoveDir(""));
}

TEST_F(PathFileTest, CopyFile) {
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
    ASSERT_EQ(symlink(at("src").c_str(), at("srclink").c_str()), 0);
    EXPECT_FALSE(sp_CopyFile(at("src").c_str(), at("srclink").c_str(), true));
    EXPECT_EQ(readAll(at("src")), data);
}

TEST_F(PathFileTest, ComparePaths) {
    writeAll(at("f"), "same");
    writeAll(at("g"), "same");
    fs::create_directory(at("sub"));
    ASSERT_EQ(symlink(at("f").c_str(), at("sym").c_str()), 0);
    ASSERT_EQ(link(at("f").c_str(), at("hard").c_str()), 0);
    ASSERT_EQ(chdir(at("sub").c_str()), 0);

    struct Row {
        std::string a, b;
        bool same;
    };
    const Row rows[] = {
        {at("f"), at("f"), true},
        {at("f"), "../f", true},
        {at("f"), dir + "\\sub\\..\\f", true},
        {at("f"), at("sym"), true},
        {at("hard"), "../f", true},
        {at("sub"), ".", true},
        {dir, at("sub/.."), true},
        {at("f"), at("g"), false},
        {at("f"), at("sub"), false},
        {at("missing"), at("missing"), false},
        {at("f"), at("missing"), false},
        {"", "", false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(sp_ComparePaths(r.a.c_str(), r.b.c_str()), r.same) << r.a << " vs " << r.b;
    EXPECT_TRUE(sp_CaseSensitiveFiles());
}

} // namespace
