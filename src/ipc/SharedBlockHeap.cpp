#include "SharedBlockHeap.h"

#include "../Os/Posix/SharedMemory_p.h"
#include "../core/HashTable_p.h"
#include "../diag/NorvaneException.h"
#include "SharedBlock.h"
#include "SharedBlockHeap_p.h"
#include "SharedBlock_p.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

namespace nvsupport::detail {

namespace {

constexpr std::int64_t kLargest = std::int64_t(1) << 40;

// Header fields, by offset in the first granularity unit.
constexpr std::size_t kBlockSizeAt = 0;
constexpr std::size_t kCountAt = 8;
constexpr std::size_t kFreeHeadAt = 16;
constexpr std::size_t kLockAt = 24;
constexpr std::size_t kMagicAt = 28;
constexpr char kMagic[22] = "NV_SharedBlockManager";
constexpr std::size_t kHolderAt = 52; // ours: first aligned word after the magic text

// Block header fields, by offset in the block. Blocks need not be aligned (the stride may
// be odd), so they are read and written byte-wise.
constexpr std::size_t kNextAt = 0;
constexpr std::size_t kStateAt = 8;
constexpr std::int64_t kBlockHeader = 16;

enum : std::int32_t { kFree = 0, kReleased = 1, kTaken = 2 };

constexpr int kSpins = 100;
constexpr int kSleepsBeforeTakeOver = 200;

std::atomic<std::uint64_t> g_contentions{0};

std::int64_t load64(const char* p) noexcept {
    std::int64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
void store64(char* p, std::int64_t v) noexcept {
    std::memcpy(p, &v, sizeof v);
}
std::int32_t load32(const char* p) noexcept {
    std::int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
void store32(char* p, std::int32_t v) noexcept {
    std::memcpy(p, &v, sizeof v);
}

std::atomic_ref<std::int32_t> word(char* header, std::size_t at) noexcept {
    return std::atomic_ref<std::int32_t>(*reinterpret_cast<std::int32_t*>(header + at));
}

void lockHeap(char* header) noexcept {
    auto lock = word(header, kLockAt);
    auto holder = word(header, kHolderAt);
    const int self = currentProcessId();
    int sleeps = 0;
    for (;;) {
        std::int32_t expected = 0;
        if (lock.compare_exchange_strong(expected, 1, std::memory_order_acquire,
                                         std::memory_order_relaxed))
            break;
        cpuPause();
        if (lock.load(std::memory_order_relaxed) == 0)
            continue;
        int spins = 0;
        while (spins < kSpins && lock.load(std::memory_order_relaxed) != 0) {
            cpuPause();
            ++spins;
        }
        if (spins < kSpins)
            continue;
        sleepMilliseconds(1);
        g_contentions.fetch_add(1, std::memory_order_relaxed);
        if (++sleeps < kSleepsBeforeTakeOver)
            continue;
        // The holder may have died with the lock. Whoever swaps the dead id for its own
        // holds the lock now; the word stays 1 throughout.
        std::int32_t dead = holder.load(std::memory_order_relaxed);
        if (dead > 0 && dead != self && !processAlive(dead) &&
            holder.compare_exchange_strong(dead, self, std::memory_order_acquire,
                                           std::memory_order_relaxed))
            return;
    }
    holder.store(self, std::memory_order_relaxed);
}

void unlockHeap(char* header) noexcept {
    // The id goes first: once the word is 0 the next holder may record its own.
    word(header, kHolderAt).store(0, std::memory_order_relaxed);
    word(header, kLockAt).fetch_sub(1, std::memory_order_release);
}

class HeapLock {
public:
    explicit HeapLock(char* header) noexcept : m_header(header) { lockHeap(header); }
    ~HeapLock() { unlockHeap(m_header); }
    HeapLock(const HeapLock&) = delete;
    HeapLock& operator=(const HeapLock&) = delete;

private:
    char* m_header;
};

struct Registered {
    SharedBlockManager* manager;
    int id;
};

// The managers of this process by id. Never destroyed, so tokens in static objects may
// outlive everything else.
struct Registry {
    ChainedHashTable<Registered> table{101, 0};
    int nextId = 1;
};

Registry& registry() {
    static Registry* r = new Registry;
    return *r;
}

SharedBlockManager* findManager(int id) {
    if (id < 0)
        return nullptr;
    Registered* r = registry().table.find(static_cast<unsigned>(id),
                                          [id](const Registered& x) { return x.id == id; });
    return r ? r->manager : nullptr;
}

} // namespace

bool SharedHeapAccess::lock(SharedBlockManager* manager) {
    if (!manager || !manager->m_header)
        return false;
    lockHeap(manager->m_header);
    return true;
}

void SharedHeapAccess::unlock(SharedBlockManager* manager) {
    if (manager && manager->m_header)
        unlockHeap(manager->m_header);
}

int SharedHeapAccess::holder(const SharedBlockManager* manager) {
    if (!manager || !manager->m_header)
        return -1;
    return word(manager->m_header, kHolderAt).load(std::memory_order_relaxed);
}

} // namespace nvsupport::detail

using namespace nvsupport::detail;

ViewParameters sp_ComputeViewParameters(std::int64_t blockSize, std::int64_t numBlocks,
                                        std::int64_t granularity) {
    if (granularity < 1)
        return {0, 0, 0, 0};
    const std::int64_t g = std::min<std::int64_t>(granularity, std::int64_t(1) << 30);
    const std::int64_t n = std::clamp<std::int64_t>(numBlocks, 0, kLargest);
    const std::int64_t s = std::clamp<std::int64_t>(blockSize, 0, kLargest) + kBlockHeader;
    std::int64_t u = 1;
    if (s >= g / 16) {
        u = (s + g - 1) / g;
        while (u < 32 && 16 * u * g > 17 * (u * g / s) * s)
            ++u;
    }
    const std::int64_t p = u * g / s;
    return {u, p, (n - 1) / p + 1, u * g / p};
}

std::uint64_t sp_GetSharedHeapContentionCount() {
    return g_contentions.load(std::memory_order_relaxed);
}

SharedBlockManager::SharedBlockManager() {
    Registry& r = registry();
    m_id = r.nextId++;
    r.table.insert(static_cast<unsigned>(m_id), Registered{this, m_id});
}

SharedBlockManager::~SharedBlockManager() {
    unmapAll();
    if (m_owner)
        sp_FreeSharedBlock(m_heapName);
    const int id = m_id;
    registry().table.remove(static_cast<unsigned>(id),
                            [id](const Registered& x) { return x.id == id; });
}

bool SharedBlockManager::mapViews(std::int64_t blockSize, std::int64_t numBlocks) noexcept {
    const ViewParameters vp =
        sp_ComputeViewParameters(blockSize, numBlocks, sp_GetSharedBlockGranularity());
    try {
        // Views are mapped before any table is sized from them, so a header with absurd
        // numbers fails at the first view beyond the block's end.
        for (std::int64_t i = 0; i < vp.numViews; ++i) {
            void* view =
                mapSharedBlock(*m_heapName, 1 + i * vp.unitsPerView, vp.unitsPerView, false);
            if (!view)
                return false;
            m_views.push_back(static_cast<char*>(view));
        }
        m_blocks.resize(static_cast<std::size_t>(vp.blocksPerView * vp.numViews));
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::size_t k = 0;
    for (char* view : m_views)
        for (std::int64_t j = 0; j < vp.blocksPerView; ++j)
            m_blocks[k++] = view + vp.stride * j;
    m_numBlocks = std::clamp<std::int64_t>(numBlocks, 0, kLargest);
    m_usable = vp.stride - kBlockHeader;
    return true;
}

void SharedBlockManager::unmapAll() noexcept {
    for (char* view : m_views)
        sp_ReleaseSharedBlock(view);
    m_views.clear();
    m_blocks.clear();
    m_numBlocks = 0;
    if (m_header)
        sp_ReleaseSharedBlock(m_header);
    m_header = nullptr;
}

void SharedBlockManager::create(int blockSize, int numBlocks) {
    const std::int64_t size = std::max(blockSize, 0), count = std::max(numBlocks, 0);
    const std::int64_t g = sp_GetSharedBlockGranularity();
    const ViewParameters vp = sp_ComputeViewParameters(size, count, g);
    m_heapName =
        allocateSharedBlock(static_cast<std::uint64_t>(g * (vp.unitsPerView * vp.numViews + 1)));
    if (m_heapName.isEmpty())
        throw MemoryException("Could not allocate shared heap");
    m_owner = true;
    m_header = static_cast<char*>(mapSharedBlock(*m_heapName, 0, 1, false));
    if (m_header) {
        store64(m_header + kBlockSizeAt, size);
        store64(m_header + kCountAt, count);
        store64(m_header + kFreeHeadAt, count > 0 ? 0 : -1);
        store32(m_header + kLockAt, 0);
        std::memcpy(m_header + kMagicAt, kMagic, sizeof kMagic);
    }
    if (!m_header || !mapViews(size, count)) {
        unmapAll();
        m_owner = false;
        sp_FreeSharedBlock(m_heapName);
        throw MemoryException("Could not allocate shared heap");
    }
    // Every block of the views is free and unlinked; blocks 0 .. N-1 then form the free list.
    for (char* b : m_blocks) {
        store64(b + kNextAt, -1);
        store32(b + kStateAt, kFree);
    }
    for (std::int64_t k = 0; k + 1 < count; ++k)
        store64(m_blocks[static_cast<std::size_t>(k)] + kNextAt, k + 1);
}

void SharedBlockManager::attach(const JString& heapName) {
    m_heapName = heapName;
    m_header = static_cast<char*>(mapSharedBlock(*heapName, 0, 1, false));
    if (!m_header)
        return; // no heap: every block operation says so
    if (!mapViews(load64(m_header + kBlockSizeAt), load64(m_header + kCountAt))) {
        unmapAll();
        throw MemoryException("Could not map shared heap");
    }
}

SharedBlockManagerError SharedBlockManager::alloc(void** data, std::int64_t* block) {
    if (!m_header)
        return SBM_NO_HEAP;
    HeapLock lock(m_header);
    const std::int64_t head = load64(m_header + kFreeHeadAt);
    if (head == -1)
        return SBM_HEAP_FULL;
    if (head < 0 || head >= m_numBlocks)
        return SBM_CORRUPT;
    char* b = m_blocks[static_cast<std::size_t>(head)];
    if (load32(b + kStateAt) != kFree)
        return SBM_CORRUPT;
    store64(m_header + kFreeHeadAt, load64(b + kNextAt));
    store64(b + kNextAt, -1);
    store32(b + kStateAt, kTaken);
    if (data)
        *data = b + kBlockHeader;
    if (block)
        *block = head;
    return SBM_OK;
}

// The address of block number `block`, or why there is none (no heap, a bad number).
SharedBlockManagerError SharedBlockManager::findBlock(std::int64_t block, char** b) const {
    if (!m_header)
        return SBM_NO_HEAP;
    if (block < 0 || block >= m_numBlocks)
        return SBM_BAD_BLOCK;
    *b = m_blocks[static_cast<std::size_t>(block)];
    return SBM_OK;
}

SharedBlockManagerError SharedBlockManager::release(std::int64_t block) {
    char* b = nullptr;
    if (SharedBlockManagerError e = findBlock(block, &b); e != SBM_OK)
        return e;
    HeapLock lock(m_header);
    switch (load32(b + kStateAt)) {
    case kTaken:
        store32(b + kStateAt, kReleased);
        return SBM_OK;
    case kReleased:
        return SBM_NOT_TAKEN;
    case kFree:
        return SBM_BAD_BLOCK;
    default:
        return SBM_CORRUPT;
    }
}

SharedBlockManagerError SharedBlockManager::get(void** data, std::int64_t block) {
    char* b = nullptr;
    if (SharedBlockManagerError e = findBlock(block, &b); e != SBM_OK)
        return e;
    HeapLock lock(m_header);
    switch (load32(b + kStateAt)) {
    case kReleased:
        store32(b + kStateAt, kTaken);
        if (data)
            *data = b + kBlockHeader;
        return SBM_OK;
    case kTaken:
        return SBM_TAKEN;
    case kFree:
        return SBM_BAD_BLOCK;
    default:
        return SBM_CORRUPT;
    }
}

SharedBlockManagerError SharedBlockManager::free(std::int64_t block) {
    char* b = nullptr;
    if (SharedBlockManagerError e = findBlock(block, &b); e != SBM_OK)
        return e;
    HeapLock lock(m_header);
    switch (load32(b + kStateAt)) {
    case kReleased:
        store32(b + kStateAt, kFree);
        store64(b + kNextAt, load64(m_header + kFreeHeadAt));
        store64(m_header + kFreeHeadAt, block);
        return SBM_OK;
    case kTaken:
        return SBM_TAKEN;
    case kFree:
        return SBM_BAD_BLOCK;
    default:
        return SBM_CORRUPT;
    }
}

std::int64_t SharedBlockManager::numBlocksAllocated() const noexcept {
    if (!m_header)
        return 0;
    std::int64_t n = 0;
    for (std::int64_t k = 0; k < m_numBlocks; ++k)
        n += load32(m_blocks[static_cast<std::size_t>(k)] + kStateAt) != kFree;
    return n;
}

SharedBlockToken::SharedBlockToken(int blockSize, int numBlocks) {
    SharedBlockManager* m = new SharedBlockManager;
    try {
        m->create(blockSize, numBlocks);
    } catch (...) {
        delete m;
        throw;
    }
    m_id = m->m_id;
}

SharedBlockToken::SharedBlockToken(const JString& heapName) {
    SharedBlockManager* m = new SharedBlockManager;
    try {
        m->attach(heapName);
    } catch (...) {
        delete m;
        throw;
    }
    m_id = m->m_id;
}

SharedBlockToken::SharedBlockToken(int id) {
    if (SharedBlockManager* m = findManager(id)) {
        m->m_refCount.fetch_add(1, std::memory_order_relaxed);
        m_id = id;
    }
}

SharedBlockToken::SharedBlockToken(const SharedBlockToken& other) : SharedBlockToken(other.m_id) {}

SharedBlockToken& SharedBlockToken::operator=(const SharedBlockToken& other) {
    if (this != &other) {
        SharedBlockToken keep(other); // referenced before the old reference goes
        std::swap(m_id, keep.m_id);
    }
    return *this;
}

SharedBlockToken::~SharedBlockToken() {
    SharedBlockManager* m = findManager(m_id);
    if (m && m->m_refCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete m;
}

SharedBlockManager* SharedBlockToken::get() const {
    return findManager(m_id);
}
