// What both processes of the cross-process heap tests agree on: the marks a block carries.
// The test sends {block, sequence number} pairs to heap_peer, which gets each block, checks
// its marks, writes the answer (their complement), releases it and sends the pair back.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace heappeer {

// Writes, or with `check` compares, the marks of the seq-th block sent: bytes at its start,
// middle and end. False on a difference.
inline bool marks(void* data, std::int64_t size, std::int64_t seq, bool answer, bool check) {
    auto* p = static_cast<unsigned char*>(data);
    for (std::int64_t i : {std::int64_t(0), std::int64_t(1), std::int64_t(8), size / 2, size - 1}) {
        auto v = static_cast<unsigned char>((seq * 31 + i * 7 + (seq >> 8)) ^ (answer ? 0xff : 0));
        if (check && p[i] != v)
            return false;
        p[i] = v;
    }
    return true;
}

} // namespace heappeer
