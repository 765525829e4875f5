#include <nvsupport/paths/Directory.h>
#include <nvsupport/paths/Path.h>

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

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

// Runs `body` where file permissions apply: here, or, for root (whom permissions do not
// stop), in a child process that has become the user "nobody" and owns `dir`. Returns what
// `body` returns (0..254), or -1 when privileges could not be dropped.
int asUnprivileged(const std::string& dir, const std::function<int()>& body) {
    if (geteuid() != 0)
        return body();
    constexpr uid_t kNobody = 65534;
    if (chown(dir.c_str(), kNobody, kNobody) != 0)
        return -1;
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)
            _exit(255);
        _exit(body());
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) == 255)
        return -1;
    return WEXITSTATUS(status);
}

// A fresh directory under /tmp (its real path), removed with everything in it; the current
// directory is restored afterwards.
class DirectoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/nvdirXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = fs::canonical(pattern).string();
        savedCwd = fs::current_path().string();
    }
    void TearDown() override {
        fs::current_path(savedCwd);
        for (auto& e : fs::recursive_directory_iterator(dir))
            if (e.is_directory() && !e.is_symlink())
                fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir);
    }
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

    std::string dir, savedCwd;
};

TEST_F(DirectoryTest, ChangeDirAnswersAndSaveDirectoryRestores) {
    mkdirs("sub");
    touch("file");
    {
        SaveDirectory keep;
        EXPECT_EQ(sp_ChangeDir(at("sub").c_str()), 0);
        EXPECT_EQ(str(sp_GetCwd()), at("sub"));
        EXPECT_EQ(sp_ChangeDir((" \t" + dir).c_str()), 0); // leading blanks skipped
        EXPECT_EQ(str(sp_GetCwd()), dir);
        EXPECT_EQ(sp_ChangeDir("sub\\..\\sub"), 0); // either separator, relative
        EXPECT_EQ(str(sp_GetCwd()), at("sub"));
    }
    EXPECT_EQ(str(sp_GetCwd()), savedCwd);

    SaveDirectory keep;
    fs::current_path(dir);
    EXPECT_EQ(sp_ChangeDir(at("missing").c_str()), 1);
    EXPECT_EQ(sp_ChangeDir(at("file").c_str()), 1);
    EXPECT_EQ(sp_ChangeDir(nullptr), 1);
    EXPECT_EQ(sp_ChangeDir(""), 1);
    EXPECT_EQ(sp_ChangeDir("Q:/x"), 2); // "Q:/" is no directory: the drive is missing
    // A drive is only text here: a folder named "Q:" counts as the drive existing, and
    // changing to a path with a drive fails, as drives cannot be made current.
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
    for (const char* d : {"/missing", "a", "b/"})
        dirs.push_back((dir + "/" + d).c_str());
    struct Row {
        const char* file;
        std::string expected;
    } rows[] = {
        {"only.txt", at("a/only.txt")},
        {"sub/x.lib", at("b/sub/x.lib")},
        {"sub\\x.lib", at("b/sub/x.lib")},
        {"sub", at("b/sub")}, // a directory counts too
        {"nothing", ""},
        {"x.lib", ""},
        {"", ""},
        {"/abs/../p\\q", "/p/q"}, // absolute: cleaned, never tested
    };
    for (const Row& r : rows)
        EXPECT_EQ(str(sp_SearchDirectories(r.file, dirs)), r.expected) << r.file;
    EXPECT_EQ(str(sp_SearchDirectories("only.txt", YList<JString>())), "");
}

