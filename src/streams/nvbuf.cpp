#include "nvbuf.h"

#include "../ipc/SharedBlockHeap.h"

#include <algorithm>

nvbuf::~nvbuf() = default;

void nvbuf::close() {}

bool nvbuf::fail() const {
    return false;
}

void nvbuf::put(char c) {
    write(&c, 1);
}

unsigned int nvbuf::writeSync(const char* data, unsigned int n) {
    return write(data, n);
}

unsigned int nvbuf::takeAndWrite(const char* data, unsigned int n) {
    if (!data)
        return 0;
    unsigned int written = writeSync(data, n);
    delete[] data;
    return written;
}

unsigned int nvbuf::writeAt(std::int64_t pos, const char* data, unsigned int n) {
    std::int64_t remembered = tellg();
    seekg(pos);
    unsigned int written = write(data, n);
    seekg(remembered);
    return written;
}

int nvbuf::seekg(std::int64_t) {
    return -1;
}

int nvbuf::seekg(std::int64_t, int) {
    return -1;
}

std::int64_t nvbuf::tellg() {
    return -1;
}

std::int64_t nvbuf::takeAndwriteSharedBlock(int token, std::int64_t handle, std::int64_t length) {
    SharedBlockToken heap(token);
    SharedBlockManager* manager = heap.get();
    void* data = nullptr;
    if (!manager || manager->get(&data, handle) != SBM_OK || !data)
        return 0;
    std::int64_t left = std::clamp<std::int64_t>(length, 0, manager->getBlockSize());
    const char* p = static_cast<const char*>(data);
    std::int64_t written = 0;
    // writeSync counts in 32 bits: a large block goes in pieces.
    while (left > 0) {
        const unsigned int piece = unsigned(std::min<std::int64_t>(left, 0x40000000));
        const unsigned int done = writeSync(p + written, piece);
        written += done;
        left -= done;
        if (done < piece)
            break;
    }
    manager->release(handle);
    manager->free(handle);
    return written;
}
