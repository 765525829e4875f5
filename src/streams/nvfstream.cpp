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

// The open file of a file buffer for one stdio read, null without one. An asynchronous
// buffer's worker may be using the file and its logical position may differ from the file's:
// the queue is written out and the file put at the logical position first, and the logical
// position follows the read afterwards.
class FileReader {
public:
    explicit FileReader(nvbuf* b) : m_async(dynamic_cast<nvfbuf_async*>(b)) {
        if (m_async)
            m_file = m_async->fileForReading();
        else if (auto* f = dynamic_cast<nvfbuf*>(b))
            m_file = f->file();
    }
    ~FileReader() {
        if (m_async)
            m_async->takePositionFromFile();
    }
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;
    FILE* file() const noexcept { return m_file; }

private:
    nvfbuf_async* m_async;
    FILE* m_file = nullptr;
};

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

char* nvfstream::gets(char* buf, int n) {
    FileReader reader(rdbuf());
    if (!reader.file() || !buf || n <= 0)
        return nullptr;
    if (!std::fgets(buf, n, reader.file()))
        return nullptr;
    std::size_t len = std::strlen(buf);
    if (len > 0 && buf[len - 1] == '\n')
        buf[len - 1] = 0;
    return buf;
}

nvfstream& nvfstream::operator>>(int& v) {
    FileReader reader(rdbuf());
    if (reader.file())
        static_cast<void>(std::fscanf(reader.file(), "%d", &v));
    return *this;
}

nvfstream& nvfstream::operator>>(double& v) {
    FileReader reader(rdbuf());
    if (reader.file())
        static_cast<void>(std::fscanf(reader.file(), "%lg", &v));
    return *this;
}
