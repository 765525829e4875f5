#include <nvsupport/core/Buf.h>
#include <nvsupport/core/CharQueue.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

TEST(BufTest, GrowsKeepsTerminatorAndDetaches) {
    Buf b(2);
    std::string want;
    for (int i = 0; i < 1000; ++i) {
        b.add(static_cast<char>('a' + i % 26));
        want += static_cast<char>('a' + i % 26);
    }
    EXPECT_EQ(b.getLength(), 1000);
    EXPECT_EQ(std::string(*b), want);
    b.append("xyz");
    b.append(nullptr);
    b.remove(3);
    EXPECT_EQ(std::string(*b), want);
    Buf copy(b);
    b.remove(10000);
    EXPECT_EQ(b.getLength(), 0);
    EXPECT_STREQ(*b, "");
    EXPECT_EQ(copy.getLength(), 1000);
    char* taken = copy.detach();
    EXPECT_EQ(std::string(taken), want);
    std::free(taken);
    EXPECT_STREQ(*copy, "");
    copy.append("again");
    copy.flush();
    EXPECT_EQ(copy.getLength(), 0);
    Buf small(3);
    small.append("abc");
    small.remove(10);
    EXPECT_STREQ(*small, "");
}

TEST(CharQueueTest, PopsInOrderCompactsAndResets) {
    CharQueue q;
    q.add('a');
    q.add('b');
    q.add('c');
    EXPECT_EQ(q.pop(), 'a');
    EXPECT_EQ(q.getLength(), 2);
    EXPECT_STREQ(*q, "bc");
    EXPECT_EQ(q.pop(), 'b');
    EXPECT_EQ(q.pop(), 'c');
    EXPECT_TRUE(q.isEmpty());
    EXPECT_EQ(q.pop(), 0);
    EXPECT_EQ(q.getLength(), 0);
    // Producing and consuming far more than the buffer holds keeps the order.
    std::string out;
    for (int i = 0; i < 5000; ++i) {
        q.add(static_cast<char>('0' + i % 10));
        if (i % 3 == 0)
            out += q.pop();
    }
    while (!q.isEmpty())
        out += q.pop();
    ASSERT_EQ(out.size(), 5000u);
    for (int i = 0; i < 5000; ++i)
        ASSERT_EQ(out[i], '0' + i % 10) << i;
    q.add('z');
    q.flush();
    EXPECT_TRUE(q.isEmpty());
}

} // namespace
