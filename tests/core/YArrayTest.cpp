#include <nvsupport/core/JString.h>
#include <nvsupport/core/NameArray.h>
#include <nvsupport/core/YArray.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> texts(const YArray<JString>& a) {
    std::vector<std::string> out;
    for (const JString& s : a)
        out.push_back(*s);
    return out;
}

TEST(YArrayDataTest, GrowsByHalfAndClampsInsertions) {
    YArrayData d(0);
    EXPECT_EQ(d.capacity(), 1);
    std::vector<int> capacities;
    int items[20];
    for (int i = 0; i < 14; ++i) {
        d.addDataAt(&items[i], d.count());
        capacities.push_back(d.capacity());
    }
    EXPECT_EQ(capacities, (std::vector<int>{1, 2, 3, 4, 6, 6, 9, 9, 9, 13, 13, 13, 13, 19}));
    YArrayData ten(10);
    for (int i = 0; i < 11; ++i)
        ten.addDataAt(&items[0], 0);
    EXPECT_EQ(ten.capacity(), 15);
    for (int i = 11; i < 16; ++i)
        ten.addDataAt(&items[0], 0);
    EXPECT_EQ(ten.capacity(), 22);

    YArrayData three(3);
    three.addDataAt(&items[0], 0);
    three.addDataAt(&items[1], 1);
    three.addDataAt(&items[2], 2);
    EXPECT_EQ(three.addDataAt(&items[3], -5), 0);
    EXPECT_EQ(three.addDataAt(&items[4], 99), 4);
    EXPECT_EQ(three.slot(0), &items[3]);
    EXPECT_EQ(three.slot(4), &items[4]);
    three.removeDataItemAt(0);
    EXPECT_EQ(three.count(), 4);
    EXPECT_EQ(three.slot(0), &items[0]);
    EXPECT_EQ(three.slot(4), nullptr); // slots past the count are null
    three.removeDataItemAt(7);         // out of range: nothing
    EXPECT_EQ(three.count(), 4);
}

TEST(YArrayTest, OwnsCopiesAndCopiesDeeply) {
    YArray<JString> a(0);
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(a.add("b"), 0);
    EXPECT_EQ(a.insertAt(-1, "a"), 0);
    EXPECT_EQ(a.insertAt(99, "d"), 2);
    EXPECT_EQ(a.insertAt(2, "c"), 2);
    EXPECT_EQ(texts(a), (std::vector<std::string>{"a", "b", "c", "d"}));

    YArray<JString> b(a);
    b[0] = "changed";
    b.removeAt(3);
    b.removeAt(-1);
    EXPECT_EQ(texts(a), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(texts(b), (std::vector<std::string>{"changed", "b", "c"}));
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
    EXPECT_TRUE(absent.compare(empty));
    EXPECT_TRUE(empty.compare(absent));
    ab.add("A");
    ab.add("b");
    AB.add("a");
    AB.add("B");
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
