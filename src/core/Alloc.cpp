#include "Alloc.h"

#include <cstdlib>
#include <cstring>

void* tmalloc(unsigned size) {
    if (size == 0)
        return nullptr;
    void* p = std::malloc(size);
    if (p)
        std::memset(p, 0, size);
    return p;
}

void* trealloc(void* p, unsigned size) {
    if (size == 0) {
        std::free(p);
        return nullptr;
    }
    if (!p)
        return tmalloc(size);
    return std::realloc(p, size);
}

void txfree(void* p) {
    if (p)
        std::free(p);
}
