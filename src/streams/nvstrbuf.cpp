#include "nvstrbuf.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr std::int64_t kMaxLength = 0x7FFFFFFE;
constexpr unsigned int kTooLong = 0x7FFFFFFF;

} // namespace

nvstrbuf::nvstrbuf() = default;

nvstrbuf::nvstrbuf(const char* s) {
    if (s)
        append(s, unsigned(std::strlen(s)));
}

nvstrbuf::nvstrbuf(const char* s, int n) {
    if (s && n > 0)
        append(s, unsigned(n));
}

nvstrbuf::~nvstrbuf() {
    std::free(m_data);
}

void nvstrbuf::append(const char* s, unsigned int n) {
    const std::int64_t need = std::int64_t(m_length) + n + 1;
    if (need > m_capacity) {
        std::int64_t cap = m_capacity ? m_capacity : 64;
        while (cap < need)
            cap *= 2;
        if (cap > kMaxLength + 1)
            cap = kMaxLength + 1;
        char* p = static_cast<char*>(std::realloc(m_data, std::size_t(cap)));
        if (!p)
            throw std::bad_alloc();
        m_data = p;
        m_capacity = int(cap);
    }
    std::memcpy(m_data + m_length, s, n);
    m_length += int(n);
    m_data[m_length] = 0;
}

int nvstrbuf::get() {
    m_eof = m_pos >= m_length;
    if (m_eof)
        return -1;
    return static_cast<signed char>(m_data[m_pos++]);
}

unsigned int nvstrbuf::read(char* buf, unsigned int n) {
    if (n >= kTooLong)
        return 0;
    m_eof = m_pos >= m_length;
    if (m_eof || !buf)
        return 0;
    unsigned int count = unsigned(m_length - m_pos);
    if (count > n)
        count = n;
    std::memcpy(buf, m_data + m_pos, count);
    m_pos += int(count);
    return count;
}

unsigned int nvstrbuf::write(const char* data, unsigned int n) {
    if (n >= kTooLong || (!data && n) || std::int64_t(m_length) + n > kMaxLength)
        return 0;
    m_eof = false;
    if (n)
        append(data, n);
    return n;
}

int nvstrbuf::seekg(std::int64_t pos) {
    if (pos < -std::int64_t(0x7FFFFFFF) || pos > kMaxLength)
        return -1;
    if (pos < 0)
        pos = 0;
    if (pos > m_length)
        pos = m_length;
    m_pos = int(pos);
    return m_pos;
}

int nvstrbuf::seekg(std::int64_t offset, int whence) {
    // Offsets this large cannot land inside the limits whatever the base; refusing them
    // first also keeps the sum below from overflowing.
    if (offset < -(std::int64_t(1) << 40) || offset > (std::int64_t(1) << 40))
        return -1;
    const std::int64_t base = whence == 0 ? 0 : whence == 1 ? m_pos : m_length;
    return seekg(base + offset);
}
