#include <nvsupport/Config/ProfileFile.h>
#include <nvsupport/Os/Posix/AutoFunc.h>
#include <nvsupport/text/Tokens.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/nvprofile-XXXXXX";
        path = ::mkdtemp(tmpl) ? tmpl : "";
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// The value of section/key, or "<missing>".
std::string get(const std::string& file, const char* section, const char* key) {
    JString v("junk");
    if (!sp_GetPrivateProfileString(section, key, file.c_str(), &v))
        return v.isEmpty() ? "<missing>" : "<missing, value not emptied>";
    return *v;
}

std::vector<std::string> strings(const YList<JString>& list) {
    std::vector<std::string> out;
    for (const JString& s : list)
        out.emplace_back(*s);
    return out;
}

std::vector<std::string> sectionNames(const std::string& file) {
    YList<JString> names;
    if (!sp_GetProfileSectionNames(file.c_str(), &names))
        return {"<false>"};
    return strings(names);
}

std::vector<std::string> keyNames(const std::string& file, const char* section) {
    YList<JString> names;
    if (!sp_GetProfileKeyNames(file.c_str(), section, &names))
        return {"<false>"};
    return strings(names);
}

ino_t inode(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

void setMtime(const std::string& path, time_t sec, long nsec) {
    struct timespec times[2] = {{sec, nsec}, {sec, nsec}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Runs `body` in a child process (for process-wide limits and hooks that must not reach the
// rest of the suite) and returns its exit code: 0 when every step held, else the step.
template <class F> int inChild(F body) {
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

std::string data(const char* name) {
    return std::string(NVSUPPORT_TEST_DATA_DIR) + "/Config/data/" + name;
}

TEST(ProfileFileTest, ReadsLinesByTheFormatRules) {
    TempDir dir;
    const std::string f = dir / "rules.ini";
    writeBytes(f, "; above every header\n"
                  "stray=ignored\n"
                  "[Main]\n"
                  "  key1 = value one  \n"
                  "key2=  \"  quoted  \"  \n"
                  "key3 = \"\n"
                  "key4 = \"\"\n"
                  "=novalue\n"
                  "no equals here\n"
                  "KEY1\t=\tlater\n"
                  "\t; indented comment \n"
                  "\n   \t \n"
                  "[ Spaced ]\n"
                  "a=1\n"
                  "[[Brackets]]  \t\n"
                  "b=2=3\n"
                  "[main]\n"
                  "key5=merged\n"
                  "[Other]x\n");
    const struct {
        const char* section;
        const char* key;
        const char* value;
    } cases[] = {
        {"Main", "key1", "later"}, // duplicate key (case-blind): the later line wins
        {"MAIN", "Key2", "  quoted  "},
        {"Main", "key3", "\""}, // one quote is not a pair
        {"Main", "key4", ""},
        {"Main", "", ""}, // "no equals here" stands after "=novalue"
        {"main", "KEY5", "merged"},
        {" Spaced ", "a", "1"},
        {"Spaced", "a", "<missing>"},
        {"Brackets", "b", "2=3"},
        {"Main", "stray", "<missing>"},
        {"", "stray", "<missing>"},
        {"Main", "; indented comment", "<missing>"},
        {"Other", "", "<missing>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(get(f, c.section, c.key), c.value) << c.section << "/" << c.key;
    EXPECT_EQ(sectionNames(f), (std::vector<std::string>{"Main", " Spaced ", "Brackets"}));
    EXPECT_EQ(keyNames(f, "main"), (std::vector<std::string>{"key1", "key2", "key3", "key4", "", "",
                                                             "KEY1", "key5", ""}));
    EXPECT_EQ(keyNames(f, "Nowhere"), std::vector<std::string>{"<false>"});

    // A change rewrites the file: merged sections under their first header, lines in their
    // order, values without quotes, lines without "=" as "=", nothing above the first header.
    ASSERT_TRUE(sp_WritePrivateProfileString(f.c_str(), "Main", "added", "new"));
    EXPECT_EQ(readBytes(f), "[Main]\n"
                            "key1=value one\n"
                            "key2=  quoted  \n"
                            "key3=\"\n"
                            "key4=\n"
                            "=novalue\n"
                            "=\n"
                            "KEY1=later\n"
                            "; indented comment \n"
                            "key5=merged\n"
                            "=\n"
                            "added=new\n"
                            "\n"
                            "[ Spaced ]\n"
                            "a=1\n"
                            "\n"
                            "[Brackets]\n"
                            "b=2=3\n");
    EXPECT_EQ(get(f, "Main", "key2"), "  quoted  "); // the cache holds what it wrote
    setMtime(f, 1500000000, 0);
    EXPECT_EQ(get(f, "Main", "key2"), "quoted"); // read again: the quotes kept the blanks
}

TEST(ProfileFileTest, ChangesFollowTheSequenceOfLines) {
    TempDir dir;
    const std::string f = dir / "seq.ini";
    writeBytes(f, "[A]\nk=1\ndup=first\n;c\ndup=second\n[B]\nx=2\n[a]\nm=3\n");
    EXPECT_EQ(sectionNames(f), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(get(f, "a", "DUP"), "second");

    struct Step {
        const char* section;
        const char* key;
        const char* value; // null deletes
        const char* file;  // the whole file afterwards
    } steps[] = {
        {"A", "dup", "third", "[A]\nk=1\ndup=first\n;c\ndup=third\nm=3\n\n[B]\nx=2\n"},
        {"b", "y", "4", "[A]\nk=1\ndup=first\n;c\ndup=third\nm=3\n\n[B]\nx=2\ny=4\n"},
        {"New", "z", "5",
         "[New]\nz=5\n\n[A]\nk=1\ndup=first\n;c\ndup=third\nm=3\n\n[B]\nx=2\ny=4\n"},
        {"A", "DUP", nullptr, "[New]\nz=5\n\n[A]\nk=1\n;c\nm=3\n\n[B]\nx=2\ny=4\n"},
        {"A", "k", "1b", "[New]\nz=5\n\n[A]\nk=1b\n;c\nm=3\n\n[B]\nx=2\ny=4\n"},
        {"A", "gone", nullptr, "[New]\nz=5\n\n[A]\nk=1b\n;c\nm=3\n\n[B]\nx=2\ny=4\n"},
    };
    for (const Step& s : steps) {
        EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), s.section, s.key, s.value));
        EXPECT_EQ(readBytes(f), s.file) << s.section << "/" << s.key;
    }
    EXPECT_EQ(sectionNames(f), (std::vector<std::string>{"New", "A", "B"}));

    // Equal values and deleting what is not there leave the file alone.
    ino_t before = inode(f);
    EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), "a", "K", "1b"));
    YList<NameValuePair> same;
    same.push_back({"x", "2"});
    same.push_back({"Y", "4"});
    EXPECT_TRUE(sp_WritePrivateProfileStrings(f.c_str(), "B", same));
    EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), "B", "none", nullptr));
    EXPECT_EQ(inode(f), before);

    // Several pairs: applied in order, written once.
    YList<NameValuePair> pairs;
    pairs.push_back({"p", "1"});
    pairs.push_back({"x", "20"});
    pairs.push_back({"p", "2"});
    EXPECT_TRUE(sp_WritePrivateProfileStrings(f.c_str(), "B", pairs));
    EXPECT_EQ(readBytes(f), "[New]\nz=5\n\n[A]\nk=1b\n;c\nm=3\n\n[B]\nx=20\ny=4\np=2\n");
}

