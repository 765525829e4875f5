#include <nvsupport/core/HashTable_p.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using nvsupport::detail::ChainedHashTable;
using nvsupport::detail::nextHashTablePrime;

TEST(HashTableTest, NextPrimeFollowsTheList) {
    EXPECT_EQ(nextHashTablePrime(0), 2u);
    EXPECT_EQ(nextHashTablePrime(2), 5u);
    EXPECT_EQ(nextHashTablePrime(101), 197u);
    EXPECT_EQ(nextHashTablePrime(1001), 1597u);
    EXPECT_EQ(nextHashTablePrime(842879579), 1685759167u);
    EXPECT_EQ(nextHashTablePrime(1685759167), 1685759167u); // the last answers for all above
    EXPECT_EQ(nextHashTablePrime(4000000000u), 1685759167u);
}

TEST(HashTableTest, GrowsThroughPrimesAndKeepsEveryEntry) {
    ChainedHashTable<int> t(2, 3); // rebuild once size / 3 exceeds the bucket count
    std::vector<unsigned> counts;
    for (int i = 0; i < 2000; ++i) {
        t.insert(unsigned(i) * 2654435761u, i);
        if (counts.empty() || counts.back() != t.bucketCount())
            counts.push_back(t.bucketCount());
    }
    EXPECT_EQ(counts, (std::vector<unsigned>{2, 5, 11, 23, 47, 97, 197, 397, 797}));
    EXPECT_EQ(t.size(), 2000u);
    std::size_t chained = 0;
    for (unsigned b = 0; b < t.bucketCount(); ++b)
        chained += t.chainLength(b);
    EXPECT_EQ(chained, 2000u);
    for (int i = 0; i < 2000; ++i) {
        int* v = t.find(unsigned(i) * 2654435761u, [&](int x) { return x == i; });
        ASSERT_NE(v, nullptr) << i;
        EXPECT_EQ(*v, i);
    }
}

TEST(HashTableTest, FixedTableNeverGrowsAndRemovesMatches) {
    ChainedHashTable<std::string> t(101, 0);
    for (int i = 0; i < 1000; ++i)
        t.insert(unsigned(i), "v" + std::to_string(i));
    EXPECT_EQ(t.bucketCount(), 101u);
    t.insert(5, "dup");
    // The newest entry is at the front of its chain.
    EXPECT_EQ(*t.find(5, [](const std::string&) { return true; }), "dup");
    EXPECT_EQ(t.remove(5, [](const std::string& s) { return s == "dup" || s == "v5"; }), 2u);
    EXPECT_EQ(t.find(5, [](const std::string&) { return true; }), nullptr);
    EXPECT_EQ(t.size(), 999u);
    int visited = 0;
    t.forEach([&](const std::string&) { ++visited; });
    EXPECT_EQ(visited, 999);
    t.clear();
    EXPECT_EQ(t.size(), 0u);
    EXPECT_EQ(t.chainLength(6), 0u);
}

} // namespace
