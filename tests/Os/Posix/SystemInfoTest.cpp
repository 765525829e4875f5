#include <nvsupport/Os/Posix/SystemInfo.h>

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>

namespace {

TEST(SystemInfoTest, UserNameIsTheEffectiveUsersLogin) {
    const passwd* pw = getpwuid(geteuid());
    const std::string name = *sp_GetUserName();
    EXPECT_LE(name.size(), 256u);
    if (pw) {
        EXPECT_EQ(name, pw->pw_name);
    }
    if (geteuid() != 0)
        return;
    // A user id without a password entry falls back on $USER, cut to 256 characters.
    pid_t child = fork();
    if (child == 0) {
        setenv("USER", std::string(300, 'u').c_str(), 1);
        _exit(setuid(54321) == 0 && getpwuid(54321) == nullptr
                  ? std::string(*sp_GetUserName()) == std::string(256, 'u') ? 0 : 1
                  : 2);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
}

TEST(SystemInfoTest, ClocksAdvanceAcrossSleep) {
    // Ticks count from system start: compare with the kernel's own uptime.
    double uptime = 0;
    std::ifstream("/proc/uptime") >> uptime;
    unsigned ticks0 = sp_GetTickCount();
    double perf0 = sp_GetPerfTime();
    if (uptime > 0) {
        unsigned expected = static_cast<unsigned>(static_cast<unsigned long long>(uptime * 1000));
        EXPECT_LT(static_cast<unsigned>(ticks0 - expected + 5000u), 10000u); // within 5 s
    }
    sp_Sleep(20);
    unsigned tickSpan = sp_GetTickCount() - ticks0;
    double perfSpan = sp_GetPerfTime() - perf0;
    EXPECT_GE(tickSpan, 19u); // millisecond readings may each be rounded down
    EXPECT_LT(tickSpan, 10000u);
    EXPECT_GE(perfSpan, 0.019);
    EXPECT_LT(perfSpan, 10.0);
    EXPECT_GT(perf0, 0.0);
    sp_Sleep(0); // only yields

    std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    EXPECT_LE(std::llabs(sp_EpochTime() - now), 2);
    EXPECT_LE(std::llabs(static_cast<long long>(sp_GetSystemTime()) -
                         static_cast<long long>(static_cast<std::uint32_t>(now))),
              2);
}

TEST(SystemInfoTest, ThreadIdsAreTheKernelsAndDiffer) {
    const unsigned main = sp_GetThreadId();
    EXPECT_EQ(main, static_cast<unsigned>(getpid()));
    unsigned other = 0, otherKernel = 0;
    std::thread([&] {
        other = sp_GetThreadId();
        otherKernel = static_cast<unsigned>(syscall(SYS_gettid));
    }).join();
    EXPECT_NE(other, main);
    EXPECT_EQ(other, otherKernel);
}

} // namespace
