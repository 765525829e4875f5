#include <nvsupport/numeric/Random.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

TEST(RandomTest, SequenceFromSeedOne) {
    RandomSeed seed = 1;
    EXPECT_EQ(sp_Random(&seed), 16807);
    EXPECT_EQ(sp_Random(&seed), 282475249);
    // The low 31 bits of the product, not the product reduced modulo 2147483647 (1622650073).
    EXPECT_EQ(sp_Random(&seed), 1622647863);
    EXPECT_EQ(seed, std::int64_t{282475249} * 16807); // the stored seed is not reduced
    EXPECT_EQ(sp_Random(&seed), 984930959);
    EXPECT_EQ(seed, std::int64_t{1622650073} * 16807);
}

TEST(RandomTest, ZeroSeedStaysZero) {
    RandomSeed seed = 0;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(sp_Random(&seed), 0);
        EXPECT_EQ(seed, 0);
    }
    seed = 2147483647; // a multiple of the modulus reduces to zero
    EXPECT_EQ(sp_Random(&seed), 0);
    EXPECT_EQ(seed, 0);
    EXPECT_EQ(sp_Random(nullptr), 0);
}

TEST(RandomTest, NegativeAndExtremeSeeds) {
    // The remainder keeps the sign of the seed; the result is still the low 31 bits.
    RandomSeed seed = -1;
    EXPECT_EQ(sp_Random(&seed), 2147466841); // -16807 & 0x7FFFFFFF
    EXPECT_EQ(seed, -16807);
    EXPECT_EQ(sp_Random(&seed), 1865008399); // -282475249 & 0x7FFFFFFF
    EXPECT_EQ(seed, -282475249);

    seed = -2147483648LL;
    EXPECT_EQ(sp_Random(&seed), (-1 * 16807) & 0x7FFFFFFF);
    EXPECT_EQ(seed, -16807);

    for (RandomSeed start :
         {std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max(),
          RandomSeed{-123456789}, RandomSeed{987654321012345}}) {
        seed = start;
        for (int i = 0; i < 1000; ++i) {
            const RandomSeed before = seed;
            const long r = sp_Random(&seed);
            ASSERT_GE(r, 0);
            ASSERT_LE(r, 2147483647);
            ASSERT_EQ(seed, (before % 2147483647) * 16807);
            ASSERT_EQ(r, seed & 0x7FFFFFFF);
        }
    }
}
