#include "AutoFunc.h"

#include "../../core/HashTable_p.h"
#include "../../text/Tokens.h"

#include <cstring>

namespace nvsupport::detail {
namespace {

// One registered function; withdrawn nodes met during a walk are only marked dead and
// unlinked once no walk is running, so a hook may withdraw any registration safely.
struct HookNode {
    void (*function)(void*);
    HookNode* next;
};

struct HookEntry {
    char name[32];
    HookNode* functions = nullptr; // newest first
};

struct HookRegistry {
    ChainedHashTable<HookEntry> table{101, 0};
    int walking = 0; // executeAutoFunction calls in progress
    bool pendingUnlink = false;

    ~HookRegistry() {
        table.forEach([](HookEntry& e) {
            for (HookNode* n = e.functions; n;) {
                HookNode* next = n->next;
                delete n;
                n = next;
            }
        });
    }
};

// Constant-initialised, so a module's static AutoFunc may be built before or after this
// file's own statics.
HookRegistry* g_registry = nullptr;
bool g_teardown = false;
bool g_teardownHookAdded = false; // once per process, in the first registry only

void copyName(char (&dst)[32], const char* src) {
    std::size_t n = src ? ::strnlen(src, 31) : 0;
    std::memcpy(dst, src ? src : "", n);
    dst[n] = 0;
}

HookEntry* findEntry(const char* name) {
    return g_registry->table.find(sp_HashValue(name),
                                  [&](const HookEntry& e) { return !std::strcmp(e.name, name); });
}

void setTeardown(void*) {
    g_teardown = true;
}

void addHook(const char* name, void (*function)(void*)) {
    HookEntry* e = findEntry(name);
    if (!e) {
        HookEntry fresh;
        copyName(fresh.name, name);
        e = &g_registry->table.insert(sp_HashValue(name), fresh);
    }
    for (HookNode* n = e->functions; n; n = n->next)
        if (n->function == function)
            return;
    e->functions = new HookNode{function, e->functions};
}

HookRegistry& registry() {
    if (!g_registry) {
        g_registry = new HookRegistry;
        // The library's own "Exit" hook, added before the first registration of the process
        // whichever module's static makes it: being the oldest it runs last, after every
        // module's exit hook, and then lets the registry be dismantled. It belongs to the
        // library's load, so a registry made again after that teardown does not get it.
        if (!g_teardownHookAdded) {
            g_teardownHookAdded = true;
            addHook("Exit", setTeardown);
        }
    }
    return *g_registry;
}

void unlinkDead(HookEntry& e) {
    for (HookNode** link = &e.functions; *link;) {
        HookNode* n = *link;
        if (!n->function) {
            *link = n->next;
            delete n;
        } else {
            link = &n->next;
        }
    }
}

} // namespace
} // namespace nvsupport::detail

using namespace nvsupport::detail;

AutoFunc::AutoFunc(const char* hookName, void (*fn)(void*)) : function(fn) {
    copyName(name, hookName);
    registry();
    addHook(name, function);
}

AutoFunc::~AutoFunc() {
    if (!g_registry)
        return;
    HookEntry* e = findEntry(name);
    if (!e)
        return;
    // The entry stays, possibly with an empty list.
    for (HookNode* n = e->functions; n; n = n->next)
        if (n->function == function)
            n->function = nullptr;
    if (g_registry->walking)
        g_registry->pendingUnlink = true;
    else
        unlinkDead(*e);
}

AutoFunc& AutoFunc::operator=(const AutoFunc& other) {
    std::memcpy(name, other.name, sizeof name);
    function = other.function;
    return *this;
}

void executeAutoFunction(const char* hookName, void* argument) {
    if (!g_registry)
        return;
    char name[32];
    copyName(name, hookName);
    HookEntry* e = findEntry(name);
    if (!e)
        return;
    ++g_registry->walking;
    for (HookNode* n = e->functions; n;) {
        HookNode* next = n->next; // read before the call, which may withdraw n
        if (n->function)
            n->function(argument);
        n = next;
    }
    if (--g_registry->walking > 0)
        return;
    if (g_teardown) {
        g_teardown = false;
        delete g_registry;
        g_registry = nullptr;
        return;
    }
    if (g_registry->pendingUnlink) {
        g_registry->pendingUnlink = false;
        g_registry->table.forEach([](HookEntry& x) { unlinkDead(x); });
    }
}