TEST(DirectoryPathTest, RelativePathTable) {
    struct Row {
        const char* path;
        const char* base;
        const char* expected;
    } rows[] = {
        {"/a/b/c", "/a/x", "../b/c"},
        {"/a", "/a/b/c", "../.."},
        {"/a/b/c", "/a", "b/c"},
        {"D:/x", "C:/a", "D:/x"},
        {"C:\\a\\b\\c", "c:/a/x", "../b/c"}, // drive letters compare case-blind
        {"/A/b", "/a/b", "../../A/b"},       // file names do not
        {"/a/b", "/a/b", "."},
        {"/a/./b/", "/a//b/c/..", "."},
        {"/a/f.txt/x", "/a/f.txt", "x"}, // the base is a directory, whatever it looks like
        {"/a/b", "", "/a/b"},
        {"/a/../b/./c", "", "/b/c"},
        {"//srv/s1/x", "//srv/s2/y", "//srv/s1/x"}, // another share
        {"//srv/s/x/y", "//srv/s/z", "../x/y"},
        {"//srv/s/x", "/srv/s", "//srv/s/x"}, // network against local
        {"a/b", "a", "b"},
        {"C:/", "C:", "."},
    };
    for (const Row& r : rows)
        EXPECT_EQ(str(sp_RelativePath(r.path, r.base)), r.expected) << r.path << " | " << r.base;
    // Long paths keep every byte.
    std::string deep = "/r";
    for (int i = 0; i < 40; ++i)
        deep += "/component" + std::to_string(i);
    EXPECT_EQ(str(sp_RelativePath((deep + "/leaf").c_str(), "/r")), deep.substr(3) + "/leaf");
}

