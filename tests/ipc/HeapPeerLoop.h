// The hand-over both sides of the cross-process heap test run at once on one heap: each
// side allocates blocks, fills them, releases them and sends their numbers through a pipe;
// the other side gets each block, checks it, writes an answer, releases it and sends it
// back; the first side gets it, checks the answer, releases and frees it.
#pragma once

#include <nvsupport/ipc/SharedBlockHeap.h>

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <string>

namespace heappeer {

enum : std::int64_t { kNew = 1, kAnswer = 2, kDone = 3 };
struct Message {
    std::int64_t kind, block;
};

// The bytes of the seq-th block sent by side `tag`; an answer holds their complement.
inline bool pattern(void* data, std::int64_t size, int tag, std::int64_t seq, bool answer,
                    bool write) {
    auto* p = static_cast<unsigned char*>(data);
    for (std::int64_t i = 0; i < size; ++i) {
        auto v = static_cast<unsigned char>(seq * 31 + i * 7 + tag * 101 + (seq >> 8));
        v = answer ? static_cast<unsigned char>(~v) : v;
        if (write)
            p[i] = v;
        else if (p[i] != v)
            return false;
    }
    return true;
}

// Sends `count` own blocks with at most `window` in flight and answers the peer's; "" on
// success, else what went wrong.
inline std::string run(SharedBlockManager* heap, int in, int out, int count, int window, int tag,
                       int peerTag) {
    const std::int64_t size = heap->getBlockSize();
    std::map<std::int64_t, std::int64_t> mine; // block in flight -> its sequence number
    std::int64_t sent = 0, back = 0, peerSeq = 0;
    bool peerDone = false;
    auto say = [out](std::int64_t kind, std::int64_t block) {
        Message m{kind, block};
        return write(out, &m, sizeof m) == static_cast<ssize_t>(sizeof m);
    };
    auto progress = std::chrono::steady_clock::now();
    while (back < count || !peerDone) {
        if (std::chrono::steady_clock::now() - progress > std::chrono::seconds(20))
            return "no progress for 20 s";
        void* data = nullptr;
        std::int64_t block = -1;
        const bool room = sent < count && static_cast<int>(mine.size()) < window;
        if (room) {
            SharedBlockManagerError r = heap->alloc(&data, &block);
            if (r == SBM_OK) {
                pattern(data, size, tag, sent, false, true);
                if (heap->release(block) != SBM_OK || !say(kNew, block))
                    return "sending a block failed";
                mine[block] = sent++;
                progress = std::chrono::steady_clock::now();
            } else if (r != SBM_HEAP_FULL) {
                return "alloc gave " + std::to_string(r);
            }
        }
        pollfd p{in, POLLIN, 0};
        if (poll(&p, 1, room ? 0 : 100) <= 0)
            continue;
        progress = std::chrono::steady_clock::now();
        Message m; // whole messages only: each was one write of less than PIPE_BUF
        if (read(in, &m, sizeof m) != static_cast<ssize_t>(sizeof m))
            return "peer went away";
        if (m.kind == kDone) {
            peerDone = true;
        } else if (m.kind == kNew) {
            if (heap->get(&data, m.block) != SBM_OK ||
                !pattern(data, size, peerTag, peerSeq, false, false))
                return "peer block " + std::to_string(m.block) + " is wrong";
            pattern(data, size, tag, peerSeq++, true, true);
            if (heap->release(m.block) != SBM_OK || !say(kAnswer, m.block))
                return "answering failed";
        } else {
            auto it = mine.find(m.block);
            if (it == mine.end() || heap->get(&data, m.block) != SBM_OK ||
                !pattern(data, size, peerTag, it->second, true, false))
                return "answer in block " + std::to_string(m.block) + " is wrong";
            if (heap->release(m.block) != SBM_OK || heap->free(m.block) != SBM_OK)
                return "freeing an answered block failed";
            mine.erase(it);
            if (++back == count && !say(kDone, 0))
                return "sending the end failed";
        }
    }
    return "";
}

} // namespace heappeer
