#include <nvsupport/core/WordArray.h>
#include <nvsupport/core/WordArray_p.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using nvsupport::detail::wordVectorPoolSize;

TEST(WordArrayTest, SkipsProgramNameAndNullWords) {
    char prog[] = "prog", a[] = "a", b[] = "b";
    char* argv[] = {prog, a, nullptr, b};
    WordArray w(4, argv);
    EXPECT_EQ(w.getCount(), 2);
    EXPECT_EQ(w.size(), w.numElems());
    EXPECT_STREQ(*w[0], "a");
    EXPECT_STREQ(*w[1], "b");
    EXPECT_STREQ(*w[5], "");
    EXPECT_STREQ(*w.getFlattenedLine(), "a b");
    EXPECT_EQ(w.integer(5, 7), 7);
    EXPECT_STREQ(w.string(5, "def"), "def");
    EXPECT_STREQ(w.string(0, "def"), "a"); // the caller's own string
    EXPECT_EQ(w.string(0, nullptr), a);
    EXPECT_EQ(WordArray(1, argv).getFlattenedLine(), "");
    EXPECT_EQ(WordArray(3, nullptr).getCount(), 0);
}

TEST(WordArrayTest, TypedAccessors) {
    char p[] = "p", r[] = "4k7", i[] = "-12x", big[] = "99999999999", empty[] = "";
    char* argv[] = {p, r, i, big, empty};
    WordArray w(5, argv);
    EXPECT_DOUBLE_EQ(w.real(0, 1), 4700.000000000001);
    EXPECT_DOUBLE_EQ(w.real(9, 1.5), 1.5);
    EXPECT_EQ(w.integer(1, 0), -12);
    EXPECT_EQ(w.integer(2, 0), 2147483647); // saturates instead of overflowing
    YList<int> none, valid, withEmpty;
    valid.push_back(0);
    valid.push_back(40);
    withEmpty.push_back(-3);
    withEmpty.push_back(3);
    EXPECT_FALSE(w.argsAreEmpty(none));
    EXPECT_FALSE(w.argsAreEmpty(valid));
    EXPECT_TRUE(w.argsAreEmpty(withEmpty));
}

TEST(WordArrayTest, VectorsAreRecycledThroughThePool) {
    std::vector<std::string> storage(120, "w");
    std::vector<char*> argv;
    for (std::string& s : storage)
        argv.push_back(s.data());
    int pooled = wordVectorPoolSize();
    {
        WordArray big(120, argv.data()); // grows past the first 50 words
        EXPECT_EQ(big.size(), 119);
        EXPECT_EQ(wordVectorPoolSize(), pooled > 0 ? pooled - 1 : 0);
    }
    int after = wordVectorPoolSize();
    EXPECT_EQ(after, pooled > 0 ? pooled : 1);
    {
        WordArray a(3, argv.data()), b(3, argv.data());
        EXPECT_EQ(wordVectorPoolSize(), after >= 2 ? after - 2 : 0);
        EXPECT_STREQ(*a.getFlattenedLine(), "w w");
    }
    EXPECT_EQ(wordVectorPoolSize(), after >= 2 ? after : 2);
}

} // namespace