TEST_F(DirectoryTest, MakeTreeCreatesEveryMissingLevel) {
    mkdirs("old/kid");
    EXPECT_TRUE(sp_MakeTree(at("old").c_str()));
    EXPECT_EQ(std::distance(fs::directory_iterator(at("old")), {}), 1); // nothing created

    EXPECT_TRUE(sp_MakeTree(at("new/a/b").c_str()));
    EXPECT_TRUE(fs::is_directory(at("new/a/b")));
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

    const Names allTxt{"my file.txt", "link.txt", "b.txt", "A.txt"};
    struct Row {
        const char* pattern;
        bool toolkit;
        Names expected; // from the head: reverse case-blind order
    } rows[] = {
        {"*.txt", true, allTxt},
        {"*.txt", false, allTxt},
        {"*.TXT", true, {"c.TXT"}}, // file names are case-sensitive here
        {"*.TXT", false, {"c.TXT"}},
        {"*.txt;*.dat", true, {"x.dat", "my file.txt", "link.txt", "b.txt", "A.txt"}},
        {"*.txt;*.dat", false, {}}, // the plain filter knows no pattern lists
        {"*.dat ; b*", true, {"x.dat", "b.txt"}},
        {"my file.txt", true, {"my file.txt"}}, // a blank is part of the one pattern
        {"my file.txt", false, {"my file.txt"}},
        {"*.dat *.txt", true, {}},
        {"?.txt", true, {"b.txt", "A.txt"}},
        {"[ab].txt", true, {"b.txt"}},
        {"", true, {"x.dat", "my file.txt", "link.txt", "c.TXT", "b.txt", "A.txt"}},
        {"", false, {}},
        {"*", false, {"x.dat", "my file.txt", "link.txt", "c.TXT", "b.txt", "A.txt"}},
        {"nothing*", true, {}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(list(dir + "/" + r.pattern, false, r.toolkit), r.expected)
            << r.pattern << " toolkit " << r.toolkit;

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

TEST_F(DirectoryTest, ListDirectoryKeepsNamesByteExactAndSurvivesOddPatterns) {
    const std::string latin1 = "caf\xe9.txt"; // not UTF-8
    const std::string utf8 = "na\xc3\xafve.txt";
    touch(latin1);
    touch(utf8);
    EXPECT_EQ(list(dir + "/*.txt", false, true), (Names{utf8, latin1}));
    EXPECT_EQ(list(dir + "/*.txt", false, false), (Names{utf8, latin1}));
    // Toolkit wildcards count characters, the plain filter bytes.
    EXPECT_EQ(list(dir + "/na?ve.txt", false, true), Names{utf8});
    EXPECT_EQ(list(dir + "/na??ve.txt", false, false), Names{utf8});
    EXPECT_EQ(list(dir + "/" + latin1, false, false), Names{latin1});
    EXPECT_EQ(list(dir + "/caf?.txt", false, true), Names{latin1}); // a stray byte is one
    EXPECT_EQ(list(dir + "/*\xe9*", false, true), Names{latin1});
    for (const std::string& odd : {std::string("["), std::string("[!"), std::string(";"),
                                   std::string(100000, '*') + "x", std::string("*\xff*")})
        EXPECT_EQ(list(dir + "/" + odd, false, true), Names{}) << odd.substr(0, 10);
}

TEST_F(DirectoryTest, DescendDirectoriesListsEveryDirectoryBeforeItsParent) {
    for (const char* d : {"a/a1", "a/a2/deep", "b", "B2", ".hid"})
        mkdirs(d);
    touch("a/file");
    fs::create_directory_symlink(at("a"), at("a/a2/loop")); // links are not walked
    YList<JString> out;
    sp_DescendDirectories(dir.c_str(), &out);
    const Names expected{at("a/a2/deep"), at("a/a2"), at("a/a1"), at("B2"),
                         at("b"),         at("a"),    at(".hid")};
    EXPECT_EQ(names(out), expected);

    fs::current_path(at("a"));
    YList<JString> rel;
    sp_DescendDirectories("a2/", &rel);
    EXPECT_EQ(names(rel), Names{at("a/a2/deep")});
    YList<JString> none;
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
    int r = asUnprivileged(dir, [this] {
        mkdir(at("ro").c_str(), 0555);
        return sp_DirectoryIsWriteable(at("ro").c_str()) ? 1 : 0;
    });
    if (r < 0)
        GTEST_SKIP() << "cannot drop root privileges";
    EXPECT_EQ(r, 0);
}

TEST_F(DirectoryTest, CopyTreeCopiesNestedFoldersWithoutOverwriting) {
    touch("src/f1.txt", "one");
    touch("src/.hidden", "h");
    touch("src/sub/f2", "two");
    touch("src/sub/deeper/f3", "three");
    touch("src/.cfg/a.ini", "ini");
    mkdirs("src/empty");

    EXPECT_EQ(sp_CopyTree(at("src").c_str(), at("out/x/y").c_str()), CopyTreeOk);
    for (const char* f : {"f1.txt", "sub/f2", "sub/deeper/f3", ".cfg/a.ini"})
        EXPECT_EQ(readAll(at(std::string("out/x/y/") + f)), readAll(at(std::string("src/") + f)))
            << f;
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
    EXPECT_EQ(readAll(at("dest/sub/f2")), "two");
    // Only failures: nothing done cleanly. Relative paths work alike.
    touch("src2/.cfg/a.ini");
    touch("dest2/.cfg/a.ini", "old");
    fs::current_path(dir);
    EXPECT_EQ(sp_CopyTree("src2", "dest2"), CopyTreeFailed);
    EXPECT_EQ(sp_CopyTree("src\\sub", "rel"), CopyTreeOk);
    EXPECT_EQ(readAll(at("rel/deeper/f3")), "three");

    int r = asUnprivileged(dir, [this] {
        touch("u/src/f", "f");
        touch("u/src/secret", "s");
        touch("u/src/more/g", "g");
        mkdir(at("u/ro").c_str(), 0555);
        chmod(at("u/src/secret").c_str(), 0);
        int roDest = sp_CopyTree(at("u/src").c_str(), at("u/ro/x").c_str());
        int unreadable = sp_CopyTree(at("u/src").c_str(), at("u/out").c_str());
        return roDest * 10 + unreadable;
    });
    if (r < 0)
        GTEST_SKIP() << "cannot drop root privileges";
    EXPECT_EQ(r / 10, CopyTreeFailed);  // the destination cannot be made
    EXPECT_EQ(r % 10, CopyTreePartial); // "more" copied, the top failed on "secret"
    EXPECT_EQ(readAll(at("u/out/more/g")), "g");
}

TEST_F(DirectoryTest, DeleteTreeRemovesInnermostFirst) {
    touch("t/f");
    touch("t/a/b/c/f");
    touch("t/a/g");
    mkdirs("t/.hid/empty");
    // Success proves the order: a parent tried before its children would still be full.
    EXPECT_EQ(sp_DeleteTree(at("t").c_str()), CopyTreeOk);
    EXPECT_FALSE(fs::exists(at("t")));
    EXPECT_EQ(sp_DeleteTree(at("t").c_str()), CopyTreeNoSource);
    touch("plain");
    EXPECT_EQ(sp_DeleteTree(at("plain").c_str()), CopyTreeNoSource);

    // A hidden file is not listed: its directory and every parent stay.
    touch("h/keep/.secret");
    touch("h/keep/f");
    touch("h/other/f");
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

    int r = asUnprivileged(dir, [this] {
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
