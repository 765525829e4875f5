#include <nvsupport/ipc/SharedBlock.h>
#include <nvsupport/ipc/SharedBlock_p.h>

#include "PeerProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

using nvsupport::detail::sharedBlockCreatedHere;
using nvsupport::detail::sharedBlockViewCount;
constexpr int kUnit = 65536;

bool exists(const std::string& name) {
    int fd = shm_open(("/" + name).c_str(), O_RDONLY, 0);
    return fd >= 0 && close(fd) == 0;
}

// Makes a shared-memory object the way another program would.
void makeObject(const std::string& name, off_t size) {
    int fd = shm_open(("/" + name).c_str(), O_CREAT | O_RDWR, 0600);
    ASSERT_TRUE(fd >= 0 && ftruncate(fd, size) == 0) << name;
    close(fd);
}

TEST(SharedBlockTest, NamesCountUpAndFreeingRemovesTheName) {
    EXPECT_EQ(sp_GetSharedBlockGranularity(), 65536);
    JString a = sp_AllocateSharedBlock(100), b = sp_AllocateSharedBlock(kUnit);
    unsigned na = 0, nb = 0;
    int pa = 0, pb = 0;
    char tail = 0;
    ASSERT_EQ(std::sscanf(*a, "NorvaneSharedBlock%u_%d%c", &na, &pa, &tail), 2) << *a;
    ASSERT_EQ(std::sscanf(*b, "NorvaneSharedBlock%u_%d%c", &nb, &pb, &tail), 2) << *b;
    EXPECT_TRUE(nb == na + 1 && pa == getpid() && pb == pa) << *a << " " << *b;
    EXPECT_TRUE(exists(*a) && sharedBlockCreatedHere(*a) && sharedBlockViewCount(*a) == 0);
    sp_FreeSharedBlock(a); // no views: closed and dropped at once
    EXPECT_FALSE(exists(*a) || sharedBlockViewCount(*a) != -1);
    // Freed while mapped: the name goes at once, the block is closed with its last view.
    void* view = sp_GetSharedBlock(*b, false);
    sp_FreeSharedBlock(b);
    EXPECT_FALSE(exists(*b) || sharedBlockCreatedHere(*b) || sharedBlockViewCount(*b) != 1);
    sp_ReleaseSharedBlock(view);
    EXPECT_EQ(sharedBlockViewCount(*b), -1);
}

TEST(SharedBlockTest, PartialViewsCountAndRelease) {
    JString name = sp_AllocateSharedBlock(3 * kUnit);
    auto* whole = static_cast<char*>(sp_GetSharedBlock(*name, false));
    ASSERT_NE(whole, nullptr);
    std::memcpy(whole + 2 * kUnit, "two", 4);
    std::memcpy(whole, "zero", 5);
    const struct {
        int offset, length;
        const char* text; // first bytes of the view; null: the range is refused
    } rows[] = {{2, 1, "two"},  {2, 0, "two"},   {0, 1, "zero"},  {-3, -1, "zero"},
                {0, 3, "zero"}, {3, 1, nullptr}, {2, 2, nullptr}, {0, 4, nullptr}};
    for (const auto& r : rows) {
        auto* v = static_cast<char*>(sp_GetSharedBlock(*name, r.offset, r.length, true));
        ASSERT_EQ(v != nullptr, r.text != nullptr) << r.offset << "," << r.length;
        if (!v)
            continue;
        EXPECT_STREQ(v, r.text);
        EXPECT_EQ(sharedBlockViewCount(*name), 2);
        sp_ReleaseSharedBlock(v);
        sp_ReleaseSharedBlock(v); // released already: ignored
        EXPECT_EQ(sharedBlockViewCount(*name), 1);
    }
    int local = 0; // addresses that are no view are ignored
    for (void* p :
         {static_cast<void*>(nullptr), static_cast<void*>(&local), static_cast<void*>(whole + 1)})
        sp_ReleaseSharedBlock(p);
    JString lower(name); // the list is searched without regard to case
    lower.tolower();
    void* again = sp_GetSharedBlock(*lower, 0, 1, false);
    EXPECT_NE(again, nullptr);
    EXPECT_EQ(sharedBlockViewCount(*name), 2);
    sp_ReleaseSharedBlock(again);
    sp_ReleaseSharedBlock(whole);
    EXPECT_EQ(sharedBlockViewCount(*name), 0);

    // A view undone behind the library's back: when the system hands the same address out
    // again, that is the one view already recorded.
    void* first = sp_GetSharedBlock(*name, false);
    munmap(first, 3 * kUnit);
    void* reused = sp_GetSharedBlock(*name, false);
    EXPECT_EQ(sharedBlockViewCount(*name), reused == first ? 1 : 2);
    sp_ReleaseSharedBlock(reused);
    sp_FreeSharedBlock(name);
}

