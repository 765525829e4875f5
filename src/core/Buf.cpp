#include "Buf.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

char* allocate(int size) {
    char* p = static_cast<char*>(std::malloc(std::size_t(size)));
    if (!p)
        throw std::bad_alloc();
    p[0] = 0;
    return p;
}

} // namespace

Buf::Buf(int size) : buffer(nullptr), length(0), capacity(size > 1 ? size : 1) {
    buffer = allocate(capacity);
}

Buf::Buf(const Buf& other) : buffer(nullptr), length(other.length), capacity(other.capacity) {
    buffer = allocate(capacity);
    std::memcpy(buffer, other.buffer, std::size_t(length) + 1);
}

Buf& Buf::operator=(const Buf& other) {
    if (this != &other) {
        char* p = allocate(other.capacity);
        std::memcpy(p, other.buffer, std::size_t(other.length) + 1);
        std::free(buffer);
        buffer = p;
        length = other.length;
        capacity = other.capacity;
    }
    return *this;
}

Buf::~Buf() {
    std::free(buffer);
}

void Buf::grow() {
    char* p = static_cast<char*>(std::realloc(buffer, std::size_t(capacity) * 2));
    if (!p)
        throw std::bad_alloc();
    buffer = p;
    capacity *= 2;
}

void Buf::add(char c) {
    if (length >= capacity - 1)
        grow();
    buffer[length++] = c;
    buffer[length] = 0;
}

void Buf::append(const char* s) {
    if (!s)
        return;
    while (*s)
        add(*s++);
}

void Buf::remove(int n) {
    if (n <= 0)
        return;
    length = n >= length ? 0 : length - n;
    buffer[length] = 0;
}

void Buf::flush() {
    length = 0;
    buffer[0] = 0;
}

char* Buf::detach() {
    char* out = buffer;
    buffer = allocate(initsize);
    length = 0;
    capacity = initsize;
    return out;
}
