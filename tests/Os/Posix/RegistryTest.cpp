#include <nvsupport/Os/Posix/Registry.h>

#include "../../paths/AsUnprivileged.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// Sets (or, given null, removes) an environment variable for the life of the object.
class EnvOverride {
public:
    EnvOverride(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~EnvOverride() { m_old ? ::setenv(m_name, m_old->c_str(), 1) : ::unsetenv(m_name); }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// A current-user value, or "<false>".
std::string read(const std::string& key, const std::string& name) {
    JString value("<false>");
    sp_ReadCurrentUserValue(key.c_str(), name.c_str(), &value);
    return *value;
}

// What a name-listing call appends to a list holding `first` (if given), or "<false>" first.
Names listed(bool (*call)(const JString&, YList<JString>*), const std::string& key,
             const char* first = nullptr) {
    YList<JString> list;
    if (first)
        list.push_back(first);
    Names out{call(key.c_str(), &list) ? "" : "<false>"};
    for (const JString& s : list)
        out.emplace_back(*s);
    return out;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every test gets a database of its own in a fresh temporary folder.
class RegistryTest : public ::testing::Test {
protected:
    std::string path(const char* name) const { return m_tmp / name; }

    nvtest::TempDir m_tmp;
    EnvOverride m_env{"NORVANE_REGISTRY", path("registry.sqlite").c_str()};
};

TEST_F(RegistryTest, ReadsThroughTheFiveHundredByteBuffer) {
    const std::pair<int, bool> cases[] = {
        {0, true}, {1, true}, {499, true}, {500, false}, {600, false}};
    for (const auto& [length, readable] : cases) {
        const std::string text(static_cast<std::size_t>(length), '\xE4');
        ASSERT_TRUE(sp_WriteCurrentUserValue("Software/Test", "Value", text.c_str()));
        EXPECT_EQ(read("Software/Test", "Value"), readable ? text : "<false>") << length;
    }
    // Missing value, missing key, a value name taken for a key, no place to put it.
    EXPECT_EQ(read("Software/Test", "Other"), "<false>");
    EXPECT_EQ(read("Software/Missing", "Value"), "<false>");
    EXPECT_EQ(read("Software/Test/Value", "Value"), "<false>");
    EXPECT_FALSE(sp_ReadCurrentUserValue("Software/Test", "Value", nullptr));
}

TEST_F(RegistryTest, KeyPathsAndNamesAreCaseBlind) {
    ASSERT_TRUE(sp_WriteCurrentUserValue("Software\\Norvane/Sim//Deep\\", "Threads", "4"));
    EXPECT_EQ(read("/SOFTWARE/norvane\\sim/DEEP", "threads"), "4");
    ASSERT_TRUE(sp_WriteCurrentUserValue("software/NORVANE/sim/deep", "THREADS", "8"));
    EXPECT_EQ(read("Software/Norvane/Sim/Deep", "Threads"), "8");
    // Every missing parent was created once, under its first spelling.
    EXPECT_EQ(listed(sp_GetCurrentUserSubKeyNames, ""), (Names{"", "Software"}));
    EXPECT_EQ(listed(sp_GetCurrentUserSubKeyNames, "software\\norvane"), (Names{"", "Sim"}));
    EXPECT_EQ(listed(sp_GetCurrentUserValueNames, "software/norvane/sim/deep"),
              (Names{"", "Threads"}));

    // Only ASCII letters fold; "" is a name like any other (the key's default value); the
    // root itself holds values.
    ASSERT_TRUE(sp_WriteCurrentUserValue("K\xC4", "", "upper"));
    ASSERT_TRUE(sp_WriteCurrentUserValue("K\xE4", "", "lower"));
    ASSERT_TRUE(sp_WriteCurrentUserValue("", "AtRoot", "r"));
    EXPECT_EQ(read("k\xC4", ""), "upper");
    EXPECT_EQ(read("k\xE4", ""), "lower");
    EXPECT_EQ(read("/", "atroot"), "r");
}

TEST_F(RegistryTest, EnumerationOrders) {
    for (const char* n : {"zeta", "Alpha", "mid"})
        ASSERT_TRUE(sp_WriteCurrentUserValue("Order", n, n));
    ASSERT_TRUE(sp_WriteCurrentUserValue("Order", "ALPHA", "again")); // keeps its place
    ASSERT_TRUE(sp_DeleteCurrentUserValue("Order", "zeta"));
    ASSERT_TRUE(sp_WriteCurrentUserValue("Order", "new", "n"));
    ASSERT_TRUE(sp_WriteCurrentUserValue("Order", "zeta", "z"));
    for (const char* k : {"gamma", "_under", "Beta", "alpha"})
        ASSERT_TRUE(sp_WriteCurrentUserValue((std::string("Order/") + k).c_str(), "v", "1"));
    EXPECT_EQ(listed(sp_GetCurrentUserValueNames, "order", "kept"),
              (Names{"", "kept", "Alpha", "mid", "new", "zeta"}));
    EXPECT_EQ(listed(sp_GetCurrentUserSubKeyNames, "order"),
              (Names{"", "_under", "alpha", "Beta", "gamma"}));

    // Nothing to list, or nowhere to list it: false, the list untouched.
    EXPECT_EQ(listed(sp_GetCurrentUserSubKeyNames, "order/gamma", "kept"),
              (Names{"<false>", "kept"}));
    EXPECT_EQ(listed(sp_GetCurrentUserValueNames, "order/missing"), Names{"<false>"});
    EXPECT_EQ(listed(sp_GetClassesRootSubKeyNames, "order"), Names{"<false>"});
    EXPECT_FALSE(sp_GetCurrentUserValueNames("order", nullptr));

    // Names of up to 1023 characters are listed; a longer one ends the enumeration.
    const std::string fits(1023, 'f'), tooLong(1024, 'l');
    for (const std::string& n : {fits, tooLong, std::string("z")}) {
        ASSERT_TRUE(sp_WriteCurrentUserValue("Long", n.c_str(), "x"));
        ASSERT_TRUE(sp_WriteCurrentUserValue(("Long/" + n).c_str(), "v", "x"));
    }
    EXPECT_EQ(listed(sp_GetCurrentUserValueNames, "long"), (Names{"", fits}));
    EXPECT_EQ(listed(sp_GetCurrentUserSubKeyNames, "long"), (Names{"", fits}));
    ASSERT_TRUE(sp_WriteCurrentUserValue("Only", tooLong.c_str(), "x"));
    ASSERT_TRUE(sp_WriteCurrentUserValue("Only", "after", "x"));
    EXPECT_EQ(listed(sp_GetCurrentUserValueNames, "only"), Names{"<false>"});
}

TEST_F(RegistryTest, RootsAreIndependentAndDeletesAreExact) {
    ASSERT_TRUE(sp_WriteCurrentUserValue("Shared/Key", "Name", "user"));
    ASSERT_TRUE(sp_WriteLocalMachineValue("Shared/Key", "Name", "machine"));
    ASSERT_TRUE(sp_WriteClassesRootValue("Shared/Key", "Name", "classes"));
    ASSERT_TRUE(sp_WriteClassesRootValue(".cir", "", "Netlist"));
    JString machine, classes;
    EXPECT_EQ(read("shared/key", "name"), "user");
    ASSERT_TRUE(sp_ReadLocalMachineValue("shared/key", "name", &machine));
    ASSERT_TRUE(sp_ReadClassesRootValue("shared/key", "name", &classes));
    EXPECT_STREQ(*machine, "machine");
    EXPECT_STREQ(*classes, "classes");
    EXPECT_EQ(listed(sp_GetClassesRootSubKeyNames, ""), (Names{"", ".cir", "Shared"}));
    EXPECT_EQ(listed(sp_GetCurrentUserSubKeyNames, ""), (Names{"", "Shared"}));

    EXPECT_TRUE(sp_DeleteLocalMachineValue("SHARED/KEY", "NAME"));
    EXPECT_FALSE(sp_DeleteLocalMachineValue("Shared/Key", "Name")); // already gone
    EXPECT_FALSE(sp_ReadLocalMachineValue("Shared/Key", "Name", &machine));
    EXPECT_FALSE(sp_DeleteCurrentUserValue("Shared/Missing", "Name"));
    EXPECT_FALSE(sp_DeleteCurrentUserValue("Shared/Key", "Other"));
    EXPECT_EQ(read("Shared/Key", "Name"), "user");
    EXPECT_TRUE(sp_DeleteCurrentUserValue("Shared/Key", "Name"));
    EXPECT_EQ(listed(sp_GetCurrentUserValueNames, "Shared/Key"), Names{"<false>"});
    ASSERT_TRUE(sp_ReadClassesRootValue("Shared/Key", "Name", &classes));
    EXPECT_STREQ(*classes, "classes");
}

TEST_F(RegistryTest, FollowsThePathAndItsFile) {
    ASSERT_TRUE(sp_WriteCurrentUserValue("K", "N", "first"));
    {
        EnvOverride other("NORVANE_REGISTRY", path("other.sqlite").c_str());
        EXPECT_EQ(read("K", "N"), "<false>");
        ASSERT_TRUE(sp_WriteCurrentUserValue("K", "N", "second"));
    }
    EXPECT_EQ(read("K", "N"), "first");
    // The file removed behind the open connection: a new, empty store takes its place.
    fs::remove(path("registry.sqlite"));
    EXPECT_EQ(read("K", "N"), "<false>");
    ASSERT_TRUE(sp_WriteCurrentUserValue("K", "N", "third"));
    EXPECT_TRUE(fs::exists(path("registry.sqlite")));

    // Without NORVANE_REGISTRY: an absolute XDG_CONFIG_HOME, else ~/.config; the folders
    // are made.
    EnvOverride noExplicit("NORVANE_REGISTRY", nullptr);
    {
        EnvOverride xdg("XDG_CONFIG_HOME", path("xdg").c_str());
        ASSERT_TRUE(sp_WriteCurrentUserValue("K", "N", "xdg"));
        EXPECT_TRUE(fs::is_regular_file(path("xdg/norvane/registry.sqlite")));
        EXPECT_EQ(fs::status(path("xdg/norvane")).permissions() & fs::perms::all,
                  fs::perms::owner_all);
    }
    EnvOverride relativeXdg("XDG_CONFIG_HOME", "relative/config");
    EnvOverride home("HOME", path("home").c_str());
    ASSERT_TRUE(sp_WriteCurrentUserValue("K", "N", "home"));
    EXPECT_TRUE(fs::is_regular_file(path("home/.config/norvane/registry.sqlite")));
    EXPECT_FALSE(fs::exists("relative/config"));
}

TEST_F(RegistryTest, UnusableDatabasesFailEveryCall) {
    const std::string garbage = path("garbage.sqlite");
    std::string junk(8192, '\0');
    for (std::size_t i = 0; i < junk.size(); ++i)
        junk[i] = static_cast<char>(i * 131 + 7);
    std::ofstream(garbage, std::ios::binary) << junk;
    std::ofstream(path("plain.txt")) << "text";
    ASSERT_TRUE(fs::create_directory(path("folder")));
    ASSERT_TRUE(fs::create_directory(path("locked")));
    ::chmod(path("locked").c_str(), 0500); // binds ordinary users only

    std::vector<std::string> places{garbage, path("folder"), path("plain.txt/registry.sqlite"),
                                    path("missing/registry.sqlite")};
    if (::access(path("locked").c_str(), W_OK) != 0)
        places.push_back(path("locked/registry.sqlite"));
    for (const std::string& place : places) {
        SCOPED_TRACE(place);
        EnvOverride env("NORVANE_REGISTRY", place.c_str());
        JString value("unchanged");
        YList<JString> names;
        EXPECT_FALSE(sp_WriteCurrentUserValue("K", "N", "v"));
        EXPECT_FALSE(sp_WriteLocalMachineValue("K", "N", "v"));
        EXPECT_FALSE(sp_WriteClassesRootValue("K", "N", "v"));
        EXPECT_FALSE(sp_ReadCurrentUserValue("K", "N", &value));
        EXPECT_FALSE(sp_ReadLocalMachineValue("K", "N", &value));
        EXPECT_FALSE(sp_ReadClassesRootValue("K", "N", &value));
        EXPECT_FALSE(sp_DeleteCurrentUserValue("K", "N"));
        EXPECT_FALSE(sp_DeleteLocalMachineValue("K", "N"));
        EXPECT_FALSE(sp_GetCurrentUserValueNames("", &names));
        EXPECT_FALSE(sp_GetCurrentUserSubKeyNames("", &names));
        EXPECT_FALSE(sp_GetClassesRootSubKeyNames("", &names));
        EXPECT_STREQ(*value, "unchanged");
        EXPECT_TRUE(names.empty());
    }
    EXPECT_EQ(readAll(garbage), junk); // never "repaired" by overwriting
    EXPECT_FALSE(fs::exists(path("missing")));

    // A database overwritten with garbage while in use (the file and its log) fails from
    // then on, and is not written to.
    ASSERT_TRUE(sp_WriteCurrentUserValue("K", "N", "v"));
    fs::remove(path("registry.sqlite-wal"));
    fs::remove(path("registry.sqlite-shm"));
    std::ofstream(path("registry.sqlite"), std::ios::binary) << junk;
    EXPECT_EQ(read("K", "N"), "<false>");
    EXPECT_FALSE(sp_WriteCurrentUserValue("K", "N", "w"));
    EXPECT_EQ(readAll(path("registry.sqlite")), junk);
}

// Two processes, and two threads in each, write to one database at the same time.
TEST_F(RegistryTest, SeveralProcessesAndThreadsAtOnce) {
    constexpr int kEach = 200;
    ASSERT_TRUE(sp_WriteCurrentUserValue("Shared", "before", "fork")); // connection open
    auto writeMany = [](const std::string& prefix, int first) {
        int failures = 0;
        for (int i = first; i < first + kEach / 2; ++i) {
            const std::string name = prefix + std::to_string(i);
            failures += !sp_WriteCurrentUserValue("Shared/Values", name.c_str(), name.c_str());
        }
        return failures;
    };
    auto writeWithTwoThreads = [&](const char* prefix) {
        int other = 0;
        std::thread helper([&] { other = writeMany(prefix, kEach / 2); });
        const int mine = writeMany(prefix, 0);
        helper.join();
        return mine + other;
    };
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(writeWithTwoThreads("child") == 0 ? 0 : 1);
    EXPECT_EQ(writeWithTwoThreads("parent"), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    EXPECT_EQ(listed(sp_GetCurrentUserValueNames, "Shared/Values").size(), 2 * kEach + 1);
    for (const char* prefix : {"parent", "child"})
        for (int i = 0; i < kEach; ++i) {
            const std::string name = prefix + std::to_string(i);
            EXPECT_EQ(read("Shared/Values", name), name);
        }
}

} // namespace
