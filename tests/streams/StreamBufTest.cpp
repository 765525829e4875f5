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
#include <functional>
#include <iterator>
#include <string>
#include <tuple>

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

TEST(nvfbufTest, OpenModes) {
    TempDir dir;
    const std::string p = dir / "f.txt";
    // The bits, the fopen mode, and the file after writing "XY" over "old\n" (null: the
    // file is read-only and keeps its text).
    const std::tuple<int, const char*, const char*> rows[] = {
        // clang-format off
        {0, "r", nullptr}, {R, "r", nullptr}, {W, "w", "XY"}, {R | W, "w+", "XY"},
        {A, "a", "old\nXY"}, {R | A, "r", nullptr}, {W | A, "a", "old\nXY"},
        {R | W | A, "a+", "old\nXY"}, {W | B, "wb", "XY"}, {R | B, "rb", nullptr},
        {R | W | B, "w+b", "XY"}, {R | W | A | B, "a+b", "old\nXY"}, {W | D, "w", "XY"},
        {W | A | D, "a", "old\nXY"}, // the delete bit applies to "w" and "w+" only
        {0x4 | 0x10, "r", nullptr},
        // clang-format on
    };
    for (const auto& [mode, fopenMode, after] : rows) {
        SCOPED_TRACE(mode);
        EXPECT_STREQ(nvsupport::detail::fopenModeFor(mode), fopenMode);
        spill(p, "old\n");
        nvfbuf b(p.c_str(), mode, false);
        ASSERT_TRUE(b);
        b.write("XY", 2);
        const std::string expect = after ? after : "old\n";
        if (!after || std::strchr(fopenMode, '+')) { // readable: reads back the file
            EXPECT_EQ(b.seekg(0), 0);
            EXPECT_EQ(readAll(b), expect);
        }
        b.close();
        EXPECT_EQ(slurp(p), expect);
    }
    for (int mode : {R, R | A, W, A}) { // a missing file is created by "w" and "a" only
        unlink(p.c_str());
        EXPECT_EQ(bool(nvfbuf(p.c_str(), mode, false)), mode == W || mode == A) << mode;
    }
    EXPECT_FALSE(nvfbuf(nullptr, W, false)); // no path, or an empty one, opens nothing
    EXPECT_FALSE(nvfbuf("", W, false));
}

