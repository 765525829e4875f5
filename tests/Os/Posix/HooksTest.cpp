#include <nvsupport/Os/Posix/ArgSwitch.h>
#include <nvsupport/Os/Posix/AutoFunc.h>
#include <nvsupport/Os/Posix/DynamicFunction.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> g_calls;
void first(void*) {
    g_calls.push_back("first");
}
void second(void*) {
    g_calls.push_back("second");
}
void third(void* arg) {
    g_calls.push_back(static_cast<const char*>(arg));
}

TEST(AutoFuncTest, RunsNewestFirstOnceForEachFunction) {
    g_calls.clear();
    AutoFunc a("TestOrder", first);
    AutoFunc b("TestOrder", second);
    AutoFunc c("TestOrder", third);
    AutoFunc again("TestOrder", first); // same name and function: one registration
    executeAutoFunction("TestOrder", const_cast<char*>("third"));
    EXPECT_EQ(g_calls, (std::vector<std::string>{"third", "second", "first"}));
    g_calls.clear();
    executeAutoFunction("testorder", nullptr); // names compare byte for byte
    executeAutoFunction("NobodyRegisteredThis", nullptr);
    EXPECT_TRUE(g_calls.empty());
}

TEST(AutoFuncTest, DestructorWithdrawsAndNamesAreCutAt31) {
    g_calls.clear();
    {
        AutoFunc a("TestWithdraw", first);
        { AutoFunc twin("TestWithdraw", first); } // either destructor removes the one registration
        executeAutoFunction("TestWithdraw", nullptr);
    }
    EXPECT_TRUE(g_calls.empty());
    AutoFunc longName("Hook_name_of_more_than_31_chars_A", second);
    EXPECT_EQ(std::string(longName.name), "Hook_name_of_more_than_31_chars");
    executeAutoFunction("Hook_name_of_more_than_31_chars_B", nullptr);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"second"}));
    AutoFunc copy("Other", first);
    copy = longName;
    EXPECT_STREQ(copy.name, longName.name);
    EXPECT_EQ(copy.function, &second);
}

AutoFunc* g_selfDestroying = nullptr;
void destroySelf(void*) {
    g_calls.push_back("self");
    delete g_selfDestroying;
    g_selfDestroying = nullptr;
}

TEST(AutoFuncTest, HookMayWithdrawItselfWhileRunning) {
    g_calls.clear();
    AutoFunc older("TestSelf", first);
    g_selfDestroying = new AutoFunc("TestSelf", destroySelf);
    executeAutoFunction("TestSelf", nullptr);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"self", "first"}));
    g_calls.clear();
    executeAutoFunction("TestSelf", nullptr);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"first"}));
}

TEST(AutoFuncTest, ExitRunsEveryHookThenDismantlesTheRegistry) {
    g_calls.clear();
    auto* exitHook = new AutoFunc("Exit", first);
    auto* other = new AutoFunc("TestAfterExit", second);
    executeAutoFunction("Exit", nullptr);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"first"}));
    g_calls.clear();
    executeAutoFunction("TestAfterExit", nullptr); // the registry is gone
    executeAutoFunction("Exit", nullptr);
    EXPECT_TRUE(g_calls.empty());
    delete other; // destructors after the teardown do nothing
    delete exitHook;
    AutoFunc fresh("TestAfterExit", third); // makes a new registry
    executeAutoFunction("TestAfterExit", const_cast<char*>("fresh"));
    EXPECT_EQ(g_calls, (std::vector<std::string>{"fresh"}));
    // The new registry tears down after its own Exit as well.
    g_calls.clear();
    executeAutoFunction("Exit", nullptr);
    executeAutoFunction("TestAfterExit", const_cast<char*>("gone"));
    EXPECT_TRUE(g_calls.empty());
}

int published1() {
    return 1;
}
int published2() {
    return 2;
}

TEST(DynamicFunctionTest, NewestWinsAndWithdrawalRemovesTheName) {
    EXPECT_EQ(support_GetDynamicFunction("TestFn"), nullptr);
    auto* one = new MakeDynamicFunction(reinterpret_cast<void*>(published1), "TestFn");
    {
        MakeDynamicFunction two(reinterpret_cast<void*>(published2), "TestFn");
        EXPECT_EQ(support_GetDynamicFunction("TestFn"), reinterpret_cast<void*>(published2));
        EXPECT_EQ(support_GetDynamicFunction("testfn"), nullptr);
    } // withdraws every publication of the name
    EXPECT_EQ(support_GetDynamicFunction("TestFn"), nullptr);
    delete one;
    MakeDynamicFunction cut(reinterpret_cast<void*>(published1),
                            "A_published_name_longer_than_31_X");
    EXPECT_EQ(support_GetDynamicFunction("A_published_name_longer_than_31_Y"),
              reinterpret_cast<void*>(published1));
}

struct Argv {
    std::vector<std::string> words;
    std::vector<char*> argv;
    explicit Argv(std::vector<std::string> w) : words(std::move(w)) {
        for (std::string& s : words)
            argv.push_back(s.data());
    }
    int argc() const { return int(argv.size()); }
    std::vector<std::string> left() const {
        std::vector<std::string> out;
        for (char* p : argv)
            out.push_back(p ? p : "(null)");
        return out;
    }
};

TEST(ArgSwitchTest, TakesSwitchAndArguments) {
    Argv line({"prog", "/out", "a", "b", "/x", "c"});
    ArgSwitch out(line.argc(), line.argv.data(), "OUT", 5, true, false);
    EXPECT_TRUE(out);
    EXPECT_EQ(out.size(), 2);
    EXPECT_STREQ(*out[0], "a");
    EXPECT_STREQ(*out[1], "b");
    EXPECT_STREQ(*out[2], "");
    EXPECT_STREQ(*out[-1], "");
    EXPECT_EQ(line.left(),
              (std::vector<std::string>{"prog", "(null)", "(null)", "(null)", "/x", "c"}));

    Argv all({"prog", "/out", "a", "b", "/x", "c"});
    ArgSwitch greedy(all.argc(), all.argv.data(), "out", 50, false, false);
    EXPECT_EQ(greedy.size(), 4);
    EXPECT_STREQ(*greedy[3], "c");

    Argv few({"prog", "a", "/Out", "b", "c"});
    ArgSwitch one(few.argc(), few.argv.data(), "out", 1, false, false);
    EXPECT_EQ(one.size(), 1);
    EXPECT_EQ(few.left(), (std::vector<std::string>{"prog", "a", "(null)", "(null)", "c"}));

    Argv none({"prog", "out", "-out", "/outx"});
    EXPECT_FALSE(ArgSwitch(none.argc(), none.argv.data(), "out", 3, true, false));
    EXPECT_FALSE(ArgSwitch(1, none.argv.data(), "out", 3, true, false));
    EXPECT_FALSE(ArgSwitch(4, nullptr, "out", 3, true, false));

    ArgSwitch::setSwitchChar('-');
    Argv dash({"prog", "-v", "-q"});
    ArgSwitch v(dash.argc(), dash.argv.data(), "V", 2, true, false);
    ArgSwitch::setSwitchChar('/');
    EXPECT_TRUE(v);
    EXPECT_EQ(v.size(), 0); // stops at the next switch
    ArgSwitch::setCurrentCommand("ignored");
}

} // namespace
