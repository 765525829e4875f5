#include "SharedBlock.h"

#include "../Os/Posix/SharedMemory_p.h"
#include "../core/CaseFold_p.h"
#include "../core/HashTable_p.h"
#include "SharedBlock_p.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace nvsupport::detail {

namespace {

constexpr std::int64_t kGranularity = 65536;
constexpr char kPrefix[] = "NorvaneSharedBlock";
constexpr std::size_t kPrefixLength = sizeof kPrefix - 1;

// A block this process has open.
struct Section {
    JString name;
    int fd;           // the object's descriptor: the section handle
    unsigned views;   // views mapped through it
    bool createdHere; // made by sp_AllocateSharedBlock in process `creator`
    int creator;      // a forked child inherits the list but did not create the blocks
    bool readOnly;    // access of `fd`
    Section* next;

    bool ownedHere() const noexcept { return createdHere && creator == currentProcessId(); }
};

// A mapped view. The length is kept because the system needs it to unmap.
struct View {
    JString name;
    void* address;
    std::uint64_t length;
};

struct Tables {
    Section* sections = nullptr; // newest first
    ChainedHashTable<View> views{1001, 0};
    unsigned counter = 0;
};

void removeNamesAtExit();

// Made on first use and never destroyed, so views and names stay usable from other
// modules' static destructors; the names this process created go at exit.
Tables& tables() {
    static Tables* t = [] {
        std::atexit(removeNamesAtExit);
        return new Tables;
    }();
    return *t;
}

void removeNamesAtExit() {
    for (Section* s = tables().sections; s; s = s->next)
        if (s->ownedHere()) {
            removeSharedMemory(*s->name);
            s->createdHere = false;
        }
}

unsigned addressHash(const void* address) noexcept {
    return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(address) % 1001);
}

Section* findSection(const char* name) noexcept {
    for (Section* s = tables().sections; s; s = s->next)
        if (caseBlindEqual(*s->name, name))
            return s;
    return nullptr;
}

void dropSection(Section* gone) noexcept {
    for (Section** link = &tables().sections; *link; link = &(*link)->next)
        if (*link == gone) {
            *link = gone->next;
            closeSharedMemory(gone->fd);
            delete gone;
            return;
        }
}

// Closes a section that nothing in this process needs any more.
void dropIfUnused(Section* s) noexcept {
    if (s->views == 0 && !s->ownedHere())
        dropSection(s);
}

// Parses "NorvaneSharedBlock<digits>_<digits>" and gives the creator's id; 0 otherwise.
int creatorOf(const char* name) noexcept {
    if (std::strncmp(name, kPrefix, kPrefixLength) != 0)
        return 0;
    const char* p = name + kPrefixLength;
    const char* digits = p;
    while (*p >= '0' && *p <= '9')
        ++p;
    if (p == digits || *p != '_')
        return 0;
    long long pid = 0;
    digits = ++p;
    for (; *p >= '0' && *p <= '9'; ++p) {
        pid = pid * 10 + (*p - '0');
        if (pid > INT_MAX)
            return 0;
    }
    return (p == digits || *p) ? 0 : static_cast<int>(pid);
}

} // namespace

JString allocateSharedBlock(std::uint64_t size) {
    Tables& t = tables();
    const int pid = currentProcessId();
    // A name can only be taken already when an ended process had this same id; move on.
    for (int attempt = 0; attempt < 64; ++attempt) {
        JString name;
        name.sprintf("%s%u_%d", kPrefix, ++t.counter, pid);
        int fd = createSharedMemory(*name, size);
        if (fd >= 0) {
            t.sections = new Section{name, fd, 0, true, pid, false, t.sections};
            return name;
        }
        int existing = openSharedMemory(*name, true);
        if (existing < 0)
            break;
        closeSharedMemory(existing);
    }
    return JString();
}