TEST(ProfileFileTest, DeletesSections) {
    TempDir dir;
    const std::string f = dir / "del.ini";
    writeBytes(f, "[A]\n;c\nk=1\nnoeq\n[B]\nj=2\n[C]\n; only a comment\n");
    std::vector<std::string> only{"x"};
    YList<JString> names;
    names.push_back("x");
    EXPECT_TRUE(sp_GetProfileKeyNames(f.c_str(), "c", &names)); // comments are not keys
    EXPECT_EQ(strings(names), only);

    EXPECT_EQ(sp_DeletePrivateProfileSection(f.c_str(), "a"), 3);
    EXPECT_EQ(readBytes(f), "[B]\nj=2\n\n[C]\n; only a comment\n");
    ino_t before = inode(f);
    EXPECT_EQ(sp_DeletePrivateProfileSection(f.c_str(), "Missing"), 0);
    EXPECT_EQ(inode(f), before);
    EXPECT_EQ(sp_DeletePrivateProfileSection(f.c_str(), "B"), 1);
    EXPECT_EQ(sp_DeletePrivateProfileSection(f.c_str(), "C"), 1);
    EXPECT_TRUE(fs::exists(f));
    EXPECT_EQ(readBytes(f), ""); // no sections: an empty file
    EXPECT_EQ(sectionNames(f), std::vector<std::string>{});
    EXPECT_EQ(get(f, "B", "j"), "<missing>");

    // A section header alone is written as such.
    EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), "S", "k", "v"));
    EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), "S", "k", nullptr));
    EXPECT_EQ(readBytes(f), "[S]\n");
}

