#include <nvsupport/ipc/SharedBlockHeap.h>
#include <nvsupport/streams/nvfbuf.h>
#include <nvsupport/streams/nvstrbuf.h>

#include "../paths/AsUnprivileged.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

using nvtest::TempDir;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void spill(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string readAll(nvbuf& b) {
    std::string s;
    char chunk[64];
    while (unsigned n = b.read(chunk, sizeof chunk))
        s.append(chunk, n);
    return s;
}

constexpr int R = NV_OPEN_READ, W = NV_OPEN_WRITE, A = NV_OPEN_APPEND, B = NV_OPEN_BINARY,
              D = NV_OPEN_DELETE;

TEST(nvfbufTest, ModeTableChoosesFopenMode) {
    struct Row {
        int mode;
        const char* fopenMode;
    } rows[] = {{0, "r"},      {R, "r"},          {W, "w"},           {R | W, "w+"},
                {A, "a"},      {R | A, "r"},      {W | A, "a"},       {R | W | A, "a+"},
                {W | B, "wb"}, {R | B, "rb"},     {R | W | B, "w+b"}, {R | W | A | B, "a+b"},
                {W | D, "w"},  {0x4 | 0x10, "r"}, {B, "rb"}};
    for (const Row& r : rows)
        EXPECT_STREQ(nvsupport::detail::fopenModeFor(r.mode), r.fopenMode) << r.mode;
}

TEST(nvfbufTest, ModeTableBehaviour) {
    TempDir dir;
    const std::string p = dir / "f.txt";
    struct Row {
        int mode;
        bool existing;
        bool opens;
        const char* after; // file contents after writing "XY" (null: the write must fail)
    } rows[] = {
        // clang-format off
        {0, true, true, nullptr}, {R, true, true, nullptr}, {W, true, true, "XY"},
        {R | W, true, true, "XY"}, {A, true, true, "old\nXY"}, {R | A, true, true, nullptr},
        {W | A, true, true, "old\nXY"}, {R | W | A, true, true, "old\nXY"},
        {R, false, false, nullptr}, {R | A, false, false, nullptr}, {W, false, true, "XY"},
        {A, false, true, "XY"},
        {W | A | D, true, true, "old\nXY"}, // the delete bit applies to "w" and "w+" only
        // clang-format on
    };
    for (const Row& r : rows) {
        unlink(p.c_str());
        if (r.existing)
            spill(p, "old\n");
        nvfbuf b(p.c_str(), r.mode, false);
        ASSERT_EQ(bool(b), r.opens) << r.mode;
        if (!r.opens)
            continue;
        unsigned written = b.write("XY", 2);
        if (r.after) {
            EXPECT_EQ(written, 2u) << r.mode;
            b.close();
            EXPECT_EQ(slurp(p), r.after) << r.mode;
        } else {
            // Read-only: the write fails and the old text reads back.
            b.seekg(0);
            EXPECT_EQ(readAll(b), "old\n") << r.mode;
            b.close();
            EXPECT_EQ(slurp(p), "old\n") << r.mode;
        }
    }
    // "w+" and "a+" read back what they wrote.
    for (int mode : {R | W, R | W | A}) {
        spill(p, "old\n");
        nvfbuf b(p.c_str(), mode, false);
        b.write("XY", 2);
        EXPECT_EQ(b.seekg(0), 0);
        EXPECT_EQ(readAll(b), mode == (R | W) ? "XY" : "old\nXY");
    }
    // No path, or an empty one, opens nothing.
    nvfbuf none(nullptr, W, false), empty("", W, false);
    EXPECT_FALSE(none);
    EXPECT_FALSE(empty);
}

TEST(nvfbufTest, DeleteBeforeCreate) {
    TempDir dir;
    const std::string p = dir / "f", link = dir / "hardlink";
    for (int mode : {W, R | W}) {
        unlink(p.c_str());
        unlink(link.c_str());
        spill(p, "old");
        ASSERT_EQ(::link(p.c_str(), link.c_str()), 0);
        nvfbuf b(p.c_str(), mode | D, false);
        ASSERT_TRUE(b);
        b.write("new", 3);
        b.close();
        // The old file lives on under its second name: it was deleted, not truncated.
        EXPECT_EQ(slurp(p), "new");
        EXPECT_EQ(slurp(link), "old");
    }
    // Without the delete bit the shared file itself is truncated.
    unlink(link.c_str());
    ASSERT_EQ(::link(p.c_str(), link.c_str()), 0);
    nvfbuf t(p.c_str(), W, false);
    t.write("x", 1);
    t.close();
    EXPECT_EQ(slurp(link), "x");

    // A file that cannot be deleted leaves the buffer closed, though it could be written.
    int rc = nvtest::asUnprivileged(dir.path, [&]() {
        std::string sub = dir / "ro", f = sub + "/f";
        if (mkdir(sub.c_str(), 0755) != 0)
            return 10;
        spill(f, "keep");
        chmod(f.c_str(), 0666);
        chmod(sub.c_str(), 0555);
        nvfbuf del(f.c_str(), W | D, false);
        if (del)
            return 1;
        nvfbuf plain(f.c_str(), W, false);
        return plain ? 0 : 2;
    });
    EXPECT_EQ(rc, 0);
}

TEST(nvfbufTest, ClosedBufferAndBasicOperations) {
    nvfbuf closed; // every operation is harmless
    char c = 0;
    closed.put('a');
    closed.close();
    EXPECT_TRUE(!closed && closed.eof() && closed.fail() && closed.get() == -1 &&
                closed.read(&c, 1) == 0 && closed.write("a", 1) == 0 && closed.seekg(5) == 0 &&
                closed.seekg(5, SEEK_END) == 0 && closed.tellg() == -1 && closed.fd() == -1 &&
                closed.detach() == nullptr);

    TempDir dir;
    const std::string p = dir / "f";
    nvfbuf b(p.c_str(), R | W | B, false);
    ASSERT_TRUE(b);
    EXPECT_GE(b.fd(), 0);
    b.put('\xFF');
    b.write("bcdef", 5);
    EXPECT_EQ(b.tellg(), 6);
    EXPECT_EQ(b.seekg(-2, SEEK_END), 0);
    EXPECT_EQ(b.get(), 'e');
    EXPECT_EQ(b.seekg(0), 0);
    EXPECT_EQ(b.get(), 0xFF); // bytes of a file come as 0..255
    EXPECT_EQ(b.seekg(1, 7), -1);
    EXPECT_EQ(b.seekg(-10), -1);
    // writeAt writes in place and comes back.
    EXPECT_EQ(b.seekg(2), 0);
    EXPECT_EQ(b.writeAt(0, "A", 1), 1u);
    EXPECT_EQ(b.tellg(), 2);
    // takeAndWrite owns and frees its block (ASan checks the delete).
    char* block = new char[2]{'x', 'y'};
    b.seekg(0, SEEK_END);
    EXPECT_EQ(b.takeAndWrite(block, 2), 2u);
    EXPECT_EQ(b.get(), -1);
    EXPECT_TRUE(b.eof());
    FILE* f = b.detach();
    ASSERT_NE(f, nullptr);
    EXPECT_FALSE(b);
    std::fclose(f);
    EXPECT_EQ(slurp(p), "Abcdefxy");

    // 64-bit positions: seek past 4 GB in a sparse file.
    nvfbuf big((dir / "big").c_str(), W, false);
    const std::int64_t far = (std::int64_t(1) << 32) + 7;
    ASSERT_EQ(big.seekg(far), 0);
    EXPECT_EQ(big.tellg(), far);
    EXPECT_EQ(big.write("z", 1), 1u);
    EXPECT_EQ(big.tellg(), far + 1);
}

TEST(nvfbufTest, LockTakenByOpen) {
    TempDir dir;
    const std::string p = dir / "locked.txt";
    nvfbuf first(p.c_str(), W, true);
    ASSERT_TRUE(first);
    EXPECT_EQ(access((p + ".lck").c_str(), F_OK), 0);
    nvfbuf second(p.c_str(), R, true);
    EXPECT_FALSE(second); // the path is locked by the first buffer
    nvfbuf unlocked(p.c_str(), R, false);
    EXPECT_TRUE(unlocked); // a lock does not stop buffers that do not ask for one
    // detach keeps the lock; close of the detached buffer is harmless.
    FILE* f = first.detach();
    EXPECT_FALSE(nvfbuf(p.c_str(), R, true));
    std::fclose(f);
    first.open(p.c_str(), R, false); // re-opening without a lock lets the old one go
    EXPECT_TRUE(second.open(p.c_str(), R, true));
    second.close();
    EXPECT_NE(access((p + ".lck").c_str(), F_OK), 0);
    // A failed open does not keep a lock.
    nvfbuf missing((dir / "nothere").c_str(), R, true);
    EXPECT_FALSE(missing);
    EXPECT_TRUE(nvfbuf((dir / "nothere").c_str(), W, true));
}

TEST(nvstrbufTest, ConstructionReadWriteAndLimits) {
    nvstrbuf empty, nul(nullptr), withNuls("a\0b", 3), text("abc"), neg("abc", -1);
    EXPECT_EQ(empty.length() + nul.length() + neg.length(), 0);
    EXPECT_EQ(text.length(), 3);
    ASSERT_EQ(withNuls.length(), 3);
    EXPECT_EQ(withNuls.get(), 'a');
    EXPECT_EQ(withNuls.get(), 0);
    EXPECT_TRUE(text && !text.fail());

    nvstrbuf b("\xFF"
               "b");
    EXPECT_EQ(b.get(), -1); // a signed char widened: 0xFF reads as -1 ...
    EXPECT_FALSE(b.eof());  // ... but it is not the end
    char buf[8];
    EXPECT_EQ(b.read(buf, 8), 1u);
    EXPECT_FALSE(b.eof());
    EXPECT_EQ(b.read(buf, 8), 0u);
    EXPECT_TRUE(b.eof());
    EXPECT_EQ(b.write("cd", 2), 2u);
    EXPECT_FALSE(b.eof()); // a write clears the flag
    EXPECT_EQ(b.read(buf, 1), 1u);
    EXPECT_EQ(buf[0], 'c');
    EXPECT_EQ(b.get(), 'd');
    EXPECT_FALSE(b.eof());
    EXPECT_EQ(b.get(), -1);
    EXPECT_TRUE(b.eof());
    EXPECT_EQ(b.write("x", 0x7FFFFFFF), 0u);
    EXPECT_EQ(b.write("x", 0xFFFFFFFF), 0u);
    EXPECT_EQ(b.seekg(0), 0);
    EXPECT_EQ(b.read(buf, 0x7FFFFFFF), 0u);
    EXPECT_EQ(b.read(buf, 2), 2u);
    EXPECT_EQ(b.length(), 4);
}

TEST(nvstrbufTest, SeekClampsAndLimits) {
    nvstrbuf b("abcd");
    struct Row {
        std::int64_t offset;
        int whence; // -1: seekg(pos)
        int expect;
    } rows[] = {// clang-format off
        {-5, -1, 0}, {100, -1, 4}, {2, -1, 2}, {-1, 2, 3}, {-10, 2, 0}, {1, 1, 1}, {-2, 1, 0},
        {1, 0, 1}, {0, 7, 4}, {-2147483648LL, -1, -1}, {2147483647LL, -1, -1},
        {-2147483647LL, -1, 0}, {2147483646LL, -1, 4}, {2147483647LL, 0, -1}, {INT64_MIN, 1, -1},
        {INT64_MAX, 2, -1}};
    // clang-format on
    for (const Row& r : rows) {
        std::int64_t before = b.tellg();
        int got = r.whence < 0 ? b.seekg(r.offset) : b.seekg(r.offset, r.whence);
        EXPECT_EQ(got, r.expect) << r.offset << " " << r.whence;
        EXPECT_EQ(b.tellg(), got < 0 ? before : got);
        EXPECT_FALSE(b.eof()); // seeking never sets the flag
    }
    b.seekg(3);
    EXPECT_EQ(b.get(), 'd');
    EXPECT_EQ(b.get(), -1);
    EXPECT_TRUE(b.eof());
}

TEST(nvbufTest, TakeAndWriteSharedBlock) {
    SharedBlockToken heap(100, 3);
    SharedBlockManager* m = heap.get();
    ASSERT_NE(m, nullptr);
    const std::int64_t size = m->getBlockSize();
    struct Row {
        std::int64_t length;
        std::int64_t written;
    } rows[] = {{10, 10}, {size + 50, size}, {0, 0}, {-5, 0}};
    for (const Row& r : rows) {
        void* data = nullptr;
        std::int64_t block = -1;
        ASSERT_EQ(m->alloc(&data, &block), SBM_OK);
        std::memset(data, 'k', std::size_t(size));
        ASSERT_EQ(m->release(block), SBM_OK);
        nvstrbuf out;
        EXPECT_EQ(out.takeAndwriteSharedBlock(heap.getId(), block, r.length), r.written);
        EXPECT_EQ(std::string(out.data(), std::size_t(out.length())),
                  std::string(std::size_t(r.written), 'k'));
        EXPECT_EQ(m->numBlocksAllocated(), 0); // released and freed
    }
    nvstrbuf out;
    EXPECT_EQ(out.takeAndwriteSharedBlock(heap.getId(), 1, 10), 0);        // a free block
    EXPECT_EQ(out.takeAndwriteSharedBlock(heap.getId() + 1000, 0, 10), 0); // no manager
    EXPECT_EQ(out.takeAndwriteSharedBlock(-1, 0, 10), 0);
    nvfbuf closed; // a closed file writes nothing; the block is still freed
    void* data = nullptr;
    std::int64_t block = -1;
    ASSERT_EQ(m->alloc(&data, &block), SBM_OK);
    m->release(block);
    EXPECT_EQ(closed.takeAndwriteSharedBlock(heap.getId(), block, 10), 0);
    EXPECT_EQ(m->numBlocksAllocated(), 0);
}

} // namespace
