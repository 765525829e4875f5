#include <nvsupport/Config/ProfileFile.h>
#include <nvsupport/Os/Posix/AutoFunc.h>

#include "../paths/AsUnprivileged.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Strings = std::vector<std::string>;
using nvtest::TempDir;

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The value of section/key, or "<missing>".
std::string get(const std::string& file, const char* section, const char* key) {
    JString v("junk");
    if (!sp_GetPrivateProfileString(section, key, file.c_str(), &v))
        return v.isEmpty() ? "<missing>" : "<missing, value not emptied>";
    return *v;
}

// The section names (no section given) or a section's key names, appended to a list that
// holds `first` if given; {"<false>"} when the call answers false.
Strings names(const std::string& file, const char* section = nullptr, const char* first = nullptr) {
    YList<JString> list;
    if (first)
        list.push_back(first);
    if (!(section ? sp_GetProfileKeyNames(file.c_str(), section, &list)
                  : sp_GetProfileSectionNames(file.c_str(), &list)))
        return {"<false>"};
    Strings out;
    for (const JString& s : list)
        out.emplace_back(*s);
    return out;
}

ino_t inode(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

void setMtime(const std::string& path, time_t sec, long nsec) {
    struct timespec times[2] = {{sec, nsec}, {sec, nsec}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Caps the size of files this process may write (a full disk: writes fail, no signal).
void limitFileSize(rlim_t size) {
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim;
    ::getrlimit(RLIMIT_FSIZE, &lim);
    lim.rlim_cur = std::min(size, lim.rlim_max);
    ::setrlimit(RLIMIT_FSIZE, &lim);
}

// Runs `body` in a child process (file size limits and hooks stay out of this one) and
// returns its exit code.
template <class F> int inChild(F body) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body() & 0xff);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

// A value as a rewrite and a fresh read turn it: blanks trimmed, one pair of quotes dropped.
std::string unquote(std::string v) {
    v.erase(0, std::min(v.size(), v.find_first_not_of(" \t")));
    v.erase(v.find_last_not_of(" \t") + 1);
    return v.size() >= 2 && v.front() == '"' && v.back() == '"' ? v.substr(1, v.size() - 2) : v;
}

// Everything the library reads: "[section]" lines, each followed by its "key=value" lines.
Strings dump(const std::string& f, bool unquoted) {
    Strings out;
    for (const std::string& s : names(f)) {
        out.push_back("[" + s + "]");
        for (const std::string& k : names(f, s.c_str())) {
            const std::string v = get(f, s.c_str(), k.c_str());
            out.push_back(k + "=" + (unquoted ? unquote(v) : v));
        }
    }
    return out;
}

// Adds a key to the last section (or a new one) and reads the rewritten file afresh: every
// section, key and value is still there, in order.
void expectRoundTrip(const std::string& f) {
    Strings expected = dump(f, true);
    const Strings sections = names(f);
    const std::string section = sections.empty() ? "NvRoundTrip" : sections.back();
    if (sections.empty())
        expected.push_back("[NvRoundTrip]");
    expected.push_back("nv_round_trip=1");
    ASSERT_TRUE(sp_WritePrivateProfileString(f.c_str(), section.c_str(), "nv_round_trip", "1"));
    setMtime(f, 1500000000, 7);
    EXPECT_EQ(dump(f, false), expected);
}

TEST(ProfileFileTest, ReadsLinesByTheFormatRules) {
    TempDir dir;
    const std::string f = dir / "rules.ini";
    writeBytes(f, "; above every header\nstray=ignored\n[Main]\n  key1 = value one  \n"
                  "key2=  \"  quoted  \"  \nkey3 = \"\nkey4 = \"\"\n=novalue\nno equals here\n"
                  "KEY1\t=\tlater\n\t; indented comment \n\n   \t \n[ Spaced ]\na=1\n"
                  "[[Brackets]]  \t\nb=2=3\n[main]\nkey5=merged\n[Other]x\n");
    // A duplicate key (case-blind): the later line wins; one quote is not a pair; "no equals
    // here" stands after "=novalue".
    const struct {
        const char *section, *key, *value;
    } cases[] = {
        // clang-format off
        {"Main", "key1", "later"},   {"MAIN", "Key2", "  quoted  "}, {"Main", "key3", "\""},
        {"Main", "key4", ""},        {"Main", "", ""},               {"main", "KEY5", "merged"},
        {" Spaced ", "a", "1"},      {"Spaced", "a", "<missing>"},   {"Brackets", "b", "2=3"},
        {"Main", "stray", "<missing>"}, {"", "stray", "<missing>"},  {"Other", "", "<missing>"},
        {"Main", "; indented comment", "<missing>"},
        // clang-format on
    };
    for (const auto& c : cases)
        EXPECT_EQ(get(f, c.section, c.key), c.value) << c.section << "/" << c.key;
    EXPECT_EQ(names(f), (Strings{"Main", " Spaced ", "Brackets"}));
    EXPECT_EQ(names(f, "main"),
              (Strings{"key1", "key2", "key3", "key4", "", "", "KEY1", "key5", ""}));
    EXPECT_EQ(names(f, "Nowhere"), Strings{"<false>"});

    // A change rewrites the file: merged sections under their first header, lines in their
    // order, values without quotes, lines without "=" as "=", nothing above the first header.
    ASSERT_TRUE(sp_WritePrivateProfileString(f.c_str(), "Main", "added", "new"));
    EXPECT_EQ(readBytes(f), "[Main]\nkey1=value one\nkey2=  quoted  \nkey3=\"\nkey4=\n=novalue\n=\n"
                            "KEY1=later\n; indented comment \nkey5=merged\n=\nadded=new\n\n"
                            "[ Spaced ]\na=1\n\n[Brackets]\nb=2=3\n");
    EXPECT_EQ(get(f, "Main", "key2"), "  quoted  "); // the cache holds what it wrote
    setMtime(f, 1500000000, 0);
    EXPECT_EQ(get(f, "Main", "key2"), "quoted"); // read again: the quotes kept the blanks
}

TEST(ProfileFileTest, ChangesFollowTheSequenceOfLines) {
    TempDir dir;
    const std::string f = dir / "seq.ini";
    writeBytes(f, "[A]\nk=1\ndup=first\n;c\ndup=second\n[B]\nx=2\n[a]\nm=3\n");
    EXPECT_EQ(names(f), (Strings{"A", "B"}));
    EXPECT_EQ(get(f, "a", "DUP"), "second");
    const struct {
        const char *section, *key, *value; // a null value deletes
        const char* file;                  // the whole file afterwards
    } steps[] = {
        {"A", "dup", "third", "[A]\nk=1\ndup=first\n;c\ndup=third\nm=3\n\n[B]\nx=2\n"},
        {"b", "y", "4", "[A]\nk=1\ndup=first\n;c\ndup=third\nm=3\n\n[B]\nx=2\ny=4\n"},
        {"New", "z", "5",
         "[New]\nz=5\n\n[A]\nk=1\ndup=first\n;c\ndup=third\nm=3\n\n[B]\nx=2\ny=4\n"},
        {"A", "DUP", nullptr, "[New]\nz=5\n\n[A]\nk=1\n;c\nm=3\n\n[B]\nx=2\ny=4\n"},
        {"A", "k", "1b", "[New]\nz=5\n\n[A]\nk=1b\n;c\nm=3\n\n[B]\nx=2\ny=4\n"},
    };
    for (const auto& s : steps) {
        EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), s.section, s.key, s.value));
        EXPECT_EQ(readBytes(f), s.file) << s.section << "/" << s.key;
    }
    EXPECT_EQ(names(f), (Strings{"New", "A", "B"}));

    // Equal values and deleting what is not there leave the file alone.
    const ino_t before = inode(f);
    YList<NameValuePair> pairs;
    pairs.push_back({"x", "2"});
    pairs.push_back({"Y", "4"});
    EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), "a", "K", "1b"));
    EXPECT_TRUE(sp_WritePrivateProfileStrings(f.c_str(), "B", pairs));
    EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), "B", "none", nullptr));
    EXPECT_EQ(inode(f), before);

    // Several pairs: applied in order, written once.
    pairs.clear();
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
    EXPECT_EQ(names(f, "c", "x"), Strings{"x"}); // true, adding nothing: comments are no keys

    EXPECT_EQ(sp_DeletePrivateProfileSection(f.c_str(), "a"), 3);
    EXPECT_EQ(readBytes(f), "[B]\nj=2\n\n[C]\n; only a comment\n");
    const ino_t before = inode(f);
    EXPECT_EQ(sp_DeletePrivateProfileSection(f.c_str(), "Missing"), 0);
    EXPECT_EQ(inode(f), before);
    EXPECT_EQ(sp_DeletePrivateProfileSection(f.c_str(), "B"), 1);
    EXPECT_EQ(sp_DeletePrivateProfileSection(f.c_str(), "C"), 1);
    EXPECT_EQ(readBytes(f), ""); // no sections: an empty file, still there
    EXPECT_TRUE(fs::exists(f));
    EXPECT_EQ(names(f), Strings{});

    // A section header alone is written as such.
    EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), "S", "k", "v"));
    EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), "S", "k", nullptr));
    EXPECT_EQ(readBytes(f), "[S]\n");
}

