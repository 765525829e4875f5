#include "Valloc.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <new>
#include <unordered_map>

namespace {

// Bytes in front of every block: the tag, then the region pointer.
constexpr std::uint64_t kHeaderBytes = 16;
constexpr std::uint64_t kMegabyte = 1048576;

// Its address is the tag that marks the header of every block of this allocator.
const char tagMarker = 0;

struct Region {
    char* base;                   // start of the reservation
    char* block;                  // header of the block (always base)
    std::uint64_t pageSize;       // system page size when the region was made
    std::uint64_t committedPages; // pages committed from base
    std::uint64_t reservedBytes;  // size of the reservation
    std::uint64_t usedBytes;      // bytes in use from base, header included
};

struct Header {
    const void* tag;
    Region* region;
};
static_assert(sizeof(Header) == kHeaderBytes);
static_assert(sizeof(std::size_t) >= 8, "reservations of up to 4 GB need 64-bit sizes");

// Live blocks by the address handed to the caller. Never destroyed, so blocks freed
// during static destruction still find it.
struct Registry {
    std::mutex lock;
    std::unordered_map<void*, Region*> blocks;
};

Registry& registry() {
    static Registry* r = new Registry;
    return *r;
}

// Pages that must be committed for a block ending at offset `end`: one page more than an
// exact fit when the end falls on a page boundary, but never past the reservation.
std::uint64_t pagesFor(const Region& r, std::uint64_t end) {
    std::uint64_t pages = end / r.pageSize + 1;
    std::uint64_t reservedPages = r.reservedBytes / r.pageSize;
    return pages < reservedPages ? pages : reservedPages;
}

// Commits pages committedPages .. pages-1 with read/write access.
bool commit(Region& r, std::uint64_t pages) {
    if (pages <= r.committedPages)
        return true;
    char* from = r.base + r.committedPages * r.pageSize;
    std::size_t length = static_cast<std::size_t>((pages - r.committedPages) * r.pageSize);
    if (mprotect(from, length, PROT_READ | PROT_WRITE) != 0)
        return false;
    r.committedPages = pages;
    return true;
}

// With the registry locked: the entry of the live block `p` whose header still carries
// the tag and its own region, or blocks.end(). The header is read only for registered
// blocks, whose first page is always committed.
auto findTagged(Registry& reg, void* p) {
    auto it = reg.blocks.find(p);
    if (it == reg.blocks.end())
        return it;
    const Header* h = reinterpret_cast<const Header*>(static_cast<char*>(p) - kHeaderBytes);
    if (h->tag != &tagMarker || h->region != it->second)
        return reg.blocks.end();
    return it;
}

Region* lookup(void* p) {
    Registry& reg = registry();
    std::lock_guard<std::mutex> guard(reg.lock);
    auto it = findTagged(reg, p);
    return it == reg.blocks.end() ? nullptr : it->second;
}

} // namespace

void* vMalloc(unsigned size, unsigned maxMegabytes) {
    const std::uint64_t reserved = std::uint64_t{maxMegabytes} * kMegabyte;
    const std::uint64_t need = std::uint64_t{size} + kHeaderBytes;
    if (reserved == 0 || need > reserved)
        return nullptr;
    long pageSize = sysconf(_SC_PAGESIZE);
    if (pageSize <= 0)
        return nullptr;

    void* base = mmap(nullptr, static_cast<std::size_t>(reserved), PROT_NONE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (base == MAP_FAILED)
        return nullptr;

    Region* r = new (std::nothrow) Region{static_cast<char*>(base),
                                          static_cast<char*>(base),
                                          static_cast<std::uint64_t>(pageSize),
                                          0,
                                          reserved,
                                          0};
    if (!r || !commit(*r, pagesFor(*r, need))) {
        delete r;
        munmap(base, static_cast<std::size_t>(reserved));
        return nullptr;
    }
    r->usedBytes = need;
    Header* h = reinterpret_cast<Header*>(r->block);
    h->tag = &tagMarker;
    h->region = r;
    void* p = r->block + kHeaderBytes;

    Registry& reg = registry();
    try {
        std::lock_guard<std::mutex> guard(reg.lock);
        reg.blocks.emplace(p, r);
    } catch (...) {
        delete r;
        munmap(base, static_cast<std::size_t>(reserved));
        return nullptr;
    }
    return p;
}

void* vRealloc(void* p, unsigned size) {
    if (!p)
        return nullptr;
    Region* r = lookup(p);
    if (!r)
        return nullptr;
    const std::uint64_t end = static_cast<std::uint64_t>(r->block - r->base) + size + kHeaderBytes;
    if (end > r->reservedBytes || !commit(*r, pagesFor(*r, end)))
        return nullptr;
    r->usedBytes = end;
    return p;
}

void vFree(void* p) {
    if (!p)
        return;
    Region* r = nullptr;
    {
        Registry& reg = registry();
        std::lock_guard<std::mutex> guard(reg.lock);
        auto it = findTagged(reg, p);
        if (it == reg.blocks.end())
            return;
        r = it->second;
        reg.blocks.erase(it);
    }
    munmap(r->base, static_cast<std::size_t>(r->reservedBytes));
    delete r;
}
