#include "CharQueue.h"

#include <cstring>

void CharQueue::add(char c) {
    if (length >= capacity - 1 && head > 0) {
        std::memmove(buffer, buffer + head, std::size_t(length - head) + 1);
        length -= head;
        head = 0;
    }
    Buf::add(c);
}

char CharQueue::pop() {
    if (head >= length) {
        flush();
        return 0;
    }
    return buffer[head++];
}

void CharQueue::flush() {
    Buf::flush();
    head = 0;
}
