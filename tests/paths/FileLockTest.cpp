#include <nvsupport/Os/Posix/SystemInfo.h>
#include <nvsupport/paths/FileLock.h>

#include "AsUnprivileged.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
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

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string expectedNote() {
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    return std::string(*sp_GetUserName()) + "@" + host + "\r\n";
}

TEST(FileLockTest, LockWritesNoteAndUnlockRemovesIt) {
    TempDir dir;
    const std::string path = dir / "out.csv", lck = path + ".lck";
    // A lock file nobody holds (its process died) does not block; its content is replaced.
    std::ofstream(lck) << "somebody@elsewhere, a note longer than ours\r\n";
    FileLock lock;
    EXPECT_FALSE(lock.locked());
    EXPECT_FALSE(lock.relock()); // no path yet
    EXPECT_EQ(lock.getError(), FLE_OTHER);
    EXPECT_FALSE(lock.lock(""));
    EXPECT_EQ(lock.getError(), FLE_OTHER);
    ASSERT_TRUE(lock.lock(path.c_str()));
    EXPECT_TRUE(lock.locked());
    EXPECT_EQ(lock.getError(), FLE_NONE);
    EXPECT_EQ(readAll(lck), expectedNote());
    EXPECT_FALSE(exists(path)); // only the companion file is made
    EXPECT_TRUE(lock.relock());
    lock.unlock();
    EXPECT_FALSE(lock.locked());
    EXPECT_FALSE(exists(lck));
    {
        FileLock scoped;
        ASSERT_TRUE(scoped.lock(path.c_str()));
        ASSERT_TRUE(lock.lock((dir / "other").c_str()));
        ASSERT_TRUE(lock.lock(path.c_str()) == false && exists(lck));
    }
    EXPECT_FALSE(exists(lck));               // the destructor released it
    EXPECT_FALSE(exists(dir / "other.lck")); // locking another path gave up the first one
}

TEST(FileLockTest, SecondHolderFailsUntilRelease) {
    TempDir dir;
    const std::string path = dir / "net.cir", lck = path + ".lck";
    FileLock first, second;
    ASSERT_TRUE(first.lock(path.c_str()));
    EXPECT_FALSE(second.lock(path.c_str()));
    EXPECT_EQ(second.getError(), FLE_IN_USE);
    EXPECT_FALSE(second.locked());
    EXPECT_EQ(readAll(lck), expectedNote()); // the failed attempt neither emptied nor removed it
    first.unlock();
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
            for (int i = 0; i < 300; ++i) {
                if (!lock.lock(path.c_str()))
                    continue;
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
    EXPECT_FALSE(lock.lock((dir / "missing/x").c_str()));
    EXPECT_EQ(lock.getError(), FLE_OTHER);
    ASSERT_EQ(mkdir((dir / "d.lck").c_str(), 0755), 0);
    EXPECT_FALSE(lock.lock((dir / "d").c_str())); // the lock file's name is a directory
    EXPECT_EQ(lock.getError(), FLE_OTHER);

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
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    pid_t peer = fork();
    ASSERT_GE(peer, 0);
    if (peer == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execl(NVSUPPORT_LOCK_PEER, NVSUPPORT_LOCK_PEER, path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    char said[32] = {};
    ssize_t n = read(out[0], said, sizeof said - 1);
    close(out[0]);
    FileLock mine;
    bool lockedWhilePeerHeld = mine.lock(path.c_str());
    FileLockError error = mine.getError();
    kill(peer, SIGKILL);
    waitpid(peer, nullptr, 0);
    ASSERT_TRUE(n > 0 && std::string(said) == "locked\n") << "the peer said: " << said;
    EXPECT_FALSE(lockedWhilePeerHeld);
    EXPECT_EQ(error, FLE_IN_USE);
    EXPECT_TRUE(exists(path + ".lck")); // the killed peer left its file behind...
    EXPECT_TRUE(mine.relock());         // ...which no longer blocks anyone
}
#endif

} // namespace
