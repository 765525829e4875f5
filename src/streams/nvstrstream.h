// nvstrstream: a stream on a memory buffer (nvstrbuf), for parsing text held in memory or
// collecting output as text.
//
//   nvstrstream s("R1 1 2 4k7\n");
//   JString line;
//   s.getline(&line);                 // "R1 1 2 4k7"
#pragma once

#include "nvstrbuf.h"
#include "nvstream.h"

/// A stream on a new nvstrbuf.
class nvstrstream : public nvstream {
public:
    /// Empty.
    nvstrstream();
    /// Holding the text `s` (null gives empty).
    explicit nvstrstream(const char* s);
    /// Holding `n` bytes of `s`, NULs included.
    nvstrstream(const char* s, int n);

    /// A fresh empty nvstrbuf.
    void makeBuffer() override;
};
