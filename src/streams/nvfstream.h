// nvfstream: a stream on a file buffer (nvfbuf, or the threaded asynchronous file buffer when
// asked for), with opening, fgets-style line reading and scanf-style number reading.
//
//   nvfstream in("deck.cir", NV_OPEN_READ);
//   char buf[256];
//   while (in.gets(buf, sizeof buf))  // lines without their '\n'
//       parse(buf);
#pragma once

#include "nvfbuf.h"
#include "nvstream.h"

#include <cstdio>

/// A stream whose buffer is a file buffer (unless replaced through transferBuffer or a
/// derived class).
class nvfstream : public nvstream {
public:
    /// A closed file buffer: asynchronous when `async`.
    explicit nvfstream(bool async = false);
    /// A file buffer opened with open(path, mode, lock).
    nvfstream(const char* path, int mode, bool lock = false, bool async = false);
    /// A file buffer wrapping `f` (closed by the stream's buffer).
    explicit nvfstream(FILE* f, bool async = false);

    /// A fresh closed (plain) nvfbuf.
    void makeBuffer() override;

    /// The buffer's open() when the buffer is a file buffer; false (nothing done) otherwise.
    /// Returns whether the file is open.
    bool open(const char* path, int mode, bool lock = false);
    /// Deletes the buffer and puts a new nvfbuf on `f`.
    void open(FILE* f);
    /// Forwards to the buffer's put(); nothing without a buffer.
    void put(char c);
    /// With an open file buffer, fgets(buf, n, file) with a final '\n' removed; returns buf,
    /// or null at end of file, on error, without an open file, or for a null buf or n <= 0.
    /// An asynchronous buffer first writes out its queue and reads at its logical position,
    /// which then moves past what was read.
    char* gets(char* buf, int n);
    /// fscanf(file, "%d"); `v` is unchanged when nothing is read. Asynchronous buffers as
    /// for gets().
    nvfstream& operator>>(int& v);
    /// fscanf(file, "%lg"); `v` is unchanged when nothing is read. Asynchronous buffers as
    /// for gets().
    nvfstream& operator>>(double& v);
};
