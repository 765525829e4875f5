// The shared block heap: equal-sized blocks inside one named shared block, with a free list
// and a lock kept in the shared memory itself, so that processes hand blocks to each other
// by number. A SharedBlockToken creates a heap, attaches to one by name, or finds this
// process's manager of one by id.
//
//   SharedBlockToken heap(4096, 64);                 // producer: 64 blocks of >= 4096 bytes
//   void* data;
//   std::int64_t block;
//   heap.get()->alloc(&data, &block);                // fill data, then
//   heap.get()->release(block);                      // send getHeapName() and block along
//
//   SharedBlockToken peer(heapName);                 // consumer, in another process
//   peer.get()->get(&data, block);                   // read, then
//   peer.get()->release(block); peer.get()->free(block);
#pragma once

#include "../core/JString.h"

#include <atomic>
#include <cstdint>
#include <vector>

/// Result of the block operations.
enum SharedBlockManagerError {
    SBM_OK = 0,        ///< done
    SBM_HEAP_FULL = 1, ///< no free block
    SBM_BAD_BLOCK = 2, ///< block number outside 0 .. N-1, or the block is free
    SBM_NOT_TAKEN = 3, ///< release of a block that is not taken
    SBM_TAKEN = 4,     ///< get or free of a block that is taken
    SBM_NO_HEAP = 5,   ///< the manager has no heap
    SBM_CORRUPT = 6,   ///< a block is in a state the operation does not expect
};

/// How a heap's blocks are laid out in views (computed, never stored).
struct ViewParameters {
    std::int64_t unitsPerView;  ///< U: granularity units in one view
    std::int64_t blocksPerView; ///< P: blocks in one view
    std::int64_t numViews;      ///< V: views of the heap
    std::int64_t stride;        ///< T: bytes from one block to the next; usable size T - 16
};

/// Not in the original interface: the view parameters of a heap of `numBlocks` blocks of at
/// least `blockSize` bytes for allocation granularity `granularity` (65536 on this
/// platform). With S = blockSize + 16: U = 1 when S < granularity / 16; otherwise U starts
/// at the units that hold S and grows while U < 32 and the P = U * granularity / S blocks of
/// a view use less than 16/17 of it. Then T = U * granularity / P and V = (numBlocks - 1) /
/// P + 1. Negative sizes and counts count as 0, values above 2^40 as 2^40; a granularity
/// above 2^30 counts as 2^30, one below 1 gives all fields 0.
ViewParameters sp_ComputeViewParameters(std::int64_t blockSize, std::int64_t numBlocks,
                                        std::int64_t granularity);

/// Not in the original interface: how many times, in this process, a heap operation waited
/// for a heap lock held elsewhere long enough to sleep a millisecond.
std::uint64_t sp_GetSharedHeapContentionCount();

namespace nvsupport::detail {
struct SharedHeapAccess;
}

/// This process's view of one shared block heap. Made and destroyed only through
/// SharedBlockToken.
///
/// Shared layout, little-endian: at 0 the requested block size (int64), at 8 the block count
/// N (int64), at 16 the first block of the free list (int64, -1 when empty), at 24 the lock
/// word (int32: 0 free, 1 held), at 28 "NV_SharedBlockManager" and a zero. Not in the
/// original layout: at 52 the id of the process holding the lock (int32, 0 when free or not
/// yet known). All this lies in the first granularity unit; views of U units follow, view i
/// at unit 1 + i * U, each holding P blocks at stride T; block k in view k / P at byte
/// T * (k mod P). A block begins with its next free block (int64, -1 at the end and while in
/// use), its state (int32: 0 free, 1 released, 2 taken) and 4 reserved bytes; its data
/// follows.
///
/// Every block operation holds the heap's lock, a spin lock in the shared memory: it tries
/// to change the word from 0 to 1; while that fails it pauses, spins up to 100 times while
/// the word stays set, and then sleeps 1 ms and counts a contention
/// (sp_GetSharedHeapContentionCount). Not in the original: a waiter that has slept 200 times
/// in one wait checks the process recorded as holder; when that process no longer exists
/// (killed while holding the lock) the waiter takes the lock over and goes on with the heap
/// as the dead holder left it. A holder that dies in the few instructions between setting
/// the word and recording its id cannot be detected.
class SharedBlockManager {
public:
    /// Takes the free block at the head of the free list: it becomes taken, *data receives
    /// its data address and *block its number (each only when not null, and only on SBM_OK).
    /// SBM_HEAP_FULL when no block is free; SBM_CORRUPT when the head block is not free or
    /// the head is no block number; SBM_NO_HEAP without a heap.
    SharedBlockManagerError alloc(void** data, std::int64_t* block);
    /// Taken -> released. SBM_NOT_TAKEN for a released block, SBM_BAD_BLOCK for a free one
    /// or a number outside 0 .. N-1, SBM_CORRUPT for an unknown state, SBM_NO_HEAP.
    SharedBlockManagerError release(std::int64_t block);
    /// Released -> taken; *data (when not null) receives the data address on SBM_OK.
    /// SBM_TAKEN for a taken block, SBM_BAD_BLOCK, SBM_CORRUPT, SBM_NO_HEAP as for release.
    SharedBlockManagerError get(void** data, std::int64_t block);
    /// Released -> free, at the front of the free list. SBM_TAKEN for a taken block,
    /// SBM_BAD_BLOCK, SBM_CORRUPT, SBM_NO_HEAP as for release.
    SharedBlockManagerError free(std::int64_t block);
    /// Usable bytes per block (T - 16, at least the requested size); 0 without a heap.
    std::int64_t getBlockSize() const noexcept { return m_header ? m_usable : 0; }
    /// How many of the blocks 0 .. N-1 are not free, counted without the lock; 0 without a
    /// heap.
    std::int64_t numBlocksAllocated() const noexcept;
    /// The name of the named shared block holding the heap (the name attached to, even when
    /// that failed).
    JString getHeapName() const { return m_heapName; }
    /// This manager's id in the process's registry (1, 2, ... never reused).
    int getId() const noexcept { return m_id; }

