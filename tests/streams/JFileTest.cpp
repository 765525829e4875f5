#include <nvsupport/Os/Posix/DynamicFunction.h>
#include <nvsupport/streams/JFile.h>
#include <nvsupport/streams/JFileBuf.h>
#include <nvsupport/streams/nvstrstream.h>

#include "../paths/AsUnprivileged.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using nvtest::TempDir;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void spew(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string contents(const JFileBuf& b) {
    return b.get() ? std::string(b.get(), b.getSize()) : std::string("(null)");
}

} // namespace

TEST(JFileTest, OpenReopenAttachDetach) {
    TempDir dir;
    JFile none;
    EXPECT_EQ(none.reopen("r"), nullptr); // never opened
    EXPECT_STREQ(*none.getFilename(), "");

    // The name is the cleaned absolute path; '\' counts as a separator.
    fs::create_directory(dir / "sub");
    const std::string name = dir / "sub/out.txt";
    JFile f((dir.path + "/sub/.//..\\sub\\out.txt").c_str(), "w");
    ASSERT_NE(f.getFile(), nullptr);
    EXPECT_EQ(std::string(*f.getFilename()), name);
    std::fputs("written", f.getFile());
    FILE* r = f.reopen("r"); // the written file is closed (flushed) first
    char buf[16] = {};
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(std::fread(buf, 1, 15, r), 7u);
    EXPECT_EQ(f.open((dir / "missing/x").c_str(), "r"), nullptr);
    EXPECT_EQ(f.getFile(), nullptr); // closed, name kept
    EXPECT_EQ(std::string(*f.getFilename()), name);
    EXPECT_NE(f.reopen("r"), nullptr);

    // attach moves the FILE*, so exactly one object closes it; detach hands it out open.
    JFile wrapped("given name", std::fopen(name.c_str(), "r")), taker;
    FILE* raw = wrapped.getFile();
    EXPECT_FALSE(f.attach(wrapped)); // f is open
    EXPECT_TRUE(taker.attach(wrapped));
    EXPECT_TRUE(taker.getFile() == raw && wrapped.getFile() == nullptr);
    EXPECT_STREQ(*taker.getFilename(), "given name");
    EXPECT_EQ(taker.detach(), raw);
    EXPECT_EQ(taker.getFile(), nullptr);
    EXPECT_EQ(std::fgetc(raw), 'w');
    std::fclose(raw);
}

TEST(JFileTest, FileBufTextAndBinaryModes) {
    // Hostile fixtures (BOM, lone CRs, no final newline, bytes above 127, long lines, empty)
    // and the corpus's CR LF files: text mode drops the CR of each CR LF, binary keeps all.
    std::vector<std::string> paths;
    for (const char* name : {"bom_crlf.txt", "mixed_endings.txt", "highbytes_crlf.txt",
                             "longlines_crlf.txt", "empty.txt"})
        paths.push_back(std::string(NVSUPPORT_TEST_DATA_DIR) + "/streams/data/" + name);
    if (fs::is_directory(NVSUPPORT_CORPUS_DIR))
        for (const auto& e : fs::recursive_directory_iterator(NVSUPPORT_CORPUS_DIR))
            if (paths.size() < 15 && e.is_regular_file() &&
                slurp(e.path()).find("\r\n") != std::string::npos)
                paths.push_back(e.path());
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const std::string raw = slurp(path);
        std::string lf;
        for (std::size_t i = 0; i < raw.size(); ++i)
            if (raw.compare(i, 2, "\r\n") != 0)
                lf += raw[i];
        JFileBuf t(path.c_str(), true), b;
        EXPECT_EQ(contents(t), lf); // an empty file still gives a data pointer
        const char* got = b.open(path.c_str(), false);
        EXPECT_EQ(got, b.get());
        EXPECT_EQ(contents(b), raw);
    }
    EXPECT_EQ(contents(JFileBuf(paths[1].c_str(), true)), "a\nb\nc\rd\r\ne");

    // Three CR LF lines lose 3 bytes in text mode. Every failure empties the contents: null,
    // "", missing, a directory, a FIFO (without hanging).
    TempDir dir;
    const std::string three = dir / "three", none = dir / "none", fifo = dir / "fifo";
    spew(three, "1\r\n2\r\n3\r\n");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    JFileBuf buf(three.c_str(), true);
    EXPECT_EQ(buf.getSize(), 6u);
    for (const char* bad :
         {(const char*)nullptr, "", none.c_str(), dir.path.c_str(), fifo.c_str()}) {
        buf.open(three.c_str(), false);
        EXPECT_EQ(buf.getSize(), 9u);
        EXPECT_EQ(buf.open(bad, false), nullptr) << (bad ? bad : "(null)");
        EXPECT_TRUE(buf.get() == nullptr && buf.getSize() == 0u);
    }
}

namespace {

int g_calls = 0, g_deleted = 0;
PathName g_asked;
// Served as it is (no CR dropped), up to the byte 0xFF, which a memory buffer gives as -1.
const char kScript[] = "* built in\r\n\xC3\xA9\xFF\x80 end";
const std::string kServed = "* built in\r\n\xC3\xA9";

struct CountedStream : nvstrstream {
    CountedStream() : nvstrstream(kScript) {}
    ~CountedStream() override { ++g_deleted; }
};

nvstream* findScript(const PathName& name) {
    ++g_calls;
    g_asked = name;
    return name.fname == "missing" ? nullptr : new CountedStream;
}

std::string readInDirectory(const std::string& dir, const char* name) {
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    std::string text = contents(JFileBuf(name, false));
    fs::current_path(before);
    return text;
}

} // namespace

TEST(JFileTest, FileBufInternalNames) {
    TempDir dir;
    spew(dir / "INTERNAL:amp.cir", "from disk");
    // Without the published function the name is an ordinary relative file name.
    EXPECT_EQ(readInDirectory(dir.path, "INTERNAL:amp.cir"), "from disk");
    {
        MakeDynamicFunction publish(reinterpret_cast<void*>(&findScript), "findBuiltInScript");
        for (const char* name :
             {"INTERNAL:lib/amp.cir", "internal:lib/amp.cir", "InTeRnAl:lib/amp.cir"}) {
            const int calls = g_calls, deleted = g_deleted;
            JFileBuf b(name, true);
            EXPECT_TRUE(g_calls - calls == 1 && g_deleted - deleted == 1) << name;
            EXPECT_EQ(std::string(*g_asked.dir) + "|" + *g_asked.fname + "|" + *g_asked.ext,
                      "lib/|amp|.cir");
            EXPECT_EQ(contents(b), kServed);
            EXPECT_EQ(b.get()[b.getSize()], '\0'); // NUL-terminated
        }
        JFileBuf b;
        EXPECT_EQ(b.open("INTERNAL:missing", false), nullptr);
        const char* before = b.open("INTERNAL:x", false);
        EXPECT_EQ(b.open("INTERNAL:missing", false), before); // null from the host: unchanged
        EXPECT_EQ(contents(b), kServed);
    }
    const int calls = g_calls;
    EXPECT_EQ(readInDirectory(dir.path, "internal:amp.cir"), "(null)"); // withdrawn: disk again
    EXPECT_EQ(readInDirectory(dir.path, "INTERNAL:amp.cir"), "from disk");
    EXPECT_EQ(g_calls, calls);
}
