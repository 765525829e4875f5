#include <nvsupport/Os/Posix/DynamicFunction.h>
#include <nvsupport/diag/ErrorReport.h>
#include <nvsupport/diag/MessageHandler.h>
#include <nvsupport/diag/NorvaneException.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

using Seen = std::vector<std::pair<MessageType, std::string>>;

// Records what reaches the destination.
class RecordingHandler : public MessageHandler {
public:
    Seen seen;

private:
    void finalOutput(MessageType type, const JString& text) override {
        seen.emplace_back(type, *text);
    }
};

RecordingHandler g_host;
MessageHandler* hostHandler() {
    return &g_host;
}
// Published before any report of this program, as a host does at start-up.
MakeDynamicFunction g_publish(reinterpret_cast<void*>(hostHandler), "getDefaultMessageHandler");

std::string fileText(FILE* f) {
    std::string out(static_cast<std::size_t>(std::ftell(f)), '\0');
    std::rewind(f);
    out.resize(std::fread(out.data(), 1, out.size(), f));
    return out;
}

TEST(MessageHandlerTest, KindsGetTheirPrefixes) {
    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    FileMessageHandler h;
    h.error("dropped %d", 1); // nothing attached yet
    h.attach(f);
    h.error("x=%d", 3);
    h.warning("w");
    h.unexpected("u");
    h.info("i");
    h.printf("raw %s", "text");
    h.formattedOutput(Fatal, "f");
    h.formattedOutput(Raw, "r");
    h.rawOutput(Error, "unformatted");
    EXPECT_EQ(fileText(f), "Error : x=3\nWarning : w\n"
                           "Unexpected error, please contact support : u\n"
                           "i\nraw textFatal Error : f\nrunformatted");
    std::fclose(f);

    RecordingHandler r;
    for (int kind : {6, -1})
        r.formattedOutput(static_cast<MessageType>(kind), "lost");
    EXPECT_EQ(r.seen,
              (Seen{{static_cast<MessageType>(6), ""}, {static_cast<MessageType>(-1), ""}}));
}

TEST(MessageHandlerTest, NullHandlerOnlyRemembersErrors) {
    NullMessageHandler n;
    n.info("i");
    n.printf("p");
    n.formattedOutput(Raw, "r");
    EXPECT_FALSE(n.haveErrors());
    for (MessageType t : {Warning, Error, Unexpected, Fatal}) {
        NullMessageHandler m;
        m.formattedOutput(t, "x");
        EXPECT_TRUE(NullMessageHandler(m).haveErrors()) << t; // the copy keeps the flag
    }
}

TEST(MessageHandlerTest, FreeFunctionsUseThePublishedHandler) {
    g_host.seen.clear();
    FILE* other = std::tmpfile();
    ASSERT_NE(other, nullptr);
    nv_printf("a%d", 1);
    printf_nv("b");
    nv_fprintf(stdout, "out %s", "x");
    nv_fprintf(stderr, "err %d", 2);
    nv_fprintf(other, "direct %d", 3);
    internal_error("Error found in module %s, line %d", "netlist", 42);
    check_error("p != 0", "streams", 7);
    EXPECT_EQ(fileText(other), "direct 3");
    std::fclose(other);
    const std::string u = "Unexpected error, please contact support : ";
    EXPECT_EQ(g_host.seen,
              (Seen{{Raw, "a1"},
                    {Raw, "b"},
                    {Raw, "out x"},
                    {Error, "err 2"},
                    {Unexpected, u + "Error found in module netlist, line 42\n"},
                    {Unexpected, u + "Test p != 0 failed in module streams, line 7\n"}}));
    EXPECT_EQ(sp_GetCurrentMessageHandler(), &g_host);
}

TEST(ErrorListTest, NewestFirstCaseBlindDuplicatesAndCut) {
    YList<JString> list;
    sp_AddError(&list, "BAD NODE");
    sp_AddError(&list, "Bad %s", "node");
    sp_AddError(&list, "Other %d", 1);
    ASSERT_EQ(list.size(), 2);
    EXPECT_STREQ(*list.front(), "Other 1");
    sp_WriteErrorList(&list, "Bad %s", "node");
    sp_WriteErrorList(&list, "Bad %s", "node");
    EXPECT_EQ(list.size(), 4);
    EXPECT_STREQ(*list.front(), "*** ERROR *** Bad node");

    const std::string huge(5000, 'x');
    YList<JString> cut;
    sp_AddError(&cut, "%s", huge.c_str());
    EXPECT_EQ(cut.front().length(), 511);
    sp_WriteErrorList(&cut, "%s", huge.c_str()); // no limit here
    EXPECT_EQ(cut.front().length(), 5000 + 14);
    sp_AddError(nullptr, "ignored");
    sp_WriteErrorList(nullptr, "ignored");
}

TEST(NorvaneExceptionTest, CarriesKindAndText) {
    try {
        throw MemoryException("Could not map shared heap");
    } catch (const NorvaneException& e) {
        EXPECT_EQ(e.type, Fatal);
        EXPECT_STREQ(e.text, "*** Fatal error, out of memory ***\nCould not map shared heap");
        EXPECT_STREQ(e.what(), e.text);
    }
    EXPECT_EQ(std::string(NorvaneException(Warning, std::string(3000, 'y').c_str()).text).size(),
              999u);
}

} // namespace
