#include "nvstream.h"

#include "../Os/Posix/FileStream_p.h"
#include "../core/CharQueue.h"
#include "nvfbuf.h"
#include "nvstdbuf.h"
#include "nvstrbuf.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <typeinfo>
#include <utility>

namespace {

// What a stream's buffer is, for the paths that read around the virtual get().
enum BufferKind : int {
    kOther = 0,
    kPlainFile = 1, // exactly nvfbuf: lines can be read straight from its FILE*
    kMemory = 2,    // an nvstrbuf: a -1 from get() before the end is the byte 0xFF
    kHandler = 3,   // an nvstdbuf: nothing can be read, get() gives 0 forever
};

int kindOf(nvbuf* b) noexcept {
    if (!b)
        return kOther;
    if (typeid(*b) == typeid(nvfbuf))
        return kPlainFile;
    if (dynamic_cast<nvstrbuf*>(b))
        return kMemory;
    if (dynamic_cast<nvstdbuf*>(b))
        return kHandler;
    return kOther;
}

// The size of the output area a decode hook writes into.
constexpr int kDecodeArea = 512;

} // namespace

nvstream::nvstream(nvbuf* buf) noexcept {
    assignBuffer(buf);
}

nvstream::nvstream(nvstream&& other) noexcept
    : m_lineEncrypted(other.m_lineEncrypted), m_line(other.m_line), m_count(other.m_count),
      m_encryptReturn(other.m_encryptReturn), m_hook(other.m_hook), m_buf(other.m_buf),
      m_kind(other.m_kind) {
    other.m_line = nullptr;
    other.m_hook = nullptr;
    other.m_lineEncrypted = false;
    other.assignBuffer(nullptr);
}

nvstream& nvstream::operator=(nvstream&& other) noexcept {
    if (this != &other) {
        delete m_buf;
        delete m_line;
        m_lineEncrypted = other.m_lineEncrypted;
        m_line = other.m_line;
        m_count = other.m_count;
        m_encryptReturn = other.m_encryptReturn;
        m_hook = other.m_hook;
        assignBuffer(other.m_buf);
        other.m_line = nullptr;
        other.m_hook = nullptr;
        other.m_lineEncrypted = false;
        other.assignBuffer(nullptr);
    }
    return *this;
}

nvstream::~nvstream() {
    delete m_buf;
    delete m_line;
}

void nvstream::assignBuffer(nvbuf* buf) noexcept {
    m_buf = buf;
    m_kind = kindOf(buf);
}

void nvstream::setBuffer(nvbuf* buf) noexcept {
    if (buf == m_buf)
        return;
    delete m_buf;
    assignBuffer(buf);
}

void nvstream::makeBuffer() {
    setBuffer(nullptr);
}

// --- forwarding -------------------------------------------------------------------------

void nvstream::close() {
    if (m_buf)
        m_buf->close();
}

unsigned int nvstream::read(char* buf, unsigned int n) {
    return m_buf ? m_buf->read(buf, n) : 0;
}

unsigned int nvstream::write(const char* data, unsigned int n) {
    return m_buf ? m_buf->write(data, n) : 0;
}

int nvstream::read(JString* s, bool longForm) {
    if (!s)
        return 0;
    return longForm ? s->restoreLong(*this) : s->restore(*this, 0);
}

void nvstream::write(const JString& s, bool longForm) {
    if (longForm)
        s.saveLong(*this);
    else
        s.save(*this);
}

unsigned int nvstream::takeAndWrite(const char* data, unsigned int n) {
    if (!m_buf) {
        delete[] data; // ownership was passed to us all the same
        return 0;
    }
    return m_buf->takeAndWrite(data, n);
}

std::int64_t nvstream::takeAndwriteSharedBlock(int token, std::int64_t handle,
                                               std::int64_t length) {
    return m_buf ? m_buf->takeAndwriteSharedBlock(token, handle, length) : 0;
}

bool nvstream::fail() const {
    return m_buf ? m_buf->fail() : false;
}

nvstream::operator bool() const {
    return m_buf && bool(*m_buf);
}

int nvstream::seekg(std::int64_t pos) {
    return m_buf ? m_buf->seekg(pos) : -1;
}

int nvstream::seekg(std::int64_t offset, int whence) {
    return m_buf ? m_buf->seekg(offset, whence) : -1;
}

std::int64_t nvstream::tellg() {
    return m_buf ? m_buf->tellg() : -1;
}

// --- reading ----------------------------------------------------------------------------

bool nvstream::bufferByte(int& c) {
    c = m_buf->get();
    if (c == -1) {
        if (m_kind != kMemory || m_buf->eof())
            return false;
        c = 0xFF;
    }
    ++m_count;
    return true;
}

void nvstream::fillLine() {
    if (m_kind == kHandler)
        return; // a handler gives no input, only endless zeros
    bool ended = false;
    do {
        m_lineEncrypted = false;
        m_line->flush();
        int c;
        while (true) {
            if (!bufferByte(c)) {
                ended = true;
                break;
            }
            m_line->add(char(c));
            if (c == '\n')
                break;
        }
        if (m_line->getLength() >= 3 && std::memcmp(**m_line, "?@@", 3) == 0) {
            m_lineEncrypted = true;
            if (m_encryptReturn == 0) {
                char out[kDecodeArea];
                int outLength = 0;
                m_encryptReturn = m_hook(const_cast<char*>(**m_line), out, &outLength);
                if (m_encryptReturn == 0) {
                    // A hook claiming more than the area holds is held to the area.
                    if (outLength > kDecodeArea)
                        outLength = kDecodeArea;
                    m_line->flush();
                    for (int i = 0; i < outLength; ++i)
                        m_line->add(out[i]);
                }
            }
        }
    } while (m_line->isEmpty() && !ended);
}