TEST(ProfileFileTest, MissingFilesAndBadArguments) {
    TempDir dir;
    const std::string f = dir / "missing.ini";
    EXPECT_EQ(get(f, "S", "k"), "<missing>");
    YList<JString> kept;
    kept.push_back("kept");
    EXPECT_FALSE(sp_GetProfileSectionNames(f.c_str(), &kept));
    EXPECT_EQ(kept.size(), 1u);
    EXPECT_EQ(names(f, "S"), Strings{"<false>"});
    EXPECT_EQ(sp_DeletePrivateProfileSection(f.c_str(), "S"), 0);
    EXPECT_FALSE(sp_WritePrivateProfileString(f.c_str(), "S", "k", nullptr));
    EXPECT_FALSE(sp_WritePrivateProfileStrings(f.c_str(), "S", YList<NameValuePair>()));
    EXPECT_FALSE(fs::exists(f));

    // Setting a value creates the file with one section.
    EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), "S", "k", "v"));
    JString v("junk");
    EXPECT_FALSE(sp_GetPrivateProfileString(nullptr, "k", f.c_str(), &v));
    EXPECT_TRUE(v.isEmpty());
    EXPECT_FALSE(sp_GetPrivateProfileString("S", nullptr, f.c_str(), &v));
    EXPECT_FALSE(sp_GetPrivateProfileString("S", "k", nullptr, &v));
    EXPECT_FALSE(sp_GetPrivateProfileString("S", "k", "", &v));
    EXPECT_TRUE(sp_GetPrivateProfileString("S", "k", f.c_str(), nullptr));
    EXPECT_FALSE(sp_WritePrivateProfileString(nullptr, "S", "k", "v"));
    EXPECT_FALSE(sp_WritePrivateProfileString("", "S", "k", "v"));
    EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), nullptr, "k", "w"));
    EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), "S", nullptr, "w"));
    EXPECT_FALSE(sp_GetProfileSectionNames(f.c_str(), nullptr));
    EXPECT_TRUE(sp_GetProfileKeyNames(f.c_str(), "S", nullptr));
    EXPECT_EQ(readBytes(f), "[S]\nk=v\n");

    // A relative name and an absolute one reach the same cached file.
    const fs::path cwd = fs::current_path();
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
    writeBytes(f, "[S]\nk=bbbb\n"); // same size and time: the cached text stands
    setMtime(f, second, 100000000);
    EXPECT_EQ(get(f, "S", "k"), "aaaa");
    setMtime(f, second, 100000001); // only the nanoseconds differ: noticed
    EXPECT_EQ(get(f, "S", "k"), "bbbb");
    writeBytes(f, "[S]\nk=ccccc\n"); // same time, another size: noticed
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

    // In a child process (as an ordinary user, so that permissions bind): a full disk in the
    // middle of the rewrite, the "Exit" hook dropping a pending change, and no permission.
    const std::string g = dir / "full.ini", h = dir / "locked/ro.ini", old = "[S]\nk=old\n";
    const std::string big(100000, 'x');
    const int step = inChild([&] {
        return nvtest::asUnprivileged(dir.path, [&] {
            writeBytes(g, old);
            if (get(g, "S", "k") != "old")
                return 1;
            limitFileSize(4096);
            if (!sp_WritePrivateProfileString(g.c_str(), "S", "k", big.c_str()) ||
                readBytes(g) != old)
                return 2; // true: the file still exists, untouched
            if (std::distance(fs::directory_iterator(dir.path), {}) != 2)
                return 3; // a temporary file was left behind
            if (get(g, "S", "k") != big || readBytes(g) != old)
                return 4; // pending, and retried (in vain) by this call
            limitFileSize(RLIM_INFINITY);
            if (get(g, "S", "k") != big || readBytes(g) != "[S]\nk=" + big + "\n")
                return 5;
            limitFileSize(0);
            sp_WritePrivateProfileString(g.c_str(), "S", "k", "pending");
            if (get(g, "S", "k") != "pending")
                return 6;
            limitFileSize(RLIM_INFINITY);
            executeAutoFunction("Exit", nullptr);
            if (get(g, "S", "k") != big || readBytes(g) != "[S]\nk=" + big + "\n")
                return 7;

            fs::create_directory(dir / "locked");
            writeBytes(h, old);
            ::chmod((dir / "locked").c_str(), 0555);
            if (!sp_WritePrivateProfileString(h.c_str(), "S", "k", "new") || readBytes(h) != old)
                return 8;
            ::chmod((dir / "locked").c_str(), 0755);
            ::chmod(h.c_str(), 0444); // a read-only file is not replaced either
            if (get(h, "S", "k") != "new" || readBytes(h) != old)
                return 9;
            ::chmod(h.c_str(), 0644);
            return get(h, "S", "k") == "new" && readBytes(h) == "[S]\nk=new\n" ? 0 : 10;
        });
    });
    if (step == 255)
        GTEST_SKIP() << "cannot drop root privileges";
    EXPECT_EQ(step, 0);
}

