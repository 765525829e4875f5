#include <nvsupport/Os/Posix/Valloc.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t kMB = 1048576;
const std::size_t kPage = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));

// Access rights of the mapping holding `addr` as /proc/self/maps shows them ("rw-", "---"...),
// or "" when nothing is mapped there.
std::string protectionAt(const void* addr) {
    const auto a = reinterpret_cast<std::uintptr_t>(addr);
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        unsigned long from = 0, to = 0;
        char perms[5] = "";
        if (std::sscanf(line.c_str(), "%lx-%lx %4s", &from, &to, perms) == 3 && a >= from && a < to)
            return std::string(perms, 3);
    }
    return "";
}

char* baseOf(void* p) {
    return static_cast<char*>(p) - 16;
}

// Number of read/write pages from the start of the reservation of `p`.
std::size_t committedPages(void* p, std::size_t limit) {
    std::size_t n = 0;
    while (n < limit && protectionAt(baseOf(p) + n * kPage) == "rw-")
        ++n;
    return n;
}

TEST(VallocTest, FirstCommitFollowsPageRule) {
    // Block and header ending one byte short of a page boundary take that page; ending
    // exactly on it takes one page more than the exact fit.
    const std::size_t cases[][2] = {{0, 1}, {kPage - 17, 1}, {kPage - 16, 2}, {3 * kPage, 4}};
    for (const auto& [size, pages] : cases) {
        void* p = vMalloc(static_cast<unsigned>(size), 1);
        ASSERT_NE(p, nullptr) << size;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(baseOf(p)) % kPage, 0u);
        EXPECT_EQ(committedPages(p, 8), pages) << size;
        EXPECT_EQ(protectionAt(baseOf(p) + pages * kPage), "---") << size;
        vFree(p);
        EXPECT_EQ(protectionAt(baseOf(p)), "");
    }
}

TEST(VallocTest, GrowthKeepsAddressAndContents) {
    const std::size_t maxPages = 8 * kMB / kPage;
    std::vector<unsigned char> pattern(8 * kMB);
    for (std::size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<unsigned char>(i * 7 + 3);
    unsigned char* p = static_cast<unsigned char*>(vMalloc(100, 8));
    ASSERT_NE(p, nullptr);
    std::size_t filled = 0;
    // The last sizes shrink: the address, the contents and the committed pages stay.
    for (std::size_t size : {std::size_t{100}, kPage, 5 * kPage + 1, 40 * kPage - 16, 2 * kMB,
                             8 * kMB - 16, std::size_t{10}, 3 * kMB}) {
        ASSERT_EQ(vRealloc(p, static_cast<unsigned>(size)), p) << size;
        const std::size_t pages = std::min((std::max(size, filled) + 16) / kPage + 1, maxPages);
        EXPECT_EQ(committedPages(p, maxPages), pages) << size;
        std::memcpy(p + filled, pattern.data() + filled, size - std::min(size, filled));
        filled = std::max(size, filled);
        EXPECT_EQ(std::memcmp(p, pattern.data(), filled), 0) << size;
    }
    vFree(p);
}

TEST(VallocTest, ReservationSizeIsTheHardLimit) {
    char* p = static_cast<char*>(vMalloc(0, 1));
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(vRealloc(p, kMB - 16), p);
    p[0] = 'a';
    p[kMB - 17] = 'z'; // last byte of the reservation
    EXPECT_EQ(vRealloc(p, kMB - 15), nullptr);
    EXPECT_EQ(vRealloc(p, UINT_MAX), nullptr); // would wrap to a small size in 32 bits
    EXPECT_EQ(std::string() + p[0] + p[kMB - 17], "az");
    ASSERT_EQ(vRealloc(p, 1000), p); // still a live block
    vFree(p);

    char* full = static_cast<char*>(vMalloc(kMB - 16, 1));
    ASSERT_NE(full, nullptr);
    full[kMB - 17] = 'x';
    vFree(full);
    const unsigned rejected[][2] = {
        {kMB - 15, 1}, {3 * kMB, 2}, {0, 0}, {UINT_MAX, 1}, {UINT_MAX, 4095}};
    for (const auto& [size, mb] : rejected)
        EXPECT_EQ(vMalloc(size, mb), nullptr) << size << " in " << mb << " MB";

    // 4095 and 4096 MB would overflow 32-bit arithmetic; only address space is reserved.
    for (unsigned mb : {4095u, 4096u}) {
        char* big = static_cast<char*>(vMalloc(0, mb));
        ASSERT_NE(big, nullptr) << mb;
        EXPECT_EQ(protectionAt(baseOf(big) + (std::size_t{mb} * kMB - 1)), "---") << mb;
        ASSERT_EQ(vRealloc(big, static_cast<unsigned>(2 * kMB)), big);
        big[2 * kMB - 1] = 'q';
        EXPECT_EQ(vRealloc(big, UINT_MAX), nullptr); // needs 16 bytes more than 4 GB
        EXPECT_EQ(big[2 * kMB - 1], 'q');
        vFree(big);
    }
}

TEST(VallocTest, ForeignPointersAreIgnored) {
    char* heap = static_cast<char*>(std::malloc(64));
    ASSERT_NE(heap, nullptr);
    std::strcpy(heap, "heap");
    int local = 0;
    char* p = static_cast<char*>(vMalloc(64, 1));
    ASSERT_NE(p, nullptr);
    // Null, heap and stack memory, addresses inside a block other than its start, and a
    // block whose tag has been overwritten.
    void** header = reinterpret_cast<void**>(baseOf(p));
    void* tag = std::exchange(header[0], nullptr);
    void* foreigns[] = {nullptr, heap, &local, p + 16, baseOf(p), p};
    for (void* foreign : foreigns) {
        EXPECT_EQ(vRealloc(foreign, 10), nullptr) << foreign;
        vFree(foreign);
    }
    EXPECT_STREQ(heap, "heap");
    std::free(heap);
    header[0] = tag;
    EXPECT_EQ(vRealloc(p, 10), p); // not released by the calls above
    vFree(p);
    EXPECT_EQ(protectionAt(p), "");
    EXPECT_EQ(vRealloc(p, 10), nullptr); // freed blocks are no longer live
    vFree(p);                            // nor freed twice
}

TEST(VallocTest, BlocksOfSeveralThreads) {
    std::vector<int> failures(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &failures] {
            for (int round = 0; round < 50; ++round) {
                unsigned char* p = static_cast<unsigned char*>(vMalloc(16, 4));
                unsigned size = 1000;
                for (; p && size < 300000 && vRealloc(p, size) == p; size += 77777)
                    std::memset(p, t + round, size);
                failures[t] += !p || size < 300000 || p[0] != static_cast<unsigned char>(t + round);
                vFree(p);
            }
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

} // namespace
