// CharQueue: a character buffer read from the front, for text that is produced at one end
// and consumed at the other.
//
//   CharQueue q;
//   q.add('a'); q.add('b');
//   char c = q.pop();          // 'a'; q.getLength() is 1
#pragma once

#include "Buf.h"

/// A Buf with a read position (the head); the unread text runs from the head to the end.
class CharQueue : private Buf {
public:
    /// An empty queue of initsize bytes.
    CharQueue() : Buf(initsize), head(0) {}

    /// Appends `c`; when the buffer is full, unread bytes first move to the front, and the
    /// capacity doubles only if that frees nothing.
    void add(char c);
    /// The byte at the head, advancing past it; 0 (and the queue reset) when nothing is unread.
    char pop();
    bool isEmpty() const { return head == length; }
    /// Number of unread bytes.
    int getLength() const { return length - head; }
    /// The unread text.
    const char* operator*() const { return buffer + head; }
    /// Empties the queue.
    void flush();

private:
    int head;
};
