#include "SystemInfo.h"
#include "SystemInfo_p.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <pwd.h>
#include <sched.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <vector>

namespace {

// Longest user name handed out (the Windows limit the callers were written for).
constexpr int kMaxUserName = 256;

JString boundedName(const char* name) {
    return name && *name ? JString(name, kMaxUserName) : JString();
}

bool readClock(clockid_t clock, timespec* ts) noexcept {
    return ::clock_gettime(clock, ts) == 0;
}

} // namespace

JString sp_GetUserName() {
    long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? static_cast<std::size_t>(hint) : 1024);
    passwd entry{};
    passwd* found = nullptr;
    for (;;) {
        int rc = ::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found);
        if (rc == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (rc == EINTR)
            continue;
        break;
    }
    if (found && found->pw_name && *found->pw_name)
        return boundedName(found->pw_name);
    // No password entry (a container running under an arbitrary uid): the login variables.
    if (const char* user = std::getenv("USER"); user && *user)
        return boundedName(user);
    return boundedName(std::getenv("LOGNAME"));
}

unsigned int sp_GetTickCount() {
    timespec ts{};
    if (!readClock(CLOCK_BOOTTIME, &ts) && !readClock(CLOCK_MONOTONIC, &ts))
        return 0;
    std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                       static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<unsigned int>(ms); // wraps at 32 bits, like the counter it stands for
}

double sp_GetPerfTime() {
    timespec ts{};
    if (!readClock(CLOCK_MONOTONIC, &ts))
        return 0.0;
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

std::int64_t sp_EpochTime() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

unsigned int sp_GetSystemTime() {
    timespec ts{};
    if (!readClock(CLOCK_REALTIME, &ts))
        return 0;
    // The system clock in 100 ns units since 1601, less the offset of 1970, in seconds,
    // computed in unsigned 64-bit arithmetic and cut to 32 bits.
    constexpr std::uint64_t kOffset1601 = 116444736000000000ull;
    std::uint64_t units = static_cast<std::uint64_t>(ts.tv_sec) * 10000000ull +
                          static_cast<std::uint64_t>(ts.tv_nsec) / 100u + kOffset1601;
    return static_cast<unsigned int>((units - kOffset1601) / 10000000ull);
}

void sp_Sleep(unsigned ms) {
    if (ms == 0) {
        ::sched_yield();
        return;
    }
    timespec left{static_cast<time_t>(ms / 1000u), static_cast<long>(ms % 1000u) * 1000000L};
    // Resume after signals with the time still left, so the whole interval passes.
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

unsigned int sp_GetThreadId() {
    return static_cast<unsigned int>(::gettid());
}

namespace nvsupport::detail {

JString machineName() {
    char host[257] = {};
    if (::gethostname(host, sizeof host - 1) == 0 && host[0])
        return JString(host);
    utsname names{};
    if (::uname(&names) == 0 && names.nodename[0])
        return JString(names.nodename);
    return JString("localhost");
}

} // namespace nvsupport::detail