TEST(ProfileFileTest, MissingFilesAndBadArguments) {
    TempDir dir;
    const std::string f = dir / "missing.ini";
    EXPECT_EQ(get(f, "S", "k"), "<missing>");
    YList<JString> names;
    names.push_back("kept");
    EXPECT_FALSE(sp_GetProfileSectionNames(f.c_str(), &names));
    EXPECT_FALSE(sp_GetProfileKeyNames(f.c_str(), "S", &names));
    EXPECT_EQ(strings(names), std::vector<std::string>{"kept"});
    EXPECT_EQ(sp_DeletePrivateProfileSection(f.c_str(), "S"), 0);
    EXPECT_FALSE(sp_WritePrivateProfileString(f.c_str(), "S", "k", nullptr));
    EXPECT_FALSE(sp_WritePrivateProfileStrings(f.c_str(), "S", YList<NameValuePair>()));
    EXPECT_FALSE(fs::exists(f));

    // Setting a value creates the file with one section.
    EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), "S", "k", "v"));
    EXPECT_EQ(readBytes(f), "[S]\nk=v\n");

    JString v("junk");
    EXPECT_FALSE(sp_GetPrivateProfileString(nullptr, "k", f.c_str(), &v));
    EXPECT_TRUE(v.isEmpty());
    EXPECT_FALSE(sp_GetPrivateProfileString("S", nullptr, f.c_str(), &v));
    EXPECT_FALSE(sp_GetPrivateProfileString("S", "k", nullptr, &v));
    EXPECT_FALSE(sp_GetPrivateProfileString("S", "k", "", &v));
    EXPECT_TRUE(sp_GetPrivateProfileString("S", "k", f.c_str(), nullptr));
    EXPECT_FALSE(sp_WritePrivateProfileString(nullptr, "S", "k", "v"));
    EXPECT_FALSE(sp_WritePrivateProfileString("", "S", "k", "v"));
    EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), nullptr, "k", "v"));
    EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), "S", nullptr, "v"));
    EXPECT_FALSE(sp_GetProfileSectionNames(f.c_str(), nullptr));
    EXPECT_TRUE(sp_GetProfileKeyNames(f.c_str(), "S", nullptr));
    EXPECT_EQ(readBytes(f), "[S]\nk=v\n");

    // A relative name and an absolute one reach the same cached file.
    std::string cwd = fs::current_path();
    fs::current_path(dir.path);
    EXPECT_EQ(get("missing.ini", "S", "k"), "v");
    EXPECT_TRUE(sp_WritePrivateProfileString("./missing.ini", "S", "k", "w"));
    fs::current_path(cwd);
    EXPECT_EQ(get(f, "S", "k"), "w");
}

TEST(ProfileFileTest, NoticesChangesOnDiskToTheNanosecond) {
    TempDir dir;
    const std::string f = dir / "stamp.ini";
    const time_t second = 1700000000;
    writeBytes(f, "[S]\nk=aaaa\n");
    setMtime(f, second, 100000000);
    EXPECT_EQ(get(f, "S", "k"), "aaaa");

    // Same size and same time: the cached text stands (the file is not read again).
    writeBytes(f, "[S]\nk=bbbb\n");
    setMtime(f, second, 100000000);
    EXPECT_EQ(get(f, "S", "k"), "aaaa");
    // Same size, same second, another nanosecond count: noticed.
    setMtime(f, second, 100000001);
    EXPECT_EQ(get(f, "S", "k"), "bbbb");
    // Same time, another size: noticed.
    writeBytes(f, "[S]\nk=ccccc\n");
    setMtime(f, second, 100000001);
    EXPECT_EQ(get(f, "S", "k"), "ccccc");

    // Our own rewrite followed at once by an outside one of the same size.
    ASSERT_TRUE(sp_WritePrivateProfileString(f.c_str(), "S", "k", "ddddd"));
    struct stat st;
    ASSERT_EQ(::stat(f.c_str(), &st), 0);
    writeBytes(f, "[S]\nk=eeeee\n");
    setMtime(f, st.st_mtim.tv_sec, st.st_mtim.tv_nsec ^ 1);
    EXPECT_EQ(get(f, "S", "k"), "eeeee");

    // A file that disappears reads as empty; one that comes back is read again.
    fs::remove(f);
    EXPECT_EQ(get(f, "S", "k"), "<missing>");
    writeBytes(f, "[T]\nk=back\n");
    EXPECT_EQ(get(f, "T", "k"), "back");
}

