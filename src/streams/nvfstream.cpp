#include "nvfstream.h"

#include "nvfbuf_async.h"

#include <cstring>

namespace {

// The one place that picks the class of a file stream's buffer: closed when `f` is null,
// else wrapping f. An asynchronous buffer is asked for with `async`.
nvfbuf* newFileBuffer(bool async, FILE* f) {
    if (async)
        return new nvfbuf_async(f);
    return new nvfbuf(f);
}

} // namespace

nvfstream::nvfstream(bool async) : nvstream(newFileBuffer(async, nullptr)) {}

nvfstream::nvfstream(const char* path, int mode, bool lock, bool async)
    : nvstream(newFileBuffer(async, nullptr)) {
    static_cast<nvfbuf*>(rdbuf())->open(path, mode, lock);
}

nvfstream::nvfstream(FILE* f, bool async) : nvstream(newFileBuffer(async, f)) {}

void nvfstream::makeBuffer() {
    setBuffer(new nvfbuf);
}

bool nvfstream::open(const char* path, int mode, bool lock) {
    auto* b = dynamic_cast<nvfbuf*>(rdbuf());
    return b ? b->open(path, mode, lock) : false;
}

void nvfstream::open(FILE* f) {
    setBuffer(new nvfbuf(f));
}

void nvfstream::put(char c) {
    if (nvbuf* b = rdbuf())
        b->put(c);
}

FILE* nvfstream::openFile() const noexcept {
    auto* b = dynamic_cast<nvfbuf*>(rdbuf());
    return b ? b->file() : nullptr;
}

char* nvfstream::gets(char* buf, int n) {
    FILE* f = openFile();
    if (!f || !buf || n <= 0)
        return nullptr;
    if (!std::fgets(buf, n, f))
        return nullptr;
    std::size_t len = std::strlen(buf);
    if (len > 0 && buf[len - 1] == '\n')
        buf[len - 1] = 0;
    return buf;
}

nvfstream& nvfstream::operator>>(int& v) {
    if (FILE* f = openFile())
        static_cast<void>(std::fscanf(f, "%d", &v));
    return *this;
}

nvfstream& nvfstream::operator>>(double& v) {
    if (FILE* f = openFile())
        static_cast<void>(std::fscanf(f, "%lg", &v));
    return *this;
}
