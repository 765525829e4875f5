#include <nvsupport/Os/Posix/Environment.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

constexpr const char* kName = "NVSUPPORT_ENVIRONMENT_TEST";

TEST(EnvironmentTest, SetGetDeleteRoundTrip) {
    sp_DeleteEnv(kName);
    bool found = true;
    EXPECT_STREQ(*sp_GetEnv(kName, &found), "");
    EXPECT_FALSE(found);
    EXPECT_STREQ(*sp_GetEnv(kName, nullptr), "");

    ASSERT_TRUE(sp_SetEnv(kName, "a=b c\xE9"));
    EXPECT_STREQ(*sp_GetEnv(kName, &found), "a=b c\xE9");
    EXPECT_TRUE(found);
    EXPECT_STREQ(std::getenv(kName), "a=b c\xE9");   // the process environment itself
    sp_GetEnv("nvsupport_environment_test", &found); // names are case-sensitive here
    EXPECT_FALSE(found);

    ASSERT_TRUE(sp_SetEnv(kName, "")); // an empty value still exists
    EXPECT_STREQ(*sp_GetEnv(kName, &found), "");
    EXPECT_TRUE(found);

    sp_DeleteEnv(kName);
    sp_GetEnv(kName, &found);
    EXPECT_FALSE(found);
    EXPECT_EQ(std::getenv(kName), nullptr);
}

TEST(EnvironmentTest, BadNamesFailAndLongValuesAreCut) {
    bool found = true;
    for (const char* bad : {"", "A=B", "="}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(sp_SetEnv(bad, "x"));
        found = true;
        EXPECT_STREQ(*sp_GetEnv(bad, &found), "");
        EXPECT_FALSE(found);
        sp_DeleteEnv(bad);
    }

    std::string huge(40000, 'v');
    ASSERT_TRUE(sp_SetEnv(kName, huge.c_str()));
    JString cut = sp_GetEnv(kName, &found);
    EXPECT_TRUE(found);
    EXPECT_EQ(cut.length(), 32767);
    EXPECT_EQ(std::string(*cut), huge.substr(0, 32767));
    sp_DeleteEnv(kName);
}

} // namespace
