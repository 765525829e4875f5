#include <nvsupport/Os/Posix/SystemInfo.h>

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>

namespace {

TEST(SystemInfoTest, UserNameIsTheEffectiveUsersLogin) {
    const passwd* pw = getpwuid(geteuid());
    if (pw) {
        EXPECT_EQ(std::string(*sp_GetUserName()), pw->pw_name);
    }
    if (geteuid() != 0)
        return;
    // A user id without a password entry falls back on $USER, cut to 256 characters.
    pid_t child = fork();
    if (child == 0) {
        setenv("USER", std::string(300, 'u').c_str(), 1);
        _exit(setuid(54321) != 0 || getpwuid(54321)                     ? 2
              : std::string(*sp_GetUserName()) == std::string(256, 'u') ? 0
                                                                        : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
}

TEST(SystemInfoTest, ClocksAdvanceAcrossSleep) {
    double uptime = 0; // ticks count from system start, as the kernel's uptime does
    std::ifstream("/proc/uptime") >> uptime;
    const unsigned ticks0 = sp_GetTickCount();
    const double perf0 = sp_GetPerfTime();
    if (uptime > 0) {
        unsigned expected = static_cast<unsigned>(static_cast<unsigned long long>(uptime * 1000));
        EXPECT_LT(static_cast<unsigned>(ticks0 - expected + 5000u), 10000u); // within 5 s
    }
    sp_Sleep(20);
    const unsigned tickSpan = sp_GetTickCount() - ticks0;
    const double perfSpan = sp_GetPerfTime() - perf0;
    EXPECT_TRUE(tickSpan >= 19u && tickSpan < 10000u) << tickSpan; // readings round down
    EXPECT_TRUE(perfSpan >= 0.019 && perfSpan < 10.0 && perf0 > 0.0) << perfSpan;

    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    EXPECT_LE(std::llabs(sp_EpochTime() - now), 2);
    EXPECT_LE(std::llabs(static_cast<long long>(sp_GetSystemTime()) -
                         static_cast<long long>(static_cast<std::uint32_t>(now))),
              2);
}

TEST(SystemInfoTest, ThreadIdsAreTheKernelsAndDiffer) {
    unsigned other = 0, kernel = 0;
    std::thread([&] {
        other = sp_GetThreadId();
        kernel = static_cast<unsigned>(syscall(SYS_gettid));
    }).join();
    const unsigned main = static_cast<unsigned>(getpid());
    EXPECT_TRUE(sp_GetThreadId() == main && other != main && other == kernel);
}

} // namespace
