#include <nvsupport/Os/Posix/ArgSwitch.h>
#include <nvsupport/Os/Posix/AutoFunc.h>
#include <nvsupport/Os/Posix/DynamicFunction.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;
Calls g_calls;
void (*const first)(void*) = [](void*) { g_calls.push_back("first"); };
void (*const second)(void*) = [](void*) { g_calls.push_back("second"); };
void (*const third)(void* arg) = [](void* arg) { g_calls.push_back(static_cast<char*>(arg)); };

// Runs the hooks of `name` with `arg` and returns the calls they made.
Calls run(const char* name, const char* arg = nullptr) {
    g_calls.clear();
    executeAutoFunction(name, const_cast<char*>(arg));
    return g_calls;
}

TEST(AutoFuncTest, RunsNewestFirstOnceForEachFunctionUntilWithdrawn) {
    AutoFunc a("TestOrder", first), b("TestOrder", second), c("TestOrder", third);
    {
        AutoFunc twin("TestOrder", first); // same name and function: one registration
        EXPECT_EQ(run("TestOrder", "third"), (Calls{"third", "second", "first"}));
    } // either destructor removes that one registration
    EXPECT_EQ(run("TestOrder", "third"), (Calls{"third", "second"}));
    EXPECT_TRUE(run("testorder").empty()); // names compare byte for byte
    EXPECT_TRUE(run("NobodyRegisteredThis").empty());

    AutoFunc longName("Hook_name_of_more_than_31_chars_A", second);
    EXPECT_EQ(std::string(longName.name), "Hook_name_of_more_than_31_chars");
    EXPECT_EQ(run("Hook_name_of_more_than_31_chars_B"), (Calls{"second"}));
    AutoFunc copy("Other", first);
    copy = longName;
    EXPECT_STREQ(copy.name, longName.name);
    EXPECT_EQ(copy.function, second);
}

AutoFunc* g_selfDestroying = nullptr;

TEST(AutoFuncTest, HookMayWithdrawItselfWhileRunning) {
    AutoFunc older("TestSelf", first);
    g_selfDestroying = new AutoFunc("TestSelf", [](void*) {
        g_calls.push_back("self");
        delete g_selfDestroying;
    });
    EXPECT_EQ(run("TestSelf"), (Calls{"self", "first"}));
    EXPECT_EQ(run("TestSelf"), (Calls{"first"}));
}

// The library's teardown hook belongs to the process's first registry, so this must be the
// process's first "Exit" call (no --gtest_repeat).
TEST(AutoFuncTest, ExitRunsEveryHookThenDismantlesTheRegistry) {
    auto* exitHook = new AutoFunc("Exit", first);
    auto* other = new AutoFunc("TestAfterExit", second);
    EXPECT_EQ(run("Exit"), (Calls{"first"}));
    EXPECT_TRUE(run("TestAfterExit").empty()); // the registry is gone
    EXPECT_TRUE(run("Exit").empty());
    delete other; // destructors after the teardown do nothing
    delete exitHook;
    AutoFunc fresh("TestAfterExit", third); // makes a new registry, without the teardown hook
    EXPECT_EQ(run("TestAfterExit", "fresh"), (Calls{"fresh"}));
    EXPECT_TRUE(run("Exit").empty()); // nobody registered "Exit" there: nothing is torn down
    AutoFunc lateExit("Exit", second);
    EXPECT_EQ(run("Exit"), (Calls{"second"}));
    EXPECT_EQ(run("Exit"), (Calls{"second"})); // still registered: no teardown this time
    EXPECT_EQ(run("TestAfterExit", "kept"), (Calls{"kept"}));
}

int (*const published1)() = [] { return 1; };
int (*const published2)() = [] { return 2; };

TEST(DynamicFunctionTest, NewestWinsAndWithdrawalRemovesTheName) {
    void *one = reinterpret_cast<void*>(published1), *two = reinterpret_cast<void*>(published2);
    EXPECT_EQ(support_GetDynamicFunction("TestFn"), nullptr);
    auto* older = new MakeDynamicFunction(one, "TestFn");
    {
        MakeDynamicFunction second(two, "TestFn");
        EXPECT_EQ(support_GetDynamicFunction("TestFn"), two);
        EXPECT_EQ(support_GetDynamicFunction("testfn"), nullptr);
    } // withdraws every publication of the name
    EXPECT_EQ(support_GetDynamicFunction("TestFn"), nullptr);
    delete older;
    MakeDynamicFunction cut(one, "A_published_name_longer_than_31_X");
    EXPECT_EQ(support_GetDynamicFunction("A_published_name_longer_than_31_Y"), one);
}

// Takes switch `name` from the words of `line` and returns its arguments, then "|" and the
// words left in the line (a taken one as "-"); "absent" when the switch is not found.
std::string takeSwitch(std::vector<std::string> line, const char* name, int max, bool stop) {
    std::vector<char*> argv;
    for (std::string& w : line)
        argv.push_back(w.data());
    ArgSwitch s(int(argv.size()), argv.data(), name, max, stop, false);
    std::string out = s ? "" : "absent";
    for (int i = 0; i < s.size(); ++i)
        out += std::string(*s[i]) + " ";
    out += *s[s.size()] + std::string(*s[-1]) + "|";
    for (char* p : argv)
        out += std::string(p ? p : "-") + " ";
    return out;
}

TEST(ArgSwitchTest, TakesSwitchAndArguments) {
    const std::vector<std::string> line{"prog", "/out", "a", "b", "/x", "c"};
    EXPECT_EQ(takeSwitch(line, "OUT", 5, true), "a b |prog - - - /x c ");
    EXPECT_EQ(takeSwitch(line, "out", 50, false), "a b /x c |prog - - - - - ");
    EXPECT_EQ(takeSwitch({"prog", "a", "/Out", "b", "c"}, "out", 1, false), "b |prog a - - c ");
    EXPECT_EQ(takeSwitch({"prog", "out", "-out", "/outx"}, "out", 3, true),
              "absent|prog out -out /outx ");
    EXPECT_EQ(takeSwitch({"prog"}, "out", 3, true), "absent|prog ");
    EXPECT_FALSE(ArgSwitch(4, nullptr, "out", 3, true, false));

    ArgSwitch::setSwitchChar('-');
    const std::string dash = takeSwitch({"prog", "-v", "-q"}, "V", 2, true);
    ArgSwitch::setSwitchChar('/');
    EXPECT_EQ(dash, "|prog - -q "); // stops at the next switch
    ArgSwitch::setCurrentCommand("ignored");
}

} // namespace