TEST(ProfileFileTest, FailedRewritesStayPendingAndLeaveTheFileIntact) {
    TempDir dir;
    // A folder that does not exist yet: nothing can be written, the change waits.
    const std::string f = dir / "later/pending.ini";
    EXPECT_FALSE(sp_WritePrivateProfileString(f.c_str(), "S", "k", "v"));
    EXPECT_EQ(get(f, "S", "k"), "v"); // pending in the cache
    fs::create_directory(dir / "later");
    EXPECT_EQ(get(f, "S", "k"), "v"); // the next call writes it
    EXPECT_EQ(readBytes(f), "[S]\nk=v\n");

    // A full disk in the middle of the rewrite (the file size limit of a child process).
    const std::string g = dir / "full.ini";
    writeBytes(g, "[S]\nk=old\n");
    EXPECT_EQ(get(g, "S", "k"), "old");
    int step = inChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim;
        ::getrlimit(RLIMIT_FSIZE, &lim);
        struct rlimit small = lim;
        small.rlim_cur = 4096;
        ::setrlimit(RLIMIT_FSIZE, &small);
        const std::string big(100000, 'x');
        if (!sp_WritePrivateProfileString(g.c_str(), "S", "k", big.c_str()))
            return 1; // the file still exists
        if (readBytes(g) != "[S]\nk=old\n")
            return 2;
        if (std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()) != 2)
            return 3;                // a temporary file was left behind
        if (get(g, "S", "k") != big) // pending, and retried (in vain) by this call
            return 4;
        if (readBytes(g) != "[S]\nk=old\n")
            return 5;
        ::setrlimit(RLIMIT_FSIZE, &lim);
        if (get(g, "S", "k") != big || readBytes(g) != "[S]\nk=" + big + "\n")
            return 6;
        return 0;
    });
    EXPECT_EQ(step, 0);

    // Without permission to write (ordinary users only: root may write anywhere).
    if (::geteuid() != 0) {
        const std::string h = dir / "locked/ro.ini";
        fs::create_directory(dir / "locked");
        writeBytes(h, "[S]\nk=old\n");
        ::chmod((dir / "locked").c_str(), 0555);
        EXPECT_TRUE(sp_WritePrivateProfileString(h.c_str(), "S", "k", "new"));
        EXPECT_EQ(readBytes(h), "[S]\nk=old\n");
        ::chmod((dir / "locked").c_str(), 0755);
        ::chmod(h.c_str(), 0444); // a read-only file is not replaced either
        EXPECT_EQ(get(h, "S", "k"), "new");
        EXPECT_EQ(readBytes(h), "[S]\nk=old\n");
        ::chmod(h.c_str(), 0644);
        EXPECT_EQ(get(h, "S", "k"), "new");
        EXPECT_EQ(readBytes(h), "[S]\nk=new\n");
    }
}

TEST(ProfileFileTest, ExitHookDropsTheCacheWithoutWriting) {
    TempDir dir;
    const std::string f = dir / "exit.ini";
    writeBytes(f, "[S]\nk=old\n");
    int step = inChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim;
        ::getrlimit(RLIMIT_FSIZE, &lim);
        struct rlimit none = lim;
        none.rlim_cur = 0;
        ::setrlimit(RLIMIT_FSIZE, &none);
        sp_WritePrivateProfileString(f.c_str(), "S", "k", "pending");
        if (get(f, "S", "k") != "pending")
            return 1;
        ::setrlimit(RLIMIT_FSIZE, &lim);
        executeAutoFunction("Exit", nullptr);
        if (readBytes(f) != "[S]\nk=old\n")
            return 2;
        if (get(f, "S", "k") != "old" || readBytes(f) != "[S]\nk=old\n")
            return 3; // the pending change went with the cache
        return 0;
    });
    EXPECT_EQ(step, 0);
}