TEST(SharedBlockTest, BlocksFromElsewhereOpenOnDemandAndCloseWithTheirLastView) {
    const std::string name = "NorvaneForeignTest_" + std::to_string(getpid());
    const std::string tooLong(5000, 'x');
    for (const char* bad :
         {name.c_str(), static_cast<const char*>(nullptr), "", "a/b", tooLong.c_str()})
        EXPECT_EQ(sp_GetSharedBlock(bad, false), nullptr);
    EXPECT_EQ(sharedBlockViewCount(name.c_str()), -1); // a failed open leaves no trace
    makeObject(name, 2 * kUnit);
    auto* reader = static_cast<char*>(sp_GetSharedBlock(name.c_str(), true));
    ASSERT_NE(reader, nullptr);
    EXPECT_FALSE(sharedBlockCreatedHere(name.c_str()));
    auto* writer = static_cast<char*>(sp_GetSharedBlock(name.c_str(), 1, 1, false));
    ASSERT_NE(writer, nullptr); // writable although first opened for reading
    writer[5] = 'w';
    EXPECT_EQ(reader[kUnit + 5], 'w');
    EXPECT_EQ(sharedBlockViewCount(name.c_str()), 2);
    sp_FreeSharedBlock(JString(name.c_str())); // not created here: no effect
    EXPECT_TRUE(exists(name));
    sp_ReleaseSharedBlock(writer);
    sp_ReleaseSharedBlock(reader);
    EXPECT_EQ(sharedBlockViewCount(name.c_str()), -1);
    shm_unlink(("/" + name).c_str());
}

TEST(SharedBlockTest, NamesGoAtExitAndStaleOnesAreCleaned) {
    heappeer::Peer exiting({"block", "exit", "4096"});
    const std::string left = exiting.readUntil('\n');
    // A fresh process: its first name carries counter 1.
    EXPECT_EQ(left, "NorvaneSharedBlock1_" + std::to_string(exiting.pid) + "\n");
    EXPECT_EQ(exiting.wait(), 0);
    EXPECT_FALSE(exists(left.substr(0, left.size() - 1)));

    heappeer::Peer killed({"block", "hang", "4096"});
    std::string stale = killed.readUntil('\n');
    ASSERT_FALSE(stale.empty());
    stale.pop_back();
    const std::string alive = "NorvaneSharedBlock77_" + std::to_string(getpid());
    const std::string unlike = "NorvaneSharedBlockX_" + std::to_string(killed.pid);
    makeObject(alive, 4096);
    makeObject(unlike, 4096);
    sp_CleanStaleSharedBlocks();
    EXPECT_TRUE(exists(stale)) << "its creator still runs";
    kill(killed.pid, SIGKILL);
    killed.wait();
    EXPECT_GE(sp_CleanStaleSharedBlocks(), 1);
    EXPECT_FALSE(exists(stale));
    EXPECT_TRUE(exists(alive) && exists(unlike));
    shm_unlink(("/" + alive).c_str());
    shm_unlink(("/" + unlike).c_str());
}

} // namespace
