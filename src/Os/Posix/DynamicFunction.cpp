#include "DynamicFunction.h"

#include <cstring>

namespace nvsupport::detail {
namespace {

struct Publication {
    char name[32];
    void* function;
    Publication* next;
};

// Newest first; absent (null) whenever nothing is published. Constant-initialised, so
// publications made by other modules' statics in any order are safe.
Publication* g_publications = nullptr;
int g_count = 0;

void copyName(char (&dst)[32], const char* src) {
    std::size_t n = src ? ::strnlen(src, 31) : 0;
    std::memcpy(dst, src ? src : "", n);
    dst[n] = 0;
}

} // namespace
} // namespace nvsupport::detail

using namespace nvsupport::detail;

MakeDynamicFunction::MakeDynamicFunction(void* fn, const char* publishedName) : function(fn) {
    copyName(name, publishedName);
    Publication* p = new Publication{{}, function, g_publications};
    std::memcpy(p->name, name, sizeof name);
    g_publications = p;
    ++g_count;
}

MakeDynamicFunction::~MakeDynamicFunction() {
    for (Publication** link = &g_publications; *link;) {
        Publication* p = *link;
        if (!std::strcmp(p->name, name)) {
            *link = p->next;
            delete p;
            --g_count;
        } else {
            link = &p->next;
        }
    }
}

MakeDynamicFunction& MakeDynamicFunction::operator=(const MakeDynamicFunction& other) {
    std::memcpy(name, other.name, sizeof name);
    function = other.function;
    return *this;
}

void* support_GetDynamicFunction(const JString& publishedName) {
    char name[32];
    copyName(name, *publishedName);
    for (Publication* p = g_publications; p; p = p->next)
        if (!std::strcmp(p->name, name))
            return p->function;
    return nullptr;
}