TEST(ProfileFileTest, RewritesKeepPermissionsAndFollowLinks) {
    TempDir dir;
    const std::string f = dir / "mode.ini";
    writeBytes(f, "[S]\nk=1\n");
    ::chmod(f.c_str(), 0640);
    ino_t before = inode(f);
    ASSERT_TRUE(sp_WritePrivateProfileString(f.c_str(), "S", "k", "2"));
    struct stat st;
    ASSERT_EQ(::stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_NE(st.st_ino, before); // replaced by rename, not overwritten in place

    mode_t old = ::umask(027);
    const std::string n = dir / "new.ini";
    EXPECT_TRUE(sp_WritePrivateProfileString(n.c_str(), "S", "k", "1"));
    ::umask(old);
    ASSERT_EQ(::stat(n.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A relative link, a chain through an absolute link, and a dangling link.
    fs::create_directory(dir / "real");
    writeBytes(dir / "real/target.ini", "[S]\nk=1\n");
    fs::create_symlink("real/target.ini", dir / "rel.ini");
    fs::create_symlink(dir / "rel.ini", dir / "abs.ini");
    fs::create_symlink("real/created.ini", dir / "dangling.ini");
    EXPECT_TRUE(sp_WritePrivateProfileString((dir / "abs.ini").c_str(), "S", "k", "2"));
    EXPECT_TRUE(fs::is_symlink(dir / "abs.ini"));
    EXPECT_TRUE(fs::is_symlink(dir / "rel.ini"));
    EXPECT_EQ(readBytes(dir / "real/target.ini"), "[S]\nk=2\n");
    EXPECT_TRUE(sp_WritePrivateProfileString((dir / "dangling.ini").c_str(), "S", "k", "3"));
    EXPECT_TRUE(fs::is_symlink(dir / "dangling.ini"));
    EXPECT_EQ(readBytes(dir / "real/created.ini"), "[S]\nk=3\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "real"), fs::directory_iterator()), 2);
}

TEST(ProfileFileTest, HostileFiles) {
    TempDir dir;
    auto copy = [&](const char* name) {
        fs::copy_file(data(name), dir / name);
        return dir / name;
    };

    // UTF-16 files read as empty and are never touched.
    for (const char* name : {"utf16le.ini", "utf16be.ini"}) {
        const std::string f = copy(name);
        const std::string bytes = readBytes(f);
        setMtime(f, 1600000000, 5);
        EXPECT_EQ(get(f, "S", "k"), "<missing>");
        EXPECT_EQ(sectionNames(f), std::vector<std::string>{});
        EXPECT_EQ(keyNames(f, "S"), std::vector<std::string>{"<false>"});
        EXPECT_FALSE(sp_WritePrivateProfileString(f.c_str(), "S", "k", "x"));
        EXPECT_FALSE(sp_WritePrivateProfileString(f.c_str(), "S", "k", nullptr));
        YList<NameValuePair> pairs;
        pairs.push_back({"k", "x"});
        EXPECT_FALSE(sp_WritePrivateProfileStrings(f.c_str(), "S", pairs));
        EXPECT_EQ(sp_DeletePrivateProfileSection(f.c_str(), "S"), 0);
        EXPECT_EQ(readBytes(f), bytes);
        struct stat st;
        ASSERT_EQ(::stat(f.c_str(), &st), 0);
        EXPECT_EQ(st.st_mtim.tv_nsec, 5);
        // Replaced from outside by a plain file, it is read and written again.
        writeBytes(f, "[S]\nk=plain\n");
        EXPECT_EQ(get(f, "S", "k"), "plain");
        EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), "S", "k", "x"));
    }

    // A UTF-8 byte-order mark is skipped: the first section is there. Rewrites drop it.
    std::string f = copy("bom-utf8.ini");
    EXPECT_EQ(sectionNames(f), (std::vector<std::string>{"First", "Second"}));
    EXPECT_EQ(get(f, "First", "key"), "one");
    EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), "Second", "key", "2"));
    EXPECT_EQ(readBytes(f), "[First]\nkey=one\n\n[Second]\nkey=2\n");

    f = copy("crlf-no-final-newline.ini");
    EXPECT_EQ(get(f, "Crlf", "alpha"), "1");
    EXPECT_EQ(get(f, "Crlf", "beta"), "two words");
    EXPECT_EQ(get(f, "Crlf", "gamma"), "last");
    EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), "crlf", "new", "1"));
    EXPECT_EQ(readBytes(f), "[Crlf]\nalpha=1\n; note\nbeta=two words\ngamma=last\nnew=1\n");

    f = copy("long-lines.ini");
    const std::string longKey(5000, 'k');
    EXPECT_EQ(get(f, "Long", "key"), std::string(9000, 'x'));
    EXPECT_EQ(get(f, "Long", longKey.c_str()), "short");
    EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), "Long", "key", "y"));
    EXPECT_EQ(readBytes(f),
              "[Long]\nkey=y\n" + longKey + "=short\n;" + std::string(6000, 'c') + "\n");

    // Bytes above 127 are text like any other; only ASCII letters fold.
    f = copy("high-bytes.ini");
    EXPECT_EQ(get(f,
                  "GR\xfc\xdf"
                  "E",
                  "sCH\xe9MA"),
              "caf\xc3\xa9 \xe2\x82\xac");
    EXPECT_EQ(get(f,
                  "Gr\xdc\xdf"
                  "e",
                  "Sch\xe9ma"),
              "<missing>");
    EXPECT_EQ(get(f,
                  "Gr\xfc\xdf"
                  "e",
                  "\xff\xfe"),
              "\xfe\xff");
    EXPECT_EQ(get(f, "\xe6\x97\xa5\xe6\x9c\xac", "KEY"), "\x80\x81\x82");
    const std::string bytes = readBytes(f);
    EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), "\xe6\x97\xa5\xe6\x9c\xac", "k2", "\xa0"));
    EXPECT_EQ(readBytes(f), "[Gr\xfc\xdf"
                            "e]\nSch\xe9ma=caf\xc3\xa9 \xe2\x82\xac\n\xff\xfe=\xfe\xff\n\n"
                            "[\xe6\x97\xa5\xe6\x9c\xac]\nkey=\x80\x81\x82\nk2=\xa0\n");
    EXPECT_NE(readBytes(f), bytes);
}

