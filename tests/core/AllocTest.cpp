#include <nvsupport/core/Alloc.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

// Allocates, dirties and frees a block of `size` bytes, so that the heap is likely to hand
// the same dirty memory out again.
void dirtyHeap(unsigned size) {
    void* p = std::malloc(size);
    ASSERT_NE(p, nullptr);
    std::memset(p, 0xAB, size);
    std::free(p);
}

bool allZero(const void* p, unsigned size) {
    const unsigned char* b = static_cast<const unsigned char*>(p);
    for (unsigned i = 0; i < size; ++i)
        if (b[i] != 0)
            return false;
    return true;
}

} // namespace

TEST(AllocTest, TmallocZeroFills) {
    EXPECT_EQ(tmalloc(0), nullptr);
    for (unsigned size : {1u, 16u, 100u, 1000u, 70000u}) {
        dirtyHeap(size);
        void* p = tmalloc(size);
        ASSERT_NE(p, nullptr) << size;
        EXPECT_TRUE(allZero(p, size)) << size;
        txfree(p);
    }
}

TEST(AllocTest, TreallocNullAndZeroSize) {
    dirtyHeap(16);
    void* p = trealloc(nullptr, 16);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(allZero(p, 16));

    // Size 0 frees the block (the leak checker of sanitizer builds would notice if not).
    EXPECT_EQ(trealloc(p, 0), nullptr);
    EXPECT_EQ(trealloc(nullptr, 0), nullptr);
}

TEST(AllocTest, TreallocKeepsContents) {
    char* p = static_cast<char*>(tmalloc(8));
    ASSERT_NE(p, nullptr);
    std::memcpy(p, "abcdefg", 8);
    p = static_cast<char*>(trealloc(p, 100000));
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(p, "abcdefg");
    p[99999] = 'z'; // the whole new size is usable
    p = static_cast<char*>(trealloc(p, 4));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::memcmp(p, "abcd", 4), 0);
    txfree(p);
    txfree(nullptr);
}
