#include <nvsupport/core/JString.h>
#include <nvsupport/core/NameArray.h>
#include <nvsupport/core/YArray.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

Strings texts(const YArray<JString>& a) {
    Strings out;
    for (const JString& s : a)
        out.push_back(*s);
    return out;
}

// The capacity after each of `adds` insertions into storage made with room for `n`.
std::vector<int> capacities(int n, int adds) {
    YArrayData d(n);
    std::vector<int> out;
    for (int i = 0; i < adds; ++i, out.push_back(d.capacity()))
        d.addDataAt(&d, i % 2 ? 0 : d.count());
    return out;
}

TEST(YArrayDataTest, GrowsByHalfAndClampsInsertions) {
    EXPECT_EQ(YArrayData(0).capacity(), 1);
    EXPECT_EQ(capacities(0, 14), (std::vector<int>{1, 2, 3, 4, 6, 6, 9, 9, 9, 13, 13, 13, 13, 19}));
    const std::vector<int> ten = capacities(10, 16);
    EXPECT_EQ((std::vector<int>{ten[9], ten[10], ten[15]}), (std::vector<int>{10, 15, 22}));

    int items[5];
    YArrayData three(3);
    for (int i = 0; i < 3; ++i)
        three.addDataAt(&items[i], i);
    EXPECT_EQ(three.addDataAt(&items[3], -5), 0);
    EXPECT_EQ(three.addDataAt(&items[4], 99), 4);
    EXPECT_EQ(three.slot(0), &items[3]);
    EXPECT_EQ(three.slot(4), &items[4]);
    three.removeDataItemAt(0);
    three.removeDataItemAt(7); // out of range: nothing
    EXPECT_EQ(three.count(), 4);
    EXPECT_EQ(three.slot(0), &items[0]);
    EXPECT_EQ(three.slot(4), nullptr); // slots past the count are null
}

TEST(YArrayTest, OwnsCopiesAndCopiesDeeply) {
    YArray<JString> a(0);
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(a.add("b"), 0);
    EXPECT_EQ(a.insertAt(-1, "a"), 0);
    EXPECT_EQ(a.insertAt(99, "d"), 2);
    EXPECT_EQ(a.insertAt(2, "c"), 2);
    YArray<JString> b(a);
    b[0] = "changed";
    b.removeAt(3);
    b.removeAt(-1);
    EXPECT_EQ(texts(a), (Strings{"a", "b", "c", "d"}));
    EXPECT_EQ(texts(b), (Strings{"changed", "b", "c"}));
    a = b;
    EXPECT_EQ(texts(a), texts(b));
    YArray<JString> moved(std::move(a));
    EXPECT_EQ(moved.size(), 3);
    EXPECT_EQ(a.size(), 0); // NOLINT(bugprone-use-after-move): moved-from is empty
    a.add("again");         // and usable
    EXPECT_EQ(a[0], "AGAIN");
    moved.clear();
    EXPECT_TRUE(moved.empty());
}

TEST(NameArrayTest, ComparesCaseBlindAndTreatsAbsentAsEmpty) {
    NameArray absent, empty, ab, AB, a;
    empty.add("x");
    empty.clear();
    EXPECT_EQ(absent.size(), 0);
    EXPECT_TRUE(absent.compare(empty) && empty.compare(absent));
    for (const char* s : {"A", "b"})
        ab.add(s);
    for (const char* s : {"a", "B"})
        AB.add(s);
    a.add("a");
    EXPECT_TRUE(ab.compare(AB));
    EXPECT_FALSE(a.compare(ab));
    EXPECT_FALSE(ab.compare(absent));
    NameArray copy(ab);
    copy.add("c");
    EXPECT_EQ(ab.size(), 2);
    EXPECT_STREQ(*ab[1], "b");
    EXPECT_STREQ(*ab[2], "");
}

} // namespace