// A second reading of a profile file, through the library's line reader and the format
// rules written out plainly: per section (merged case-blind), its comment lines and
// key=value pairs in file order.
struct Line {
    bool comment;
    std::string key, value; // the comment text in `key`
    bool operator==(const Line&) const = default;
};
struct Model {
    std::vector<std::string> sections;
    std::map<std::string, std::vector<Line>> lines; // by lower-cased section name
};

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return s;
}

std::string trim(const std::string& s, const char* set) {
    std::size_t b = s.find_first_not_of(set);
    if (b == std::string::npos)
        return "";
    return s.substr(b, s.find_last_not_of(set) - b + 1);
}

std::string unquote(std::string v) {
    v = trim(v, " \t");
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
        v = v.substr(1, v.size() - 2);
    return v;
}

Model readModel(const std::string& path) {
    Model m;
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        return m;
    char bom[3];
    if (std::fread(bom, 1, 3, in) != 3 || std::memcmp(bom, "\xEF\xBB\xBF", 3) != 0)
        std::rewind(in);
    std::string current;
    bool inSection = false;
    JString text;
    while (sp_ReadNextNonBlankLine(in, &text, nullptr)) {
        const std::string raw(*text);
        const std::size_t b = raw.find_first_not_of(" \t");
        const std::string s = b == std::string::npos ? "" : raw.substr(b);
        if (!s.empty() && s[0] == ';') {
            if (inSection)
                m.lines[lower(current)].push_back({true, s, ""});
            continue;
        }
        const std::string line = trim(s, " \t");
        if (!line.empty() && line.front() == '[' && line.back() == ']') {
            std::size_t n = line.find_first_not_of("[]");
            current = n == std::string::npos ? "" : line.substr(n, line.find_first_of("[]", n) - n);
            inSection = true;
            if (!m.lines.count(lower(current)))
                m.sections.push_back(current);
            m.lines[lower(current)];
            continue;
        }
        if (!inSection)
            continue;
        std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            m.lines[lower(current)].push_back({false, "", ""});
        else
            m.lines[lower(current)].push_back(
                {false, trim(line.substr(0, eq), " \t"), unquote(line.substr(eq + 1))});
    }
    std::fclose(in);
    return m;
}

