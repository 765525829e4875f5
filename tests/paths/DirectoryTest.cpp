#include <nvsupport/paths/Directory.h>
#include <nvsupport/paths/Path.h>

#include "AsUnprivileged.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using nvtest::asUnprivileged;

// Exact text: JString's own == ignores letter case.
std::string str(const JString& s) {
    return *s;
}

Names names(const YList<JString>& list) {
    Names out;
    for (const JString& s : list)
        out.emplace_back(*s);
    return out;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A fresh directory (its real path), removed with everything in it; the current directory
// is restored first.
class DirectoryTest : public ::testing::Test {
protected:
    ~DirectoryTest() override { fs::current_path(savedCwd); }
    std::string at(const std::string& rel) const { return dir + "/" + rel; }
    void touch(const std::string& rel, const std::string& text = "x") const {
        fs::create_directories(fs::path(at(rel)).parent_path());
        std::ofstream(at(rel), std::ios::binary) << text;
    }
    void mkdirs(const std::string& rel) const { fs::create_directories(at(rel)); }
    Names list(const std::string& pattern, bool fullPaths, bool toolkit) const {
        YList<JString> out;
        sp_ListDirectory(pattern.c_str(), &out, fullPaths, toolkit);
        return names(out);
    }

    nvtest::TempDir tmp;
    const std::string dir = fs::canonical(tmp.path).string();
    const std::string savedCwd = fs::current_path().string();
};

TEST_F(DirectoryTest, ChangeDirAnswersAndSaveDirectoryRestores) {
    mkdirs("sub");
    touch("file");
    {
        SaveDirectory keep;
        // Leading blanks are skipped; either separator; relative to the current directory.
        const std::pair<std::string, std::string> moves[] = {
            {at("sub"), at("sub")}, {" \t" + dir, dir}, {"sub\\..\\sub", at("sub")}};
        for (const auto& [to, cwd] : moves) {
            EXPECT_EQ(sp_ChangeDir(to.c_str()), 0) << to;
            EXPECT_EQ(str(sp_GetCwd()), cwd);
        }
    }
    EXPECT_EQ(str(sp_GetCwd()), savedCwd);

    SaveDirectory keep;
    fs::current_path(dir);
    EXPECT_EQ(sp_ChangeDir(nullptr), 1);
    for (const std::string& bad : {at("missing"), at("file"), std::string()})
        EXPECT_EQ(sp_ChangeDir(bad.c_str()), 1) << bad;
    EXPECT_EQ(sp_ChangeDir("Q:/x"), 2); // "Q:/" is no directory: the drive is missing
    // A drive is only text here: a folder named "Q:" counts as the drive existing, and a
    // path with a drive cannot be made current.
    mkdirs("Q:");
    EXPECT_EQ(sp_ChangeDir("Q:/x"), 1);
    mkdirs("Q:/x");
    EXPECT_EQ(sp_ChangeDir("Q:/x"), 2);
    EXPECT_EQ(str(sp_GetCwd()), dir);
}

TEST_F(DirectoryTest, SearchDirectoriesTakesTheFirstDirectoryHoldingTheName) {
    touch("a/only.txt");
    touch("b/only.txt");
    touch("b/sub/x.lib");
    YList<JString> dirs;
    for (const char* d : {"/missing", "/a", "/b/"})
        dirs.push_back((dir + d).c_str());
    // A directory counts too; an absolute name is cleaned, never tested.
    // clang-format off
    const std::pair<const char*, std::string> rows[] = {
        {"only.txt", at("a/only.txt")}, {"sub/x.lib", at("b/sub/x.lib")},
        {"sub\\x.lib", at("b/sub/x.lib")}, {"sub", at("b/sub")}, {"nothing", ""}, {"x.lib", ""},
        {"", ""}, {"/abs/../p\\q", "/p/q"},
    };
    // clang-format on
    for (const auto& [file, expected] : rows)
        EXPECT_EQ(str(sp_SearchDirectories(file, dirs)), expected) << file;
    EXPECT_EQ(str(sp_SearchDirectories("only.txt", YList<JString>())), "");
}

TEST_F(DirectoryTest, RelativePathTable) {
    // Drive letters compare case-blind, file names do not; the base is a directory whatever
    // it looks like; network paths on another share, or against a local one, and paths
    // against a bare drive stay whole.
    // clang-format off
    const char* rows[][3] = {
        {"/a/b/c", "/a/x", "../b/c"},            {"/a", "/a/b/c", "../.."},
        {"/a/b/c", "/a", "b/c"},                 {"D:/x", "C:/a", "D:/x"},
        {"C:\\a\\b\\c", "c:/a/x", "../b/c"},      {"/A/b", "/a/b", "../../A/b"},
        {"/a/b", "/a/b", "."},                   {"/a/./b/", "/a//b/c/..", "."},
        {"/a/f.txt/x", "/a/f.txt", "x"},         {"/a/b", "", "/a/b"},
        {"/a/../b/./c", "", "/b/c"},             {"//srv/s1/x", "//srv/s2/y", "//srv/s1/x"},
        {"//srv/s/x/y", "//srv/s/z", "../x/y"},  {"//srv/s/x", "/srv/s", "//srv/s/x"},
        {"a/b", "a", "b"},                       {"C:/x", "C:", "C:/x"},
        {"/a", "a", "."},
    };
    // clang-format on
    for (const auto& r : rows)
        EXPECT_EQ(str(sp_RelativePath(r[0], r[1])), r[2]) << r[0] << " | " << r[1];
    std::string deep = "/r"; // long paths keep every byte
    for (int i = 0; i < 40; ++i)
        deep += "/component" + std::to_string(i);
    EXPECT_EQ(str(sp_RelativePath((deep + "/leaf").c_str(), "/r")), deep.substr(3) + "/leaf");
}

TEST_F(DirectoryTest, MakeTreeCreatesEveryMissingLevel) {
    mkdirs("old/kid");
    EXPECT_TRUE(sp_MakeTree(at("old").c_str()));
    EXPECT_EQ(std::distance(fs::directory_iterator(at("old")), {}), 1); // nothing created
    EXPECT_TRUE(sp_MakeTree((dir + "\\w\\x\\").c_str()));
    EXPECT_TRUE(fs::is_directory(at("w/x")));
    fs::current_path(dir);
    EXPECT_TRUE(sp_MakeTree("rel/one/../two"));
    EXPECT_TRUE(fs::is_directory(at("rel/two")));
    EXPECT_FALSE(fs::exists(at("rel/one")));
    EXPECT_TRUE(sp_MakeTree("")); // the current directory
    touch("file");
    EXPECT_FALSE(sp_MakeTree(at("file/x/y").c_str()));
    EXPECT_FALSE(fs::exists(at("file/x")));
}

TEST_F(DirectoryTest, ListDirectoryFiltersSortsAndSkipsHidden) {
    for (const char* f : {"b.txt", "A.txt", "c.TXT", ".hidden.txt", "my file.txt", "x.dat"})
        touch(f);
    mkdirs("dir.txt");                                  // a directory is never listed
    fs::create_symlink(at("b.txt"), at("link.txt"));    // a link to a file is a file
    fs::create_symlink(at("gone"), at("dangling.txt")); // a dangling one is not
    const std::string latin1 = "caf\xe9.txt", utf8 = "na\xc3\xafve.txt"; // the first no UTF-8
    touch("bytes/" + latin1);
    touch("bytes/" + utf8);
    const Names txt{"my file.txt", "link.txt", "b.txt", "A.txt"};
    const Names all{"x.dat", "my file.txt", "link.txt", "c.TXT", "b.txt", "A.txt"};
    // From the head: reverse case-blind order. File names are case-sensitive here; the plain
    // filter knows no pattern lists; a blank is part of the one toolkit pattern. Toolkit
    // wildcards count characters (a stray byte is one), the plain filter bytes.
    const struct {
        std::string pattern;
        bool toolkit;
        Names expected;
    } rows[] = {
        // clang-format off
        {"*.txt", true, txt},                     {"*.txt", false, txt},
        {"*.TXT", true, {"c.TXT"}},               {"*.TXT", false, {"c.TXT"}},
        {"*.txt;*.dat", true, {"x.dat", "my file.txt", "link.txt", "b.txt", "A.txt"}},
        {"*.txt;*.dat", false, {}},               {"*.dat ; b*", true, {"x.dat", "b.txt"}},
        {"my file.txt", true, {"my file.txt"}},   {"my file.txt", false, {"my file.txt"}},
        {"*.dat *.txt", true, {}},                {"?.txt", true, {"b.txt", "A.txt"}},
        {"[ab].txt", true, {"b.txt"}},            {"", true, all},
        {"", false, {}},                          {"*", false, all},
        {"nothing*", true, {}},                   {"[", true, {}},
        {"[!", true, {}},                         {";", true, {}},
        {std::string(100000, '*') + "x", true, {}},
        {"bytes/*.txt", true, {utf8, latin1}},    {"bytes/*.txt", false, {utf8, latin1}},
        {"bytes/na?ve.txt", true, {utf8}},        {"bytes/na??ve.txt", false, {utf8}},
        {"bytes/" + latin1, false, {latin1}},     {"bytes/caf?.txt", true, {latin1}},
        {"bytes/*\xe9*", true, {latin1}},         {"bytes/*\xff*", true, {}},
        // clang-format on
    };
    for (const auto& r : rows)
        EXPECT_EQ(list(dir + "/" + r.pattern, false, r.toolkit), r.expected)
            << r.pattern.substr(0, 20) << " toolkit " << r.toolkit;

    EXPECT_EQ(list(dir + "\\*.dat", true, true), Names{at("x.dat")});
    fs::current_path(dir);
    EXPECT_EQ(list("*.dat", true, false), Names{at("x.dat")});
    EXPECT_EQ(list("./*.dat", false, true), Names{"x.dat"});
    EXPECT_EQ(list("missing/*", false, true), Names{});
    YList<JString> kept;
    kept.push_front("keep");
    sp_ListDirectory("*.dat", &kept, false, true);
    EXPECT_EQ(names(kept), (Names{"x.dat", "keep"}));
    sp_ListDirectory("*.dat", nullptr, false, true);
}

TEST_F(DirectoryTest, DescendDirectoriesListsEveryDirectoryBeforeItsParent) {
    for (const char* d : {"a/a1", "a/a2/deep", "b", "B2", ".hid"})
        mkdirs(d);
    touch("a/file");
    fs::create_directory_symlink(at("a"), at("a/a2/loop")); // links are not walked
    YList<JString> out, rel, none;
    sp_DescendDirectories(dir.c_str(), &out);
    EXPECT_EQ(names(out), (Names{at("a/a2/deep"), at("a/a2"), at("a/a1"), at("B2"), at("b"),
                                 at("a"), at(".hid")}));
    fs::current_path(at("a"));
    sp_DescendDirectories("a2/", &rel);
    EXPECT_EQ(names(rel), Names{at("a/a2/deep")});
    sp_DescendDirectories(at("missing").c_str(), &none);
    EXPECT_TRUE(none.empty());
}

TEST_F(DirectoryTest, DirectoryIsWriteableProbesAFreeName) {
    EXPECT_TRUE(sp_DirectoryIsWriteable(dir.c_str()));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 0); // the probe is gone
    // A directory in the way of the probe makes it fail, which shows the name chosen.
    touch("$Temp$", "keep");
    mkdirs("$temp$_0");
    EXPECT_FALSE(sp_DirectoryIsWriteable(dir.c_str()));
    fs::remove(at("$temp$_0"));
    EXPECT_TRUE(sp_DirectoryIsWriteable(dir.c_str()));
    EXPECT_EQ(readAll(at("$Temp$")), "keep");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1);
    touch("$temp$_0", "keep0");
    mkdirs("$temp$_1");
    EXPECT_FALSE(sp_DirectoryIsWriteable((dir + "/").c_str()));
    fs::remove(at("$Temp$"));
    touch("$TEMP$"); // another name here: "$Temp$" is free again
    EXPECT_TRUE(sp_DirectoryIsWriteable(dir.c_str()));
    EXPECT_EQ(readAll(at("$temp$_0")), "keep0");
    EXPECT_FALSE(sp_DirectoryIsWriteable(at("missing").c_str()));

    const int r = asUnprivileged(dir, [this] {
        mkdir(at("ro").c_str(), 0555);
        return sp_DirectoryIsWriteable(at("ro").c_str()) ? 1 : 0;
    });
    if (r < 0)
        GTEST_SKIP() << "cannot drop root privileges";
    EXPECT_EQ(r, 0);
}

