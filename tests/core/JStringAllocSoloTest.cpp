// Counts heap calls made by JString. This program replaces malloc, realloc and free for
// the whole process, so it runs alone, and not under AddressSanitizer (which owns them).
#include <nvsupport/core/JString.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#define NV_COUNT_ALLOCATIONS 0
#else
#define NV_COUNT_ALLOCATIONS 1
#endif

namespace {
struct Counts {
    int mallocs = 0;
    int reallocs = 0;
    int frees = 0;
};
thread_local bool g_counting = false;
thread_local Counts g_counts;
} // namespace

#if NV_COUNT_ALLOCATIONS
extern "C" {
void* __libc_malloc(size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);

void* malloc(size_t n) {
    if (g_counting)
        ++g_counts.mallocs;
    return __libc_malloc(n);
}
void* realloc(void* p, size_t n) {
    if (g_counting)
        ++g_counts.reallocs;
    return __libc_realloc(p, n);
}
void free(void* p) {
    if (g_counting && p)
        ++g_counts.frees;
    __libc_free(p);
}
}
#endif

namespace {

template <class F> Counts count(F f) {
    g_counts = {};
    g_counting = true;
    f();
    g_counting = false;
    return g_counts;
}

TEST(JStringAllocTest, EmptyStringsAllocateNothing) {
    if (!NV_COUNT_ALLOCATIONS)
        GTEST_SKIP() << "allocation counting is off under AddressSanitizer";
    Counts c = count([] {
        JString a, b(""), d(static_cast<const char*>(nullptr)), e("abc", 0);
        JString f(a);
        f = b;
        f = "";
        JString g(std::move(f));
    });
    EXPECT_EQ(c.mallocs + c.reallocs + c.frees, 0);
}

TEST(JStringAllocTest, CopiesAndAssignmentsAllocateNothing) {
    if (!NV_COUNT_ALLOCATIONS)
        GTEST_SKIP() << "allocation counting is off under AddressSanitizer";
    JString a("some text of a modest length");
    Counts c = count([&] {
        JString b(a);
        JString d;
        d = b;
        d = a;
    });
    EXPECT_EQ(c.mallocs + c.reallocs + c.frees, 0);
}

TEST(JStringAllocTest, ConcatChainAllocatesOneBlockAndGrowsIt) {
    if (!NV_COUNT_ALLOCATIONS)
        GTEST_SKIP() << "allocation counting is off under AddressSanitizer";
    JString a("R1");
    bool right = false;
    Counts c = count([&] {
        JString r(a.concat(" n1").concat(" n2").concat(" 4k7").concat(" tc=1"));
        right = std::strcmp(*r, "R1 n1 n2 4k7 tc=1") == 0;
    });
    EXPECT_TRUE(right);
    // One block at most, grown (not replaced) for each later piece and freed with the
    // string; the carrier object is recycled by the thread, so it costs at most one more.
    EXPECT_LE(c.mallocs, 2);
    EXPECT_GE(c.mallocs, 1);
    EXPECT_LE(c.reallocs, 3);
    EXPECT_LE(c.mallocs - c.frees, 1);
    // A second chain finds the carrier recycled: exactly one block.
    c = count([&] { JString r(a.concat("x").concat("y")); });
    EXPECT_EQ(c.mallocs, 1);
    EXPECT_EQ(c.frees, 1);
}

TEST(JStringAllocTest, EditingAnOwnedBlockDoesNotCopyIt) {
    if (!NV_COUNT_ALLOCATIONS)
        GTEST_SKIP() << "allocation counting is off under AddressSanitizer";
    JString s("Hello World");
    Counts c = count([&] {
        s.toupper();
        s.tolower();
        s[0] = 'J';
    });
    EXPECT_EQ(c.mallocs, 0);
    EXPECT_STREQ(*s, "Jello world");
}

} // namespace
