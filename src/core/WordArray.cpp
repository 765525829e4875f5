#include "WordArray.h"
#include "WordArray_p.h"

#include "../Os/Posix/AutoFunc.h"
#include "../text/EngNotation.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

namespace nvsupport::detail {

// A vector of the caller's word pointers, recycled through the pool.
struct WordVector {
    char** words;
    int size;
    int capacity;
    bool zeroFill;
    WordVector* nextFree;
};

namespace {

// Returned vectors, most recent first. Constant-initialised and unlocked.
WordVector* g_pool = nullptr;

void freePool(void*) {
    while (WordVector* v = g_pool) {
        g_pool = v->nextFree;
        std::free(v->words);
        delete v;
    }
}

// Frees the pool when the host runs its "Exit" hooks, and at process exit in any case.
AutoFunc g_exitHook("Exit", freePool);
struct PoolAtExit {
    ~PoolAtExit() { freePool(nullptr); }
} g_poolAtExit;

char** allocWords(int n) {
    char** p = static_cast<char**>(std::calloc(std::size_t(n), sizeof(char*)));
    if (!p)
        throw std::bad_alloc();
    return p;
}

WordVector* takeVector() {
    if (WordVector* v = g_pool) {
        g_pool = v->nextFree;
        v->nextFree = nullptr;
        return v;
    }
    return new WordVector{allocWords(50), 0, 50, true, nullptr};
}

// Makes room for `needed` words: the capacity becomes old size / 2 + the new size.
void reserve(WordVector* v, int needed) {
    if (needed <= v->capacity)
        return;
    int capacity = v->size / 2 + needed;
    char** words = allocWords(capacity);
    std::memcpy(words, v->words, std::size_t(v->size) * sizeof(char*));
    std::free(v->words);
    v->words = words;
    v->capacity = capacity;
}

} // namespace

int wordVectorPoolSize() {
    int n = 0;
    for (WordVector* v = g_pool; v; v = v->nextFree)
        ++n;
    return n;
}

} // namespace nvsupport::detail

using namespace nvsupport::detail;

WordArray::WordArray(int argc, char** argv) : m_vector(takeVector()), m_count(0) {
    for (int i = 1; argv && i < argc; ++i) {
        if (!argv[i])
            continue;
        reserve(m_vector, m_count + 1);
        m_vector->words[m_count++] = argv[i];
        m_vector->size = m_count;
    }
}

WordArray::~WordArray() {
    std::memset(m_vector->words, 0, std::size_t(m_vector->capacity) * sizeof(char*));
    m_vector->size = 0;
    m_vector->nextFree = g_pool;
    g_pool = m_vector;
}

const char* WordArray::word(int i) const {
    return (i >= 0 && i < m_count) ? m_vector->words[i] : nullptr;
}

JString WordArray::operator[](int i) const {
    return JString(word(i));
}

double WordArray::real(int i, double def) const {
    const char* w = word(i);
    return w ? sp_ConvertEngToReal(w, nullptr) : def;
}

int WordArray::integer(int i, int def) const {
    const char* w = word(i);
    if (!w)
        return def;
    // atoi's reading, without its undefined behaviour on numbers out of range: those
    // saturate at the int limits.
    long long v = std::strtoll(w, nullptr, 10);
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

const char* WordArray::string(int i, const char* def) const {
    const char* w = word(i);
    return w ? w : def;
}

JString WordArray::getFlattenedLine() {
    JString line;
    for (int i = 0; i < m_count; ++i) {
        if (i)
            line &= " ";
        line &= m_vector->words[i];
    }
    return line;
}

bool WordArray::argsAreEmpty(const YList<int>& indices) {
    for (int i : indices) {
        const char* w = word(i);
        if (w && !*w)
            return true;
    }
    return false;
}
