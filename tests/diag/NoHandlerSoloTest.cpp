// Reports made before any handler is published go to the fallback for good: this program
// must be alone in its process, since the lookup happens once.
#include <nvsupport/Os/Posix/DynamicFunction.h>
#include <nvsupport/diag/ErrorReport.h>

#include <gtest/gtest.h>

namespace {

class Loud : public MessageHandler {
public:
    int calls = 0;

private:
    void finalOutput(MessageType, const JString&) override { ++calls; }
};
Loud g_loud;
MessageHandler* loud() {
    return &g_loud;
}

TEST(NoHandlerTest, ReportsVanishIntoTheFallback) {
    auto* fallback = dynamic_cast<NullMessageHandler*>(sp_GetCurrentMessageHandler());
    ASSERT_NE(fallback, nullptr);
    nv_printf("nothing %d", 1);
    EXPECT_FALSE(fallback->haveErrors());
    check_error("x", "m", 1);
    EXPECT_TRUE(fallback->haveErrors());
    // A handler published after the first report is not seen.
    MakeDynamicFunction late(reinterpret_cast<void*>(loud), "getDefaultMessageHandler");
    internal_error("still %s", "dropped");
    EXPECT_EQ(g_loud.calls, 0);
    EXPECT_EQ(sp_GetCurrentMessageHandler(), fallback);
}

} // namespace
