// Buf: a growable NUL-terminated character buffer, for building text a byte at a time.
//
//   Buf b;
//   b.append("R1 ");
//   b.add('1');
//   char* text = b.detach();   // the caller frees it with free(); b starts afresh
#pragma once

/// A malloc'ed buffer with a length and a capacity; the text is always NUL-terminated at
/// the length. Copies copy the text.
class Buf {
public:
    /// The capacity of a default Buf and of the fresh buffer after detach().
    static const int initsize = 80;

    /// An empty buffer with room for `size` bytes (terminator included; at least 1).
    explicit Buf(int size = initsize);
    Buf(const Buf& other);
    Buf& operator=(const Buf& other);
    ~Buf();

    /// Appends `c`, doubling the capacity first when the byte and its terminator would not fit.
    void add(char c);
    /// Appends the bytes of `s` one by one; null appends nothing.
    void append(const char* s);
    /// Drops `n` bytes from the end (never below length 0).
    void remove(int n);
    /// Empties the text.
    void flush();
    /// Hands the buffer to the caller (free it with free()) and starts a fresh one of
    /// initsize bytes.
    char* detach();

    int getLength() const { return length; }
    const char* operator*() const { return buffer; }

protected:
    void grow();

    char* buffer;
    int length;
    int capacity;
};
