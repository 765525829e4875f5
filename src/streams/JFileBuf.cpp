#include "JFileBuf.h"

#include "../Os/Posix/DynamicFunction.h"
#include "../Os/Posix/FileFacts.h"
#include "../core/Buf.h"
#include "../core/CaseFold_p.h"
#include "nvstdbuf.h"
#include "nvstream.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

constexpr char kInternalPrefix[] = "INTERNAL:";
constexpr std::size_t kInternalPrefixLength = sizeof kInternalPrefix - 1;

bool hasInternalPrefix(const char* path) {
    for (std::size_t i = 0; i < kInternalPrefixLength; ++i) {
        const int c = static_cast<unsigned char>(path[i]); // stops at the terminator
        if (nvsupport::detail::asciiUpper(c) != kInternalPrefix[i])
            return false;
    }
    return true;
}

// Reads the stream with get() until its buffer is not open or get() gives -1 (so a memory
// buffer ends at a byte 0xFF, which it hands out as -1). A handler buffer gives no input,
// only endless zeros: it reads as empty.
char* readScript(nvstream& s, unsigned int* size) {
    Buf text;
    if (!dynamic_cast<nvstdbuf*>(s.rdbuf())) {
        for (nvbuf* b; (b = s.rdbuf()) && *b;) {
            const int c = s.get();
            if (c == -1)
                break;
            text.add(static_cast<char>(c));
        }
    }
    *size = static_cast<unsigned int>(text.getLength());
    return text.detach();
}

// Drops the CR of every CR LF pair in place; returns the new length.
std::size_t dropCarriageReturns(char* data, std::size_t n) {
    std::size_t out = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (data[i] == '\r' && i + 1 < n && data[i + 1] == '\n')
            continue;
        data[out++] = data[i];
    }
    return out;
}

} // namespace

JFileBuf::JFileBuf(const char* path, bool text) {
    open(path, text);
}

JFileBuf::JFileBuf(JFileBuf&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)) {}

JFileBuf& JFileBuf::operator=(JFileBuf&& other) noexcept {
    if (this != &other) {
        close();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

JFileBuf::~JFileBuf() {
    close();
}

void JFileBuf::close() noexcept {
    std::free(m_data);
    m_data = nullptr;
    m_size = 0;
}

const char* JFileBuf::open(const char* path, bool text) {
    if (path && hasInternalPrefix(path)) {
        auto find = reinterpret_cast<FindBuiltInScriptFunction>(
            support_GetDynamicFunction("findBuiltInScript"));
        if (find) {
            PathName name;
            sp_SplitPath(JString(path + kInternalPrefixLength), &name);
            nvstream* script = find(name);
            if (!script)
                return m_data;
            unsigned int size = 0;
            char* data = readScript(*script, &size);
            delete script;
            close();
            m_data = data;
            m_size = size;
            return m_data;
        }
    }

    close();
    if (!path)
        return nullptr;
    // Paths may use either separator; the size and the open must see the same file.
    const JString local = sp_ConvertLocalToUnix(JString(path));
    if (!sp_ExistFile(*local)) // also keeps a FIFO from blocking the open
        return nullptr;
    const std::size_t expected = static_cast<std::size_t>(sp_GetFileSize(*local));
    FILE* f = std::fopen(*local, "rb");
    if (!f)
        return nullptr;
    char* data = static_cast<char*>(std::malloc(expected ? expected : 1));
    if (!data) {
        std::fclose(f);
        return nullptr;
    }
    std::size_t got = 0;
    while (got < expected) {
        const std::size_t n = std::fread(data + got, 1, expected - got, f);
        if (n == 0)
            break; // the file got shorter, or a read error: keep what was read
        got += n;
    }
    std::fclose(f);
    if (text)
        got = dropCarriageReturns(data, got);
    m_data = data;
    m_size = static_cast<unsigned int>(got);
    return m_data;
}
