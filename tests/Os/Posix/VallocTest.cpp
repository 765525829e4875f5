#include <nvsupport/Os/Posix/Valloc.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t kMB = 1048576;

std::size_t pageSize() {
    return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// Access rights of the mapping holding `addr`, as /proc/self/maps shows them ("rw-",
// "---"...), or "" when nothing is mapped there.
std::string protectionAt(const void* addr) {
    const auto a = reinterpret_cast<std::uintptr_t>(addr);
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        std::istringstream in(line);
        std::uintptr_t from = 0, to = 0;
        char dash = 0;
        std::string perms;
        in >> std::hex >> from >> dash >> to >> perms;
        if (a >= from && a < to)
            return perms.substr(0, 3);
    }
    return "";
}

char* baseOf(void* p) {
    return static_cast<char*>(p) - 16;
}

// Number of read/write pages from the start of the reservation of `p`.
std::size_t committedPages(void* p, std::size_t limit) {
    std::size_t n = 0;
    while (n < limit && protectionAt(baseOf(p) + n * pageSize()) == "rw-")
        ++n;
    return n;
}

} // namespace

TEST(VallocTest, FirstCommitFollowsPageRule) {
    const std::size_t ps = pageSize();

    void* p = vMalloc(0, 1);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(baseOf(p)) % ps, 0u);
    EXPECT_EQ(committedPages(p, 4), 1u);
    EXPECT_EQ(protectionAt(baseOf(p) + ps), "---"); // reserved, not committed
    vFree(p);
    EXPECT_EQ(protectionAt(baseOf(p)), "");

    // Block and header ending one byte short of a page boundary: one page.
    p = vMalloc(static_cast<unsigned>(ps - 17), 1);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(committedPages(p, 4), 1u);
    vFree(p);

    // Ending exactly on the boundary: one page more than the exact fit.
    p = vMalloc(static_cast<unsigned>(ps - 16), 1);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(committedPages(p, 4), 2u);
    vFree(p);

    p = vMalloc(static_cast<unsigned>(3 * ps), 1);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(committedPages(p, 8), 4u);
    vFree(p);
}

TEST(VallocTest, GrowthKeepsAddressAndContents) {
    const std::size_t ps = pageSize();
    unsigned char* p = static_cast<unsigned char*>(vMalloc(100, 8));
    ASSERT_NE(p, nullptr);
    std::size_t filled = 100;
    for (std::size_t i = 0; i < filled; ++i)
        p[i] = static_cast<unsigned char>(i * 7 + 3);

    for (std::size_t size : {ps, 5 * ps + 1, 40 * ps - 16, 2 * kMB, 8 * kMB - 16}) {
        ASSERT_EQ(vRealloc(p, static_cast<unsigned>(size)), p) << size;
        EXPECT_EQ(committedPages(p, 8 * kMB / ps), std::min((size + 16) / ps + 1, 8 * kMB / ps))
            << size;
        for (std::size_t i = filled; i < size; ++i)
            p[i] = static_cast<unsigned char>(i * 7 + 3);
        filled = size;
        std::size_t bad = 0;
        for (std::size_t i = 0; i < filled; ++i)
            bad += p[i] != static_cast<unsigned char>(i * 7 + 3);
        EXPECT_EQ(bad, 0u) << size;
    }

    // Shrinking keeps the address, the contents and the committed pages.
    ASSERT_EQ(vRealloc(p, 10), p);
    EXPECT_EQ(p[9], static_cast<unsigned char>(9 * 7 + 3));
    EXPECT_EQ(committedPages(p, 8 * kMB / ps), 8 * kMB / ps);
    ASSERT_EQ(vRealloc(p, static_cast<unsigned>(3 * kMB)), p);
    EXPECT_EQ(p[3 * kMB - 1], static_cast<unsigned char>((3 * kMB - 1) * 7 + 3));
    vFree(p);
}