TEST_F(DirectoryTest, CopyTreeCopiesNestedFoldersWithoutOverwriting) {
    const char* files[] = {"f1.txt", "sub/f2", "sub/deeper/f3", ".cfg/a.ini"};
    for (const char* f : files)
        touch(std::string("src/") + f, f);
    touch("src/.hidden", "h");
    mkdirs("src/empty");
    EXPECT_EQ(sp_CopyTree(at("src").c_str(), at("out/x/y").c_str()), CopyTreeOk);
    for (const char* f : files)
        EXPECT_EQ(readAll(at(std::string("out/x/y/") + f)), f);
    EXPECT_TRUE(fs::is_directory(at("out/x/y/empty")));
    EXPECT_FALSE(fs::exists(at("out/x/y/.hidden"))); // hidden files are not listed

    EXPECT_EQ(sp_CopyTree(at("src").c_str(), at("out/x/y").c_str()), CopyTreeNotEmpty);
    EXPECT_EQ(sp_CopyTree(at("missing").c_str(), at("out2").c_str()), CopyTreeNoSource);
    EXPECT_FALSE(fs::exists(at("out2")));
    touch("plain");
    EXPECT_EQ(sp_CopyTree(at("src").c_str(), at("plain/x").c_str()), CopyTreeFailed);

    // Hidden entries do not make the destination "not empty"; a file already there is not
    // overwritten and fails its directory while the others succeed.
    touch("dest/.cfg/a.ini", "old");
    EXPECT_EQ(sp_CopyTree(at("src").c_str(), at("dest").c_str()), CopyTreePartial);
    EXPECT_EQ(readAll(at("dest/.cfg/a.ini")), "old");
    EXPECT_EQ(readAll(at("dest/sub/f2")), "sub/f2");
    // Only failures: nothing done cleanly. Relative paths work alike.
    touch("src2/.cfg/a.ini");
    touch("dest2/.cfg/a.ini", "old");
    fs::current_path(dir);
    EXPECT_EQ(sp_CopyTree("src2", "dest2"), CopyTreeFailed);
    EXPECT_EQ(sp_CopyTree("src\\sub", "rel"), CopyTreeOk);
    EXPECT_EQ(readAll(at("rel/deeper/f3")), "sub/deeper/f3");

    const int r = asUnprivileged(dir, [this] {
        touch("u/src/f");
        touch("u/src/secret");
        touch("u/src/more/g", "g");
        mkdir(at("u/ro").c_str(), 0555);
        chmod(at("u/src/secret").c_str(), 0);
        return sp_CopyTree(at("u/src").c_str(), at("u/ro/x").c_str()) * 10 +
               sp_CopyTree(at("u/src").c_str(), at("u/out").c_str());
    });
    if (r < 0)
        GTEST_SKIP() << "cannot drop root privileges";
    EXPECT_EQ(r / 10, CopyTreeFailed);  // the destination cannot be made
    EXPECT_EQ(r % 10, CopyTreePartial); // "more" copied, the top failed on "secret"
    EXPECT_EQ(readAll(at("u/out/more/g")), "g");
}