void* mapSharedBlock(const char* name, std::int64_t offset, std::int64_t length, bool readOnly) {
    if (!name || !*name)
        return nullptr;
    Tables& t = tables();
    Section* s = findSection(name);
    if (!s) {
        int fd = openSharedMemory(name, readOnly);
        if (fd < 0)
            return nullptr; // not listed: a later call opens it afresh
        s = t.sections = new Section{JString(name), fd, 0, false, 0, readOnly, t.sections};
    } else if (s->readOnly && !readOnly) {
        // Opened for reading before: views already mapped keep working on the old descriptor.
        int fd = openSharedMemory(*s->name, false);
        if (fd < 0)
            return nullptr;
        closeSharedMemory(s->fd);
        s->fd = fd;
        s->readOnly = false;
    }

    const std::int64_t size = sharedMemorySize(s->fd);
    std::int64_t from = 0, bytes = size;
    if (offset > 0 || length > 0) {
        const std::int64_t limit = INT64_MAX / kGranularity;
        if (offset > limit || length > limit) {
            dropIfUnused(s);
            return nullptr;
        }
        from = offset > 0 ? offset * kGranularity : 0;
        bytes = length > 0 ? length * kGranularity : size - from;
    }
    void* view = nullptr;
    if (size > 0 && from < size && bytes > 0 && bytes <= size - from)
        view = mapSharedMemory(s->fd, static_cast<std::uint64_t>(from),
                               static_cast<std::uint64_t>(bytes), readOnly);
    if (!view) {
        dropIfUnused(s);
        return nullptr;
    }
    const unsigned h = addressHash(view);
    if (View* known = t.views.find(h, [&](const View& v) { return v.address == view; })) {
        // The system handed out an address already recorded (its earlier view was undone
        // behind our back): one view, now of this length.
        known->length = static_cast<std::uint64_t>(bytes);
    } else {
        t.views.insert(h, View{s->name, view, static_cast<std::uint64_t>(bytes)});
        ++s->views;
    }
    return view;
}

long sharedBlockViewCount(const char* name) {
    const Section* s = name ? findSection(name) : nullptr;
    return s ? static_cast<long>(s->views) : -1;
}

bool sharedBlockCreatedHere(const char* name) {
    const Section* s = name ? findSection(name) : nullptr;
    return s && s->ownedHere();
}

} // namespace nvsupport::detail

using namespace nvsupport::detail;

int sp_GetSharedBlockGranularity() {
    return static_cast<int>(kGranularity);
}

JString sp_AllocateSharedBlock(unsigned int size) {
    return allocateSharedBlock(size);
}

void* sp_GetSharedBlock(const char* name, bool readOnly) {
    return mapSharedBlock(name, 0, 0, readOnly);
}

void* sp_GetSharedBlock(const char* name, int offset, int length, bool readOnly) {
    return mapSharedBlock(name, offset, length, readOnly);
}

void sp_ReleaseSharedBlock(void* view) {
    if (!view)
        return;
    Tables& t = tables();
    const unsigned h = addressHash(view);
    View* v = t.views.find(h, [&](const View& x) { return x.address == view; });
    if (!v)
        return;
    Section* s = findSection(*v->name);
    if (!s)
        return;
    unmapSharedMemory(view, v->length);
    t.views.remove(h, [&](const View& x) { return x.address == view; });
    if (s->views > 0)
        --s->views;
    dropIfUnused(s);
}

void sp_FreeSharedBlock(const JString& name) {
    Section* s = findSection(*name);
    if (!s || !s->ownedHere())
        return;
    removeSharedMemory(*s->name);
    s->createdHere = false;
    dropIfUnused(s);
}

int sp_CleanStaleSharedBlocks() {
    const int self = currentProcessId();
    int removed = 0;
    forEachSharedMemoryName([&](const char* name) {
        int pid = creatorOf(name);
        if (pid > 0 && pid != self && !processAlive(pid) && removeSharedMemory(name))
            ++removed;
    });
    return removed;
}
