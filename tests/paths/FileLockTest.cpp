#include <nvsupport/Os/Posix/SystemInfo.h>
#include <nvsupport/paths/FileLock.h>

#include "AsUnprivileged.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using nvtest::TempDir;

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// The lock file's content, or "-" when it cannot be read.
std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "-";
}

std::string expectedNote() {
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    return std::string(*sp_GetUserName()) + "@" + host + "\r\n";
}

TEST(FileLockTest, CompanionFileIsHeldUntilUnlock) {
    TempDir dir;
    const std::string path = dir / "out.csv", lck = path + ".lck";
    // A lock file nobody holds (its process died) does not block; its content is replaced.
    std::ofstream(lck) << "somebody@elsewhere, a note longer than ours\r\n";
    FileLock first, second;
    EXPECT_FALSE(first.relock()); // no path yet
    EXPECT_EQ(first.getError(), FLE_OTHER);
    ASSERT_TRUE(first.lock(path.c_str()));
    EXPECT_TRUE(first.locked() && first.getError() == FLE_NONE);
    EXPECT_EQ(readAll(lck), expectedNote());
    EXPECT_FALSE(exists(path)); // only the companion file is made
    EXPECT_FALSE(second.lock(path.c_str()));
    EXPECT_TRUE(second.getError() == FLE_IN_USE && !second.locked());
    EXPECT_EQ(readAll(lck), expectedNote()); // the failed attempt neither emptied nor removed it
    EXPECT_TRUE(first.relock());
    first.unlock();
    EXPECT_FALSE(first.locked() || exists(lck));
    EXPECT_TRUE(second.relock());
    EXPECT_EQ(second.getError(), FLE_NONE);

    // Moving hands the lock over; the moved-from object releases nothing.
    FileLock moved(std::move(second)), target;
    second.unlock();
    EXPECT_TRUE(moved.locked() && !second.locked() && exists(lck));
    target = std::move(moved);
    EXPECT_FALSE(first.relock());
    target.unlock();
    EXPECT_FALSE(exists(lck));

    // Someone removes a held file and a new holder makes another: the old holder's unlock
    // must not delete the newcomer's file.
    ASSERT_TRUE(first.relock());
    ASSERT_EQ(unlink(lck.c_str()), 0);
    ASSERT_TRUE(second.lock(path.c_str())); // moved-from: it needs its path again
    first.unlock();
    EXPECT_FALSE(target.lock(path.c_str()));
    EXPECT_EQ(target.getError(), FLE_IN_USE);
    second.unlock();

    // Locking another path gives up the first; the destructor releases; "" locks ".lck" in
    // the current directory.
    const std::string cwd = std::filesystem::current_path();
    ASSERT_EQ(chdir(dir.path.c_str()), 0);
    {
        FileLock scoped;
        ASSERT_TRUE(scoped.lock((dir / "other").c_str()));
        ASSERT_TRUE(scoped.lock(path.c_str()) && !exists(dir / "other.lck"));
        EXPECT_TRUE(first.lock("") && readAll(dir / ".lck") == expectedNote());
    }
    first.unlock();
    EXPECT_EQ(chdir(cwd.c_str()), 0);
    EXPECT_FALSE(exists(lck) || exists(dir / ".lck"));
}

TEST(FileLockTest, HoldersNeverOverlapWhileLockFilesComeAndGo) {
    // Each unlock deletes a file that others may have opened and be about to lock: a lock
    // taken on such a deleted file must not count, or two holders would overlap.
    TempDir dir;
    const std::string path = dir / "busy";
    std::atomic<int> holders{0}, overlaps{0}, taken{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            FileLock lock;
            for (int i = 0; i < 300; ++i)
                if (lock.lock(path.c_str())) {
                    overlaps += holders.fetch_add(1) != 0;
                    ++taken;
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    --holders;
                    lock.unlock();
                }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_GT(taken.load(), 0);
    EXPECT_FALSE(exists(path + ".lck"));
}

TEST(FileLockTest, FailureKinds) {
    TempDir dir;
    FileLock lock;
    ASSERT_EQ(mkdir((dir / "d.lck").c_str(), 0755), 0); // the lock file's name is a directory
    for (const std::string& bad : {dir / "missing/x", dir / "d"}) {
        EXPECT_FALSE(lock.lock(bad.c_str()));
        EXPECT_EQ(lock.getError(), FLE_OTHER) << bad;
    }
    // As another user: a read-only directory denies access; a lock file that cannot be opened
    // for writing is "in use" while someone holds it and "access denied" when left over.
    ASSERT_EQ(mkdir((dir / "ro").c_str(), 0555), 0);
    const std::string shared = dir / "shared", lck = shared + ".lck";
    auto tryAsOther = [&](const std::string& path) {
        return nvtest::asUnprivileged(dir.path, [&] {
            FileLock other;
            return other.lock(path.c_str()) ? 10 : static_cast<int>(other.getError());
        });
    };
    FileLock holder;
    ASSERT_TRUE(holder.lock(shared.c_str()));
    ASSERT_EQ(chmod(lck.c_str(), 0444), 0);
    int denied = tryAsOther(dir / "ro/x");
    if (denied < 0)
        GTEST_SKIP() << "running as root and cannot become \"nobody\" to make permissions apply";
    EXPECT_EQ(denied, FLE_ACCESS_DENIED);
    EXPECT_EQ(tryAsOther(shared), FLE_IN_USE);
    holder.unlock();
    std::ofstream(lck) << "left over";
    ASSERT_EQ(chmod(lck.c_str(), 0444), 0);
    EXPECT_EQ(tryAsOther(shared), FLE_ACCESS_DENIED);
}

#ifdef NVSUPPORT_LOCK_PEER
TEST(FileLockTest, AnotherProcessHoldsTheLockUntilItDies) {
    TempDir dir;
    const std::string path = dir / "shared.dat";
    FILE* peer = popen(("exec '" NVSUPPORT_LOCK_PEER "' '" + path + "'").c_str(), "r");
    ASSERT_NE(peer, nullptr);
    int pid = 0;
    const bool peerLocked = std::fscanf(peer, "locked %d", &pid) == 1 && pid > 0;
    FileLock mine;
    const bool lockedWhilePeerHeld = mine.lock(path.c_str());
    const FileLockError error = mine.getError();
    if (peerLocked)
        kill(pid, SIGKILL);
    pclose(peer);
    ASSERT_TRUE(peerLocked);
    EXPECT_FALSE(lockedWhilePeerHeld);
    EXPECT_EQ(error, FLE_IN_USE);
    EXPECT_TRUE(exists(path + ".lck")); // the killed peer left its file behind...
    EXPECT_TRUE(mine.relock());         // ...which no longer blocks anyone
}
#endif

} // namespace