TEST_F(DirectoryTest, DeleteTreeRemovesInnermostFirst) {
    for (const char* f : {"t/f", "t/a/b/c/f", "t/a/g"})
        touch(f);
    mkdirs("t/.hid/empty");
    // Success proves the order: a parent tried before its children would still be full.
    EXPECT_EQ(sp_DeleteTree(at("t").c_str()), CopyTreeOk);
    EXPECT_FALSE(fs::exists(at("t")));
    EXPECT_EQ(sp_DeleteTree(at("t").c_str()), CopyTreeNoSource);
    touch("plain");
    EXPECT_EQ(sp_DeleteTree(at("plain").c_str()), CopyTreeNoSource);

    // A hidden file is not listed: its directory and every parent stay.
    for (const char* f : {"h/keep/.secret", "h/keep/f", "h/other/f"})
        touch(f);
    EXPECT_EQ(sp_DeleteTree(at("h").c_str()), CopyTreePartial);
    EXPECT_TRUE(fs::exists(at("h/keep/.secret")));
    EXPECT_FALSE(fs::exists(at("h/keep/f")));
    EXPECT_FALSE(fs::exists(at("h/other")));

    // A linked directory is neither walked nor emptied: what it points at survives.
    touch("outside/precious");
    touch("l/f");
    fs::create_directory_symlink(at("outside"), at("l/link"));
    fs::current_path(dir);
    EXPECT_EQ(sp_DeleteTree("l"), CopyTreePartial);
    EXPECT_TRUE(fs::exists(at("outside/precious")));
    EXPECT_FALSE(fs::exists(at("l/f")));

    const int r = asUnprivileged(dir, [this] {
        touch("u/ro/f");
        touch("u/g");
        chmod(at("u/ro").c_str(), 0555);
        return static_cast<int>(sp_DeleteTree(at("u").c_str()));
    });
    if (r < 0)
        GTEST_SKIP() << "cannot drop root privileges";
    EXPECT_EQ(r, CopyTreePartial);
    EXPECT_TRUE(fs::exists(at("u/ro/f")));
    EXPECT_FALSE(fs::exists(at("u/g")));
}

} // namespace
