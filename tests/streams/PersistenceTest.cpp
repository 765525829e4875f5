#include <nvsupport/core/JString.h>
#include <nvsupport/streams/nvfstream.h>
#include <nvsupport/streams/nvstrstream.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>

namespace {

template <class Int> std::string field(Int n) {
    return std::string(reinterpret_cast<const char*>(&n), sizeof n);
}

// n bytes that change from byte to byte (no NUL), so a cut in the wrong place shows.
std::string varied(std::size_t n) {
    std::string s(n, ' ');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = char(1 + i % 251);
    return s;
}

} // namespace

TEST(PersistenceTest, RoundTripsInMemoryAndFiles) {
    for (const std::string& t : {std::string(), std::string("\x80\xE9\xFF high"), varied(32767),
                                 varied(32768), varied(40000)}) {
        SCOPED_TRACE(t.size());
        const std::string cut = t.substr(0, 32767); // the short form keeps 32767 bytes
        nvstrstream s;
        JString(t.c_str()).save(s);
        JString(t.c_str()).saveLong(s);
        s.write(JString(t.c_str()), false); // the same from the stream side
        s.write(JString(t.c_str()), true);
        const std::string shortForm = field(std::int16_t(cut.size())) + cut,
                          longForm = field(std::int32_t(t.size())) + t;
        auto* b = static_cast<nvstrbuf*>(s.rdbuf());
        EXPECT_EQ(std::string(b->data(), std::size_t(b->length())),
                  shortForm + longForm + shortForm + longForm);
        JString a("old"), c("old");
        JString sharer = a; // shares the block: must keep its text
        EXPECT_EQ(a.restore(s) + c.restoreLong(s), 2);
        EXPECT_EQ(std::string(*a) + "|" + *c, cut + "|" + t);
        EXPECT_STREQ(*sharer, "old");
        EXPECT_EQ(s.read(&a, false) + s.read(&c, true), 2); // no maximum on the stream side
        EXPECT_EQ(std::string(*a) + "|" + *c, cut + "|" + t);
        EXPECT_EQ(s.getCharCount(), 0); // the stream's count is not touched
        EXPECT_EQ(s.read(&a, false) + s.read(&c, true) + s.read(nullptr, false), 0);
        EXPECT_EQ(std::string(*a) + "|" + *c, cut + "|" + t);
    }

    char path[] = "/tmp/nvpersistXXXXXX";
    ::close(::mkstemp(path));
    {
        nvfstream out(path, NV_OPEN_WRITE | NV_OPEN_BINARY);
        JString("short").save(out);
        JString(varied(100000).c_str()).saveLong(out);
    }
    nvfstream in(path, NV_OPEN_READ | NV_OPEN_BINARY);
    JString a, b, c("last");
    EXPECT_EQ(a.restore(in, 5), 1);
    EXPECT_EQ(b.restoreLong(in), 1);
    EXPECT_EQ(c.restoreLong(in), 0); // end of file
    in.close();
    EXPECT_EQ(c.restore(in), 0); // closed
    EXPECT_STREQ(*a, "short");
    EXPECT_EQ(std::string(*b), varied(100000));
    EXPECT_STREQ(*c, "last");
    ::unlink(path);
}

TEST(PersistenceTest, FailuresLeaveTheStringUnchanged) {
    const std::string hello = field(std::int16_t(11)) + "hello world";
    // Bytes, long form, maxLen, result, the string after the call.
    const std::tuple<std::string, bool, int, int, const char*> cases[] = {
        {"", false, 0, 0, "before"},
        {"", true, 0, 0, "before"},
        {"\x05", false, 0, 0, "before"}, // half a length
        {std::string("\x05\0\0", 3), true, 0, 0, "before"},
        {field(std::int16_t(5)) + "abc", false, 0, 0, "before"}, // text cut short
        {field(std::int32_t(5)) + "abc", true, 0, 0, "before"},
        {field(std::int32_t(0x7FFFFFF0)) + "abc", true, 0, 0, "before"},
        {hello, false, 10, 0, "before"}, // above maxLen
        {hello, false, 11, 1, "hello world"},
        {hello, false, 0, 1, "hello world"}, // 0: no limit
        {field(std::int16_t(0)) + "zz", false, 0, 1, ""},
        {field(std::int16_t(-3)) + "abc", false, 5, 1, ""}, // 0 or less gives ""
        {field(std::int32_t(-1)), true, 0, 1, ""},
        {field(std::int16_t(3)) + std::string("a\0b", 3), false, 0, 1, "a"},
    };
    for (const auto& [bytes, longForm, maxLen, result, text] : cases) {
        nvstrstream s(bytes.data(), int(bytes.size()));
        JString str("before");
        EXPECT_EQ(longForm ? str.restoreLong(s) : str.restore(s, maxLen), result)
            << bytes.size() << " bytes, max " << maxLen;
        EXPECT_STREQ(*str, text);
    }
    nvstream bare; // no buffer: nothing written, nothing restored
    JString("abc").save(bare);
    JString str("before");
    EXPECT_EQ(str.restore(bare) + str.restoreLong(bare), 0);
    EXPECT_STREQ(*str, "before");
}
