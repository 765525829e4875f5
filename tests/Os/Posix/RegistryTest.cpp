#include <nvsupport/Os/Posix/Registry.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> asVector(const YList<JString>& list) {
    std::vector<std::string> v;
    for (const JString& s : list)
        v.emplace_back(*s);
    return v;
}

// Sets an environment variable for the life of the object, then puts back the old value.
class EnvOverride {
public:
    EnvOverride(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~EnvOverride() {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// Every test gets a database of its own in a fresh temporary folder.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/nvregistry.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
        m_env.emplace("NORVANE_REGISTRY", (m_dir + "/registry.sqlite").c_str());
    }
    void TearDown() override {
        m_env.reset();
        fs::remove_all(m_dir);
    }
    std::string path(const char* name) const { return m_dir + "/" + name; }

    std::string m_dir;
    std::optional<EnvOverride> m_env;
};

TEST_F(RegistryTest, ReadsThroughTheFiveHundredByteBuffer) {
    struct Case {
        int length;
        bool readable;
    } cases[] = {{0, true}, {1, true}, {499, true}, {500, false}, {600, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::string text(static_cast<std::size_t>(c.length), '\xE4');
        ASSERT_TRUE(sp_WriteCurrentUserValue("Software/Test", "Value", text.c_str()));
        JString value("unchanged");
        EXPECT_EQ(sp_ReadCurrentUserValue("Software/Test", "Value", &value), c.readable);
        EXPECT_EQ(std::string(*value), c.readable ? text : "unchanged");
    }
    JString value("unchanged");
    EXPECT_FALSE(sp_ReadCurrentUserValue("Software/Test", "Other", &value));
    EXPECT_FALSE(sp_ReadCurrentUserValue("Software/Missing", "Value", &value));
    EXPECT_FALSE(sp_ReadCurrentUserValue("Software/Test/Value", "Value", &value));
    EXPECT_STREQ(*value, "unchanged");
    EXPECT_FALSE(sp_ReadCurrentUserValue("Software/Test", "Value", nullptr));
}

TEST_F(RegistryTest, KeyPathsAndNamesAreCaseBlind) {
    ASSERT_TRUE(sp_WriteCurrentUserValue("Software\\Norvane/Sim//Deep\\", "Threads", "4"));
    JString value;
    ASSERT_TRUE(sp_ReadCurrentUserValue("/SOFTWARE/norvane\\sim/DEEP", "threads", &value));
    EXPECT_STREQ(*value, "4");
    ASSERT_TRUE(sp_WriteCurrentUserValue("software/NORVANE/sim/deep", "THREADS", "8"));
    ASSERT_TRUE(sp_ReadCurrentUserValue("Software/Norvane/Sim/Deep", "Threads", &value));
    EXPECT_STREQ(*value, "8");

    // Every missing parent was created once, under its first spelling.
    YList<JString> names;
    ASSERT_TRUE(sp_GetCurrentUserSubKeyNames("", &names));
    EXPECT_EQ(asVector(names), std::vector<std::string>{"Software"});
    names.clear();
    ASSERT_TRUE(sp_GetCurrentUserSubKeyNames("software\\norvane", &names));
    EXPECT_EQ(asVector(names), std::vector<std::string>{"Sim"});
    names.clear();
    ASSERT_TRUE(sp_GetCurrentUserValueNames("software/norvane/sim/deep", &names));
    EXPECT_EQ(asVector(names), std::vector<std::string>{"Threads"});

    // Only ASCII letters fold; "" is a name like any other (the key's default value).
    ASSERT_TRUE(sp_WriteCurrentUserValue("K\xC4", "", "upper"));
    ASSERT_TRUE(sp_WriteCurrentUserValue("K\xE4", "", "lower"));
    ASSERT_TRUE(sp_ReadCurrentUserValue("k\xC4", "", &value));
    EXPECT_STREQ(*value, "upper");
    ASSERT_TRUE(sp_ReadCurrentUserValue("k\xE4", "", &value));
    EXPECT_STREQ(*value, "lower");
    // Values on the root itself.
    ASSERT_TRUE(sp_WriteCurrentUserValue("", "AtRoot", "r"));
    ASSERT_TRUE(sp_ReadCurrentUserValue("/", "atroot", &value));
    EXPECT_STREQ(*value, "r");
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

    YList<JString> names;
    names.push_back("kept");
    ASSERT_TRUE(sp_GetCurrentUserValueNames("order", &names));
    EXPECT_EQ(asVector(names), (std::vector<std::string>{"kept", "Alpha", "mid", "new", "zeta"}));
    names.clear();
    ASSERT_TRUE(sp_GetCurrentUserSubKeyNames("order", &names));
    EXPECT_EQ(asVector(names), (std::vector<std::string>{"_under", "alpha", "Beta", "gamma"}));

    // Nothing to list, or nowhere to list it: false, the list untouched.
    names.clear();
    EXPECT_FALSE(sp_GetCurrentUserSubKeyNames("order/gamma", &names));
    EXPECT_FALSE(sp_GetCurrentUserValueNames("order/missing", &names));
    EXPECT_FALSE(sp_GetClassesRootSubKeyNames("order", &names));
    EXPECT_TRUE(names.empty());
    EXPECT_FALSE(sp_GetCurrentUserValueNames("order", nullptr));

    // Names of up to 1023 characters are listed; longer ones are skipped.
    std::string fits(1023, 'f'), tooLong(1024, 'l');
    ASSERT_TRUE(sp_WriteCurrentUserValue("Long", tooLong.c_str(), "x"));
    ASSERT_TRUE(sp_WriteCurrentUserValue("Long", fits.c_str(), "x"));
    ASSERT_TRUE(sp_WriteCurrentUserValue(("Long/" + tooLong).c_str(), "v", "x"));
    ASSERT_TRUE(sp_WriteCurrentUserValue(("Long/" + fits).c_str(), "v", "x"));
    ASSERT_TRUE(sp_GetCurrentUserValueNames("long", &names));
    ASSERT_TRUE(sp_GetCurrentUserSubKeyNames("long", &names));
    EXPECT_EQ(asVector(names), (std::vector<std::string>{fits, fits}));
    names.clear();
    ASSERT_TRUE(sp_WriteCurrentUserValue("Only", tooLong.c_str(), "x"));
    EXPECT_FALSE(sp_GetCurrentUserValueNames("only", &names));
}

TEST_F(RegistryTest, RootsAreIndependentAndDeletesAreExact) {
    ASSERT_TRUE(sp_WriteCurrentUserValue("Shared/Key", "Name", "user"));
    ASSERT_TRUE(sp_WriteLocalMachineValue("Shared/Key", "Name", "machine"));
    ASSERT_TRUE(sp_WriteClassesRootValue("Shared/Key", "Name", "classes"));
    ASSERT_TRUE(sp_WriteClassesRootValue(".cir", "", "Netlist"));
    JString value;
    ASSERT_TRUE(sp_ReadCurrentUserValue("shared/key", "name", &value));
    EXPECT_STREQ(*value, "user");
    ASSERT_TRUE(sp_ReadLocalMachineValue("shared/key", "name", &value));
    EXPECT_STREQ(*value, "machine");
    ASSERT_TRUE(sp_ReadClassesRootValue("shared/key", "name", &value));
    EXPECT_STREQ(*value, "classes");
    YList<JString> names;
    ASSERT_TRUE(sp_GetClassesRootSubKeyNames("", &names));
    EXPECT_EQ(asVector(names), (std::vector<std::string>{".cir", "Shared"}));
    names.clear();
    ASSERT_TRUE(sp_GetCurrentUserSubKeyNames("", &names));
    EXPECT_EQ(asVector(names), (std::vector<std::string>{"Shared"}));

    EXPECT_TRUE(sp_DeleteLocalMachineValue("SHARED/KEY", "NAME"));
    EXPECT_FALSE(sp_DeleteLocalMachineValue("Shared/Key", "Name")); // already gone
    EXPECT_FALSE(sp_ReadLocalMachineValue("Shared/Key", "Name", &value));
    EXPECT_FALSE(sp_DeleteCurrentUserValue("Shared/Missing", "Name"));
    EXPECT_FALSE(sp_DeleteCurrentUserValue("Shared/Key", "Other"));
    ASSERT_TRUE(sp_ReadCurrentUserValue("Shared/Key", "Name", &value));
    EXPECT_STREQ(*value, "user");
    EXPECT_TRUE(sp_DeleteCurrentUserValue("Shared/Key", "Name"));
    EXPECT_FALSE(sp_GetCurrentUserValueNames("Shared/Key", &names));
    ASSERT_TRUE(sp_ReadClassesRootValue("Shared/Key", "Name", &value));
    EXPECT_STREQ(*value, "classes");
}

TEST_F(RegistryTest, FollowsThePathAndItsFile) {
    ASSERT_TRUE(sp_WriteCurrentUserValue("K", "N", "first"));
    JString value;
    {
        EnvOverride other("NORVANE_REGISTRY", path("other.sqlite").c_str());
        EXPECT_FALSE(sp_ReadCurrentUserValue("K", "N", &value));
        ASSERT_TRUE(sp_WriteCurrentUserValue("K", "N", "second"));
    }
    ASSERT_TRUE(sp_ReadCurrentUserValue("K", "N", &value));
    EXPECT_STREQ(*value, "first");
    // The file removed behind the open connection: a new, empty store takes its place.
    fs::remove(path("registry.sqlite"));
    EXPECT_FALSE(sp_ReadCurrentUserValue("K", "N", &value));
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
    std::string garbage = path("garbage.sqlite");
    std::string junk(8192, '\0');
    for (std::size_t i = 0; i < junk.size(); ++i)
        junk[i] = static_cast<char>(i * 131 + 7);
    std::ofstream(garbage, std::ios::binary) << junk;
    std::ofstream(path("plain.txt")) << "text";
    ASSERT_TRUE(fs::create_directory(path("folder")));

    const std::string places[] = {garbage, path("folder"), path("plain.txt/registry.sqlite"),
                                  path("missing/registry.sqlite")};
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
    std::stringstream after;
    after << std::ifstream(garbage, std::ios::binary).rdbuf();
    EXPECT_EQ(after.str(), junk); // never "repaired" by overwriting
    EXPECT_FALSE(fs::exists(path("missing")));

    // A database overwritten with garbage while in use (the file and its log) fails from
    // then on, and is not written to.
    ASSERT_TRUE(sp_WriteCurrentUserValue("K", "N", "v"));
    fs::remove(path("registry.sqlite-wal"));
    fs::remove(path("registry.sqlite-shm"));
    std::ofstream(path("registry.sqlite"), std::ios::binary) << junk;
    JString value("unchanged");
    EXPECT_FALSE(sp_ReadCurrentUserValue("K", "N", &value));
    EXPECT_FALSE(sp_WriteCurrentUserValue("K", "N", "w"));
    EXPECT_STREQ(*value, "unchanged");
    after.str("");
    after << std::ifstream(path("registry.sqlite"), std::ios::binary).rdbuf();
    EXPECT_EQ(after.str(), junk);
}

TEST_F(RegistryTest, UnwritableFolderFails) {
    std::string folder = path("locked");
    ASSERT_TRUE(fs::create_directory(folder));
    ::chmod(folder.c_str(), 0500);
    if (::access(folder.c_str(), W_OK) == 0)
        GTEST_SKIP() << "permissions do not bind this user";
    EnvOverride env("NORVANE_REGISTRY", (folder + "/registry.sqlite").c_str());
    JString value("unchanged");
    EXPECT_FALSE(sp_WriteCurrentUserValue("K", "N", "v"));
    EXPECT_FALSE(sp_ReadCurrentUserValue("K", "N", &value));
    EXPECT_STREQ(*value, "unchanged");
}

// Two processes, and two threads in each, write to one database at the same time.
TEST_F(RegistryTest, SeveralProcessesAndThreadsAtOnce) {
    constexpr int kEach = 200;
    ASSERT_TRUE(sp_WriteCurrentUserValue("Shared", "before", "fork")); // connection open
    auto writeMany = [](const char* prefix, int first, int count) {
        int failures = 0;
        for (int i = first; i < first + count; ++i) {
            std::string name = prefix + std::to_string(i);
            if (!sp_WriteCurrentUserValue("Shared/Values", name.c_str(), name.c_str()))
                ++failures;
        }
        return failures;
    };
    auto writeWithTwoThreads = [&](const char* prefix) {
        int other = 0;
        std::thread helper([&] { other = writeMany(prefix, kEach / 2, kEach / 2); });
        int mine = writeMany(prefix, 0, kEach / 2);
        helper.join();
        return mine + other;
    };
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(writeWithTwoThreads("child") == 0 ? 0 : 1);
    EXPECT_EQ(writeWithTwoThreads("parent"), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    YList<JString> names;
    ASSERT_TRUE(sp_GetCurrentUserValueNames("Shared/Values", &names));
    EXPECT_EQ(names.size(), 2 * kEach);
    for (const char* prefix : {"parent", "child"}) {
        for (int i = 0; i < kEach; ++i) {
            std::string name = prefix + std::to_string(i);
            JString value;
            ASSERT_TRUE(sp_ReadCurrentUserValue("Shared/Values", name.c_str(), &value)) << name;
            EXPECT_EQ(std::string(*value), name);
        }
    }
}

} // namespace