// What the library reads matches the model: sections, keys in order, the winning values.
void expectReadsAsModel(const std::string& f, const Model& model) {
    EXPECT_EQ(sectionNames(f), model.sections);
    for (const std::string& s : model.sections) {
        std::vector<std::string> keys;
        std::map<std::string, std::string> last;
        for (const Line& l : model.lines.at(lower(s)))
            if (!l.comment) {
                keys.push_back(l.key);
                last[lower(l.key)] = l.value;
            }
        EXPECT_EQ(keyNames(f, s.c_str()), keys) << s;
        for (const auto& [key, value] : last)
            EXPECT_EQ(get(f, s.c_str(), key.c_str()), value) << s << "/" << key;
    }
}

TEST(ProfileFileTest, RandomTextsReadAsTheLineReaderSplitsThem) {
    TempDir dir;
    const char alphabet[] = {' ', '\t', '\r', '\n', '\n', '\0',   'a',   'B',
                             '=', ';',  '[',  ']',  '"',  '\xe9', '\x1a'};
    unsigned seed = 12345;
    for (int round = 0; round < 300; ++round) {
        std::string text = round % 5 == 0 ? "\xEF\xBB\xBF" : "";
        seed = seed * 1103515245u + 12345u;
        const int length = static_cast<int>((seed >> 16) % 200);
        for (int i = 0; i < length; ++i) {
            seed = seed * 1103515245u + 12345u;
            text += alphabet[(seed >> 16) % sizeof alphabet];
        }
        const std::string f = dir / ("random" + std::to_string(round) + ".ini");
        writeBytes(f, text);
        SCOPED_TRACE(::testing::PrintToString(text));
        expectReadsAsModel(f, readModel(f));
    }
}

TEST(ProfileFileTest, CorpusRoundTrips) {
    const fs::path corpus = fs::path(NVSUPPORT_CORPUS_DIR) / "ini";
    if (!fs::is_directory(corpus))
        GTEST_SKIP() << "no INI corpus at " << corpus;
    TempDir dir;
    int files = 0, utf16 = 0;
    for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
        if (!entry.is_regular_file())
            continue;
        const std::string f = dir / ("rt" + std::to_string(++files) + ".ini");
        fs::copy_file(entry.path(), f);
        ::chmod(f.c_str(), 0644);
        const std::string original = readBytes(f);
        SCOPED_TRACE(entry.path().string());

        if (original.size() >= 2 &&
            (original.compare(0, 2, "\xFF\xFE") == 0 || original.compare(0, 2, "\xFE\xFF") == 0)) {
            ++utf16;
            EXPECT_EQ(sectionNames(f), std::vector<std::string>{});
            EXPECT_FALSE(sp_WritePrivateProfileString(f.c_str(), "S", "k", "v"));
            EXPECT_EQ(readBytes(f), original);
            continue;
        }

        // The library reads what the independent reader reads.
        const Model before = readModel(f);
        expectReadsAsModel(f, before);

        // One new key; everything else stays, comments and order included (values lose
        // the blanks that only their quotes kept).
        const std::string section = before.sections.empty() ? "NvRoundTrip" : before.sections[0];
        ASSERT_TRUE(sp_WritePrivateProfileString(f.c_str(), section.c_str(), "nv_round_trip", "1"));
        const Model after = readModel(f);
        Model expected = before;
        if (before.sections.empty())
            expected.sections.push_back(section);
        for (auto& [name, lines] : expected.lines)
            for (Line& l : lines)
                if (!l.comment)
                    l.value = unquote(l.value);
        expected.lines[lower(section)].push_back({false, "nv_round_trip", "1"});
        EXPECT_EQ(after.sections, expected.sections);
        EXPECT_TRUE(after.lines == expected.lines);
        EXPECT_EQ(get(f, section.c_str(), "nv_round_trip"), "1");
    }
    EXPECT_GE(files, 60);
    EXPECT_GE(utf16, 2);
}

} // namespace