TEST(nvfbufTest, DeleteBeforeCreate) {
    TempDir dir;
    const std::string p = dir / "f", link = dir / "hardlink";
    for (int mode : {W | D, R | W | D, W | B | D}) {
        unlink(link.c_str());
        spill(p, "old");
        ASSERT_EQ(::link(p.c_str(), link.c_str()), 0);
        nvfbuf b(p.c_str(), mode, false);
        EXPECT_EQ(b.write("new", 3), 3u);
        b.close();
        // The old file lives on under its second name: it was deleted, not truncated.
        EXPECT_EQ(slurp(p) + "|" + slurp(link), "new|old") << mode;
    }
    // A file that cannot be deleted leaves the buffer closed, though it could be written.
    const int rc = nvtest::asUnprivileged(dir.path, [&]() {
        const std::string sub = dir / "ro", f = sub + "/f";
        if (mkdir(sub.c_str(), 0755) != 0)
            return 10;
        spill(f, "keep");
        chmod(f.c_str(), 0666);
        chmod(sub.c_str(), 0555);
        return nvfbuf(f.c_str(), W | D, false) ? 1 : nvfbuf(f.c_str(), W, false) ? 0 : 2;
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
    EXPECT_GE(b.fd(), 0);
    b.put('\xFF');
    b.write("bcdef", 5);
    EXPECT_EQ(b.tellg(), 6);
    EXPECT_EQ(b.seekg(-2, SEEK_END), 0);
    EXPECT_EQ(b.get(), 'e');
    EXPECT_EQ(b.seekg(0), 0);
    EXPECT_EQ(b.get(), 0xFF); // bytes of a file come as 0..255
    EXPECT_EQ(b.seekg(1, 7) + b.seekg(-10), -2);
    EXPECT_EQ(b.seekg(2), 0);
    EXPECT_EQ(b.writeAt(0, "A", 1), 1u); // in place, and back
    EXPECT_EQ(b.tellg(), 2);
    b.seekg(0, SEEK_END);
    EXPECT_EQ(b.takeAndWrite(new char[2]{'x', 'y'}, 2), 2u); // owns and frees it (ASan)
    EXPECT_TRUE(b.get() == -1 && b.eof());
    FILE* f = b.detach();
    EXPECT_FALSE(b);
    std::fclose(f);
    EXPECT_EQ(slurp(p), "Abcdefxy");

    // 64-bit positions: seek past 4 GB in a sparse file.
    nvfbuf big((dir / "big").c_str(), W, false);
    const std::int64_t far = (std::int64_t(1) << 32) + 7;
    ASSERT_EQ(big.seekg(far), 0);
    EXPECT_EQ(big.write("z", 1), 1u);
    EXPECT_EQ(big.tellg(), far + 1);
}

TEST(nvfbufTest, LockTakenByOpen) {
    TempDir dir;
    const std::string p = dir / "locked.txt";
    nvfbuf first(p.c_str(), W, true), second(p.c_str(), R, true);
    ASSERT_TRUE(first);
    EXPECT_EQ(access((p + ".lck").c_str(), F_OK), 0);
    EXPECT_FALSE(second);                     // the path is locked by the first buffer
    EXPECT_TRUE(nvfbuf(p.c_str(), R, false)); // a lock does not stop buffers not asking
    FILE* f = first.detach();                 // detach keeps the lock
    EXPECT_FALSE(nvfbuf(p.c_str(), R, true));
    std::fclose(f);
    first.open(p.c_str(), R, false); // re-opening without a lock lets the old one go
    EXPECT_TRUE(second.open(p.c_str(), R, true));
    second.close();
    EXPECT_NE(access((p + ".lck").c_str(), F_OK), 0);
    // A failed open does not keep a lock.
    EXPECT_FALSE(nvfbuf((dir / "nothere").c_str(), R, true));
    EXPECT_TRUE(nvfbuf((dir / "nothere").c_str(), W, true));
}

TEST(nvstrbufTest, ConstructionReadWriteAndLimits) {
    nvstrbuf empty, nul(nullptr), withNuls("a\0b", 3), text("abc"), neg("abc", -1);
    EXPECT_EQ(empty.length() + nul.length() + neg.length(), 0);
    EXPECT_EQ(text.length(), 3);
    ASSERT_EQ(withNuls.length(), 3);
    EXPECT_EQ(withNuls.get() + withNuls.get(), 'a'); // 'a', then the NUL
    EXPECT_TRUE(text && !text.fail());

    nvstrbuf b("\xFF"
               "b");
    char buf[8];
    // Each step's result and the end-of-input flag after it (E): 0xFF reads as -1 (a signed
    // char widened) without being the end; only finding nothing unread sets the flag, and a
    // write clears it.
    const std::function<int()> ops[] = {[&] { return b.get(); },
                                        [&] { return int(b.read(buf, 8)); },
                                        [&] { return int(b.read(buf, 8)); },
                                        [&] { return int(b.write("cd", 2)); },
                                        [&] { return int(b.read(buf, 1)); },
                                        [&] { return b.get(); },
                                        [&] { return b.get(); }};
    std::string trace;
    for (const auto& op : ops) {
        trace += std::to_string(op());
        trace += b.eof() ? "E " : " ";
    }
    EXPECT_EQ(trace, "-1 1 0E 2 1 100 -1E ");
    EXPECT_EQ(b.write("x", 0x7FFFFFFF) + b.write("x", 0xFFFFFFFF), 0u);
    EXPECT_EQ(b.seekg(0), 0);
    EXPECT_EQ(b.read(buf, 0x7FFFFFFF), 0u);
    EXPECT_EQ(b.read(buf, 2), 2u);
    EXPECT_EQ(b.length(), 4);
}

TEST(nvstrbufTest, SeekClampsAndLimits) {
    nvstrbuf b("abcd");
    // Offset, whence (-1: seekg(pos)), result.
    const std::tuple<std::int64_t, int, int> rows[] = {
        // clang-format off
        {-5, -1, 0}, {100, -1, 4}, {2, -1, 2}, {-1, 2, 3}, {-10, 2, 0}, {1, 1, 1}, {-2, 1, 0},
        {1, 0, 1}, {0, 7, 4}, {-2147483648LL, -1, -1}, {2147483647LL, -1, -1},
        {-2147483647LL, -1, 0}, {2147483646LL, -1, 4}, {2147483647LL, 0, -1}, {INT64_MIN, 1, -1},
        {INT64_MAX, 2, -1},
        // clang-format on
    };
    for (const auto& [offset, whence, expect] : rows) {
        const std::int64_t before = b.tellg();
        const int got = whence < 0 ? b.seekg(offset) : b.seekg(offset, whence);
        EXPECT_EQ(got, expect) << offset << " " << whence;
        EXPECT_EQ(b.tellg(), got < 0 ? before : got);
        EXPECT_FALSE(b.eof()); // seeking never sets the flag
    }
    EXPECT_TRUE(b.seekg(3) == 3 && b.get() == 'd' && b.get() == -1 && b.eof());
}

TEST(nvbufTest, TakeAndWriteSharedBlock) {
    SharedBlockToken heap(100, 3);
    SharedBlockManager* m = heap.get();
    ASSERT_NE(m, nullptr);
    const std::int64_t size = m->getBlockSize();
    const auto releasedBlock = [&] { // a block of 'k' bytes, ready to be taken
        void* data = nullptr;
        std::int64_t block = -1;
        EXPECT_EQ(m->alloc(&data, &block), SBM_OK);
        std::memset(data, 'k', std::size_t(size));
        EXPECT_EQ(m->release(block), SBM_OK);
        return block;
    };
    for (const auto& [length, written] :
         {std::pair<std::int64_t, std::int64_t>{10, 10}, {size + 50, size}, {0, 0}, {-5, 0}}) {
        nvstrbuf out;
        EXPECT_EQ(out.takeAndwriteSharedBlock(heap.getId(), releasedBlock(), length), written);
        EXPECT_EQ(std::string(out.data(), std::size_t(out.length())),
                  std::string(std::size_t(written), 'k'));
        EXPECT_EQ(m->numBlocksAllocated(), 0); // released and freed
    }
    nvstrbuf out;
    EXPECT_EQ(out.takeAndwriteSharedBlock(heap.getId(), 1, 10), 0);        // a free block
    EXPECT_EQ(out.takeAndwriteSharedBlock(heap.getId() + 1000, 0, 10), 0); // no manager
    EXPECT_EQ(out.takeAndwriteSharedBlock(-1, 0, 10), 0);
    nvfbuf closed; // a closed file writes nothing; the block is still freed
    EXPECT_EQ(closed.takeAndwriteSharedBlock(heap.getId(), releasedBlock(), 10), 0);
    EXPECT_EQ(m->numBlocksAllocated(), 0);
}

} // namespace