TEST(ProfileFileTest, RewritesKeepPermissionsAndFollowLinks) {
    TempDir dir;
    const std::string f = dir / "mode.ini", n = dir / "new.ini";
    writeBytes(f, "[S]\nk=1\n");
    ::chmod(f.c_str(), 0640);
    const ino_t before = inode(f);
    ASSERT_TRUE(sp_WritePrivateProfileString(f.c_str(), "S", "k", "2"));
    struct stat st;
    ASSERT_EQ(::stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_NE(st.st_ino, before); // replaced by rename, not overwritten in place
    const mode_t mask = ::umask(027);
    EXPECT_TRUE(sp_WritePrivateProfileString(n.c_str(), "S", "k", "1"));
    ::umask(mask);
    ASSERT_EQ(::stat(n.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A chain through an absolute link to a relative one, and a dangling link.
    fs::create_directory(dir / "real");
    writeBytes(dir / "real/target.ini", "[S]\nk=1\n");
    fs::create_symlink("real/target.ini", dir / "rel.ini");
    fs::create_symlink(dir / "rel.ini", dir / "abs.ini");
    fs::create_symlink("real/created.ini", dir / "dangling.ini");
    EXPECT_TRUE(sp_WritePrivateProfileString((dir / "abs.ini").c_str(), "S", "k", "2"));
    EXPECT_TRUE(sp_WritePrivateProfileString((dir / "dangling.ini").c_str(), "S", "k", "3"));
    for (const char* link : {"abs.ini", "rel.ini", "dangling.ini"})
        EXPECT_TRUE(fs::is_symlink(dir / link)) << link;
    EXPECT_EQ(readBytes(dir / "real/target.ini"), "[S]\nk=2\n");
    EXPECT_EQ(readBytes(dir / "real/created.ini"), "[S]\nk=3\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "real"), {}), 2);
}

TEST(ProfileFileTest, HostileFiles) {
    TempDir dir;
    auto copy = [&](const char* name) {
        fs::copy_file(std::string(NVSUPPORT_TEST_DATA_DIR) + "/Config/data/" + name, dir / name);
        return dir / name;
    };
    // UTF-16 files: the mark is skipped and zero bytes dropped, so ASCII text reads as such.
    // Changes stay pending in the cache, never written in 8-bit text, and the calls still
    // answer that the file exists. Replaced by plain text, the file is rewritten again.
    for (const char* name : {"utf16le.ini", "utf16be.ini"}) {
        const std::string f = copy(name), bytes = readBytes(f);
        setMtime(f, 1600000000, 5);
        EXPECT_EQ(get(f, "S", "k"), "v");
        EXPECT_EQ(names(f), Strings{"S"});
        EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), "S", "k", "x"));
        EXPECT_EQ(get(f, "S", "k"), "x");
        EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), "S", "k", nullptr));
        YList<NameValuePair> pairs;
        pairs.push_back({"k2", "x"});
        EXPECT_TRUE(sp_WritePrivateProfileStrings(f.c_str(), "S", pairs));
        EXPECT_EQ(names(f, "S"), Strings{"k2"});
        EXPECT_EQ(sp_DeletePrivateProfileSection(f.c_str(), "S"), 1);
        struct stat st;
        ASSERT_EQ(::stat(f.c_str(), &st), 0);
        EXPECT_EQ(st.st_mtim.tv_nsec, 5);
        EXPECT_EQ(readBytes(f), bytes);
        writeBytes(f, "[S]\nk=plain\n");
        EXPECT_EQ(get(f, "S", "k"), "plain");
        EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), "S", "k", "x"));
        EXPECT_EQ(readBytes(f), "[S]\nk=x\n");
    }

    // A UTF-8 byte-order mark is skipped: the first section is there. Rewrites drop it.
    std::string f = copy("bom-utf8.ini");
    EXPECT_EQ(names(f), (Strings{"First", "Second"}));
    EXPECT_EQ(get(f, "First", "key"), "one");
    EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), "Second", "key", "2"));
    EXPECT_EQ(readBytes(f), "[First]\nkey=one\n\n[Second]\nkey=2\n");

    f = copy("crlf-no-final-newline.ini");
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
    EXPECT_EQ(get(f, "GR\374\337E", "sCH\351MA"), "caf\303\251 \342\202\254");
    EXPECT_EQ(get(f, "Gr\334\337e", "Sch\351ma"), "<missing>"); // \374 and \334 do not fold
    EXPECT_EQ(get(f, "Gr\374\337e", "\377\376"), "\376\377");
    EXPECT_EQ(get(f, "\346\227\245\346\234\254", "KEY"), "\200\201\202");
    EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), "\346\227\245\346\234\254", "k2", "\240"));
    EXPECT_EQ(readBytes(f),
              "[Gr\374\337e]\nSch\351ma=caf\303\251 \342\202\254\n\377\376=\376\377\n\n"
              "[\346\227\245\346\234\254]\nkey=\200\201\202\nk2=\240\n");

    // Random bytes (NULs, CRs, EOF marks, brackets, quotes, a BOM now and then) survive a
    // rewrite and a fresh read unchanged.
    const char alphabet[] = " \t\r\n\n\0aB=;[]\"\xe9\x1a";
    unsigned seed = 12345;
    for (int round = 0; round < 300; ++round) {
        std::string text = round % 5 == 0 ? "\xEF\xBB\xBF" : "";
        seed = seed * 1103515245u + 12345u;
        for (unsigned i = 0, n = (seed >> 16) % 200; i < n; ++i) {
            seed = seed * 1103515245u + 12345u;
            text += alphabet[(seed >> 16) % (sizeof alphabet - 1)];
        }
        f = dir / ("random" + std::to_string(round) + ".ini");
        writeBytes(f, text);
        SCOPED_TRACE(::testing::PrintToString(text));
        expectRoundTrip(f);
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
        if (original.rfind("\xFF\xFE", 0) == 0 || original.rfind("\xFE\xFF", 0) == 0) {
            ++utf16; // its sections are read; a change is never written into it
            EXPECT_NE(names(f), Strings{});
            EXPECT_TRUE(sp_WritePrivateProfileString(f.c_str(), "S", "k", "v"));
            EXPECT_EQ(readBytes(f), original);
        } else {
            expectRoundTrip(f);
        }
    }
    EXPECT_GE(files, 60);
    EXPECT_GE(utf16, 2);
}

} // namespace