int nvstream::get() {
    if (!m_buf)
        return -1;
    if (!m_hook) {
        int c = m_buf->get();
        if (c != -1 || (m_kind == kMemory && !m_buf->eof()))
            ++m_count;
        return c;
    }
    if (m_line->isEmpty())
        fillLine();
    if (m_line->isEmpty())
        return -1;
    return static_cast<unsigned char>(m_line->pop());
}

nvstream& nvstream::get(char& c) {
    c = char(get());
    return *this;
}

bool nvstream::eof() const {
    if (!m_buf)
        return false;
    if (m_hook && !m_line->isEmpty())
        return false;
    return m_buf->eof();
}

int nvstream::getCharCount() const noexcept {
    if (m_hook && !m_lineEncrypted)
        return m_count - m_line->getLength();
    return m_count;
}

nvstream& nvstream::getline(char* buf, int n) {
    if (!buf)
        return *this;
    for (int i = 0; i < n; ++i) {
        int c = get();
        if (c == '\n' || c == -1) {
            buf[i] = 0;
            break;
        }
        buf[i] = char(c);
    }
    return *this;
}

bool nvstream::getlineFromFile(JString* line) {
    const char* text;
    std::size_t n = nvsupport::detail::readFileLine(static_cast<nvfbuf*>(m_buf)->file(), &text);
    if (n == 0) {
        if (line)
            *line = JString();
        return false;
    }
    m_count += std::int32_t(n);
    if (line) {
        std::size_t len = text[n - 1] == '\n' ? n - 1 : n;
        line->setText(text, len > 0x7FFFFFFE ? 0x7FFFFFFE : len);
    }
    return true;
}

bool nvstream::getlineFromMemory(JString* line) {
    auto* b = static_cast<nvstrbuf*>(m_buf);
    const int pos = int(b->tellg());
    const int left = b->length() - pos;
    const char* start = b->data() + pos;
    const void* nl = left > 0 ? std::memchr(start, '\n', std::size_t(left)) : nullptr;
    const int taken = nl ? int(static_cast<const char*>(nl) - start) + 1 : left;
    b->seekg(pos + taken);
    if (!nl)
        b->get(); // finds nothing unread and sets the end flag, as reading byte by byte does
    if (line)
        line->setText(start, std::size_t(nl ? taken - 1 : taken));
    m_count += taken;
    return taken > 0;
}

bool nvstream::getline(JString* line) {
    // A plain file finds its own end: once stdio has seen it, no more bytes are read.
    if (m_kind == kPlainFile && !m_hook)
        return getlineFromFile(line);
    if (!m_buf || eof() || m_kind == kHandler) {
        if (line)
            *line = JString();
        return false;
    }
    if (!m_hook && m_kind == kMemory)
        return getlineFromMemory(line);

    std::string text;
    bool any = false;
    while (true) {
        int c = get();
        if (c == -1) {
            if (m_hook || m_kind != kMemory || m_buf->eof())
                break;
            c = 0xFF;
        }
        any = true;
        if (c == '\n')
            break;
        text.push_back(char(c));
    }
    if (line)
        *line = JString(text.c_str(), int(text.size() > 0x7FFFFFFE ? 0x7FFFFFFE : text.size()));
    return any;
}

// --- writing ----------------------------------------------------------------------------

nvstream& nvstream::operator<<(const char* s) {
    if (!s)
        s = "(null)";
    write(s, unsigned(std::strlen(s)));
    return *this;
}

nvstream& nvstream::operator<<(char c) {
    write(&c, 1);
    return *this;
}

nvstream& nvstream::operator<<(int v) {
    char text[16];
    int n = std::snprintf(text, sizeof text, "%d", v);
    write(text, unsigned(n));
    return *this;
}

nvstream& nvstream::operator<<(double v) {
    char text[32];
    int n = std::snprintf(text, sizeof text, "%g", v);
    write(text, unsigned(n));
    return *this;
}

nvstream& operator<<(nvstream& s, const JString& text) {
    return s << *text;
}

void nvstream::printf(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    vprintf(fmt, args);
    va_end(args);
}

void nvstream::vprintf(const char* fmt, va_list args) {
    if (!m_buf || !fmt)
        return;
    JString text;
    text.sprintf(fmt, args);
    write(*text, unsigned(text.length()));
}

// --- buffers and hooks ------------------------------------------------------------------

void nvstream::transferBuffer(nvstream* from, nvstream* to) {
    if (!from || !to || from == to)
        return;
    nvbuf* moved = from->m_buf;
    from->assignBuffer(nullptr);
    to->setBuffer(moved);
    from->makeBuffer();
}

void nvstream::setAllowEncryption(DecodeHook hook) {
    m_hook = hook;
    if (hook) {
        if (!m_line)
            m_line = new CharQueue;
    } else {
        delete m_line;
        m_line = nullptr;
        m_lineEncrypted = false;
    }
}