    SharedBlockManager(const SharedBlockManager&) = delete;
    SharedBlockManager& operator=(const SharedBlockManager&) = delete;

private:
    friend class SharedBlockToken;
    friend struct nvsupport::detail::SharedHeapAccess;

    SharedBlockManager();
    ~SharedBlockManager();
    void create(int blockSize, int numBlocks);
    void attach(const JString& heapName);
    // Maps the views of a heap of `numBlocks` blocks of `blockSize` bytes and fills the block
    // table; false when a view cannot be mapped or the tables cannot be made.
    bool mapViews(std::int64_t blockSize, std::int64_t numBlocks) noexcept;
    void unmapAll() noexcept;
    SharedBlockManagerError findBlock(std::int64_t block, char** b) const;

    JString m_heapName;
    char* m_header = nullptr;
    bool m_owner = false;
    int m_id;
    std::vector<char*> m_views;  // address of every mapped view
    std::vector<char*> m_blocks; // address of every block, by number
    std::int64_t m_numBlocks = 0;
    std::int64_t m_usable = 0;
    std::atomic<int> m_refCount{1};
};

/// A counted handle on this process's manager of a heap. It holds only the manager's id,
/// which means nothing outside this process: other processes name a heap by its heap name.
/// Creating, attaching, copying and destroying tokens is not locked: one thread at a time.
class SharedBlockToken {
public:
    /// An empty token (id -1).
    SharedBlockToken() noexcept = default;
    /// Creates a heap of `numBlocks` blocks of at least `blockSize` bytes (negative values
    /// count as 0) in a new named shared block, with every block free and blocks 0 .. N-1
    /// linked in order (a heap of 0 blocks starts full): a new manager with one reference. Throws
    /// MemoryException ("Could not allocate shared heap") when the memory cannot be created or
    /// mapped.
    SharedBlockToken(int blockSize, int numBlocks);
    /// Attaches to the heap in named block `heapName`: a new manager with one reference. When
    /// the block cannot be opened the manager has no heap (every block operation gives
    /// SBM_NO_HEAP). Throws MemoryException ("Could not map shared heap") when the header
    /// maps but the views do not (for example a block that is no heap).
    SharedBlockToken(const JString& heapName);
    /// Refers to this process's manager with id `id`; an empty token when there is none.
    SharedBlockToken(int id);
    /// Shares the manager of `other`.
    SharedBlockToken(const SharedBlockToken& other);
    /// Drops this token's reference and shares the manager of `other`.
    SharedBlockToken& operator=(const SharedBlockToken& other);
    /// Drops the reference; the last one destroys the manager: its views are unmapped, a
    /// heap created by this process is freed (its name removed) and the id is retired.
    ~SharedBlockToken();

    /// The manager, or nullptr for an empty token.
    SharedBlockManager* get() const;
    /// The manager's id, -1 for an empty token.
    int getId() const noexcept { return m_id; }

private:
    int m_id = -1;
};
