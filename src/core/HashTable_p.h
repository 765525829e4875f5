// The chained hash table behind every registry and cache of the library: buckets of
// singly linked chains, a fixed or growing bucket count taken from a list of primes.
//
//   ChainedHashTable<Entry> table(101, 0);            // 101 buckets, never grows
//   table.insert(sp_HashValue(name), Entry{...});
//   Entry* e = table.find(sp_HashValue(name), [&](const Entry& x) { return x.name == name; });
//
// The caller supplies each value's hash (kept in the node, so rebuilding never recomputes
// it) and the equality test at lookup; the table compares nothing itself.
#pragma once

#include <cstddef>
#include <utility>

namespace nvsupport::detail {

/// The bucket counts a growing table moves through.
inline constexpr unsigned kHashTablePrimes[] = {
    2,        5,         11,        23,        47,        97,        197,      397,
    797,      1597,      3203,      6421,      12853,     25717,     51437,    102877,
    205759,   411527,    823117,    1646237,   3292489,   6584983,   13169977, 26339969,
    52679969, 105359939, 210719881, 421439783, 842879579, 1685759167};

/// The first prime of the list larger than `current`; the last prime when none is.
constexpr unsigned nextHashTablePrime(unsigned current) {
    for (unsigned p : kHashTablePrimes)
        if (p > current)
            return p;
    return kHashTablePrimes[sizeof(kHashTablePrimes) / sizeof(kHashTablePrimes[0]) - 1];
}

/// A chained hash table of `Value`s. Not locked: each owner decides who may use it.
template <class Value> class ChainedHashTable {
public:
    struct Node {
        unsigned hash;
        Value value;
        Node* next;
    };

    /// `buckets` chains (at least 1); with a positive `growthThreshold` the table is rebuilt
    /// with the next prime bucket count whenever size() / growthThreshold exceeds the
    /// bucket count; 0 never grows.
    ChainedHashTable(unsigned buckets, unsigned growthThreshold)
        : m_bucketCount(buckets ? buckets : 1), m_threshold(growthThreshold),
          m_buckets(new Node*[m_bucketCount]()) {}
    ~ChainedHashTable() {
        clear();
        delete[] m_buckets;
    }
    ChainedHashTable(const ChainedHashTable&) = delete;
    ChainedHashTable& operator=(const ChainedHashTable&) = delete;

    /// The first value in the chain of `hash` for which `equal(value)` holds, or nullptr.
    template <class Equal> Value* find(unsigned hash, Equal&& equal) const {
        for (Node* n = m_buckets[hash % m_bucketCount]; n; n = n->next)
            if (n->hash == hash && equal(n->value))
                return &n->value;
        return nullptr;
    }

    /// Pushes `value` on the front of its bucket's chain (after growing, when due) and
    /// returns the stored value.
    Value& insert(unsigned hash, Value value) {
        Node* n = new Node{hash, std::move(value), nullptr};
        Node*& head = m_buckets[hash % m_bucketCount];
        n->next = head;
        head = n;
        ++m_count;
        if (m_threshold > 0 && m_count / m_threshold > m_bucketCount)
            rebuild(nextHashTablePrime(m_bucketCount));
        return n->value;
    }

    /// Removes every value in the chain of `hash` for which `equal(value)` holds; returns
    /// how many were removed.
    template <class Equal> std::size_t remove(unsigned hash, Equal&& equal) {
        std::size_t removed = 0;
        for (Node** link = &m_buckets[hash % m_bucketCount]; *link;) {
            Node* n = *link;
            if (n->hash == hash && equal(n->value)) {
                *link = n->next;
                delete n;
                ++removed;
            } else {
                link = &n->next;
            }
        }
        m_count -= removed;
        return removed;
    }

    /// Calls `f(value)` for every value, bucket by bucket, each chain from its front.
    template <class F> void forEach(F&& f) const {
        for (unsigned b = 0; b < m_bucketCount; ++b)
            for (Node* n = m_buckets[b]; n; n = n->next)
                f(n->value);
    }

    /// Deletes every value; the bucket count stays.
    void clear() noexcept {
        for (unsigned b = 0; b < m_bucketCount; ++b) {
            for (Node* n = m_buckets[b]; n;) {
                Node* next = n->next;
                delete n;
                n = next;
            }
            m_buckets[b] = nullptr;
        }
        m_count = 0;
    }

    std::size_t size() const noexcept { return m_count; }
    unsigned bucketCount() const noexcept { return m_bucketCount; }
    /// Length of the chain of bucket `b` (for tests and statistics).
    std::size_t chainLength(unsigned b) const noexcept {
        std::size_t len = 0;
        for (Node* n = m_buckets[b]; n; n = n->next)
            ++len;
        return len;
    }

private:
    // Moves every node to the bucket of its hash modulo the new count, pushing it on the
    // front of that chain.
    void rebuild(unsigned newCount) {
        if (newCount <= m_bucketCount)
            return;
        Node** buckets = new Node*[newCount]();
        for (unsigned b = 0; b < m_bucketCount; ++b) {
            for (Node* n = m_buckets[b]; n;) {
                Node* next = n->next;
                Node*& head = buckets[n->hash % newCount];
                n->next = head;
                head = n;
                n = next;
            }
        }
        delete[] m_buckets;
        m_buckets = buckets;
        m_bucketCount = newCount;
    }

    unsigned m_bucketCount;
    unsigned m_threshold;
    Node** m_buckets;
    std::size_t m_count = 0;
};

} // namespace nvsupport::detail
