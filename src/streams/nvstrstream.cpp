#include "nvstrstream.h"

nvstrstream::nvstrstream() : nvstream(new nvstrbuf) {}

nvstrstream::nvstrstream(const char* s) : nvstream(new nvstrbuf(s)) {}

nvstrstream::nvstrstream(const char* s, int n) : nvstream(new nvstrbuf(s, n)) {}

void nvstrstream::makeBuffer() {
    setBuffer(new nvstrbuf);
}