TEST(VallocTest, ReservationIsTheHardLimit) {
    char* p = static_cast<char*>(vMalloc(0, 1));
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(vRealloc(p, kMB - 16), p);
    p[0] = 'a';
    p[kMB - 17] = 'z'; // last byte of the reservation

    EXPECT_EQ(vRealloc(p, kMB - 15), nullptr);
    EXPECT_EQ(vRealloc(p, UINT_MAX), nullptr); // would wrap to a small size in 32 bits
    EXPECT_EQ(p[0], 'a');
    EXPECT_EQ(p[kMB - 17], 'z');
    ASSERT_EQ(vRealloc(p, 1000), p); // still a live block
    p[999] = 'b';
    vFree(p);

    void* full = vMalloc(kMB - 16, 1);
    ASSERT_NE(full, nullptr);
    static_cast<char*>(full)[kMB - 17] = 'x';
    vFree(full);

    EXPECT_EQ(vMalloc(kMB - 15, 1), nullptr);
    EXPECT_EQ(vMalloc(3 * kMB, 2), nullptr);
    EXPECT_EQ(vMalloc(0, 0), nullptr);
    EXPECT_EQ(vMalloc(UINT_MAX, 1), nullptr);
    EXPECT_EQ(vMalloc(UINT_MAX, 4095), nullptr);
}

TEST(VallocTest, LargeReservations) {
    // 4095 and 4096 MB would overflow 32-bit arithmetic; only address space is reserved.
    for (unsigned mb : {4095u, 4096u}) {
        char* p = static_cast<char*>(vMalloc(0, mb));
        ASSERT_NE(p, nullptr) << mb;
        EXPECT_EQ(protectionAt(baseOf(p) + (std::size_t{mb} * kMB - 1)), "---") << mb;
        ASSERT_EQ(vRealloc(p, static_cast<unsigned>(2 * kMB)), p);
        p[2 * kMB - 1] = 'q';
        EXPECT_EQ(vRealloc(p, UINT_MAX), nullptr); // needs 16 bytes more than 4 GB
        EXPECT_EQ(p[2 * kMB - 1], 'q');
        vFree(p);
    }
}

TEST(VallocTest, ForeignPointersAreIgnored) {
    EXPECT_EQ(vRealloc(nullptr, 10), nullptr);
    vFree(nullptr);

    char* m = static_cast<char*>(std::malloc(64));
    ASSERT_NE(m, nullptr);
    std::strcpy(m, "heap");
    EXPECT_EQ(vRealloc(m, 10), nullptr);
    vFree(m);
    EXPECT_STREQ(m, "heap");
    std::free(m);

    int local = 0;
    EXPECT_EQ(vRealloc(&local, 10), nullptr);
    vFree(&local);

    char* p = static_cast<char*>(vMalloc(64, 1));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(vRealloc(p + 16, 10), nullptr); // inside a block, not its start
    EXPECT_EQ(vRealloc(baseOf(p), 10), nullptr);
    vFree(baseOf(p));
    p[0] = 'k'; // not released by the calls above
    EXPECT_EQ(vRealloc(p, 10), p);

    // A block whose tag has been overwritten is no longer recognised.
    void** header = reinterpret_cast<void**>(baseOf(p));
    void* tag = header[0];
    EXPECT_NE(tag, nullptr);
    header[0] = nullptr;
    EXPECT_EQ(vRealloc(p, 10), nullptr);
    vFree(p);
    EXPECT_NE(protectionAt(p), "");
    header[0] = tag;
    EXPECT_EQ(vRealloc(p, 10), p);

    vFree(p);
    EXPECT_EQ(protectionAt(p), "");
    EXPECT_EQ(vRealloc(p, 10), nullptr); // freed blocks are no longer live
    vFree(p);                            // nor freed twice
}

TEST(VallocTest, BlocksOfSeveralThreads) {
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            for (int round = 0; round < 50; ++round) {
                unsigned char* p = static_cast<unsigned char*>(vMalloc(16, 4));
                if (!p) {
                    ++failures[t];
                    continue;
                }
                for (unsigned size = 1000; size < 300000; size += 77777) {
                    if (vRealloc(p, size) != p) {
                        ++failures[t];
                        break;
                    }
                    std::memset(p, t + round, size);
                }
                failures[t] += p[0] != static_cast<unsigned char>(t + round);
                vFree(p);
            }
        });
    }
    for (auto& th : threads)
        th.join();
    for (int t = 0; t < 4; ++t)
        EXPECT_EQ(failures[t], 0) << t;
}
