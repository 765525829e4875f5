#include "ProfileFile.h"

#include "../Os/Posix/AtomicFile_p.h"
#include "../Os/Posix/AutoFunc.h"
#include "../Os/Posix/FileFacts_p.h"
#include "../core/CaseFold_p.h"
#include "../core/HashTable_p.h"
#include "../paths/Path.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace nvsupport::detail {
namespace {

// One line of a section: a key line (possibly with an empty key, for a line without "="),
// or a comment line, which keeps its text in `comment` (never empty: it starts with ';').
struct ProfileEntry {
    JString section;
    JString key;
    JString value;
    JString comment;
    std::int32_t sequence;

    bool isComment() const noexcept { return !comment.isEmpty(); }
};

// Numbers every entry created in any file, so a section's lines can be written in the order
// they were read or added.
std::int32_t g_nextSequence = 0;

std::int32_t nextSequence() noexcept {
    std::int32_t s = g_nextSequence;
    g_nextSequence = static_cast<std::int32_t>(static_cast<std::uint32_t>(s) + 1u);
    return s;
}

constexpr unsigned kBuckets = 101;

// The running state of JString::hashValue (h = h * 65599 + upper-cased byte) after `text`,
// starting from `h`. The hash is this state's low 31 bits, which do not depend on the
// higher bits of earlier states, so a section's state can be continued with each key.
std::uint32_t hashState(std::uint32_t h, const char* text) noexcept {
    for (const char* p = text; *p; ++p)
        h = h * 65599u + static_cast<std::uint32_t>(asciiUpper(static_cast<signed char>(*p)));
    return h;
}

// JString::hashValue of `section` followed directly by `key`, without building the text.
unsigned pairHash(const char* section, const char* key) noexcept {
    return hashState(hashState(0, section), key) & 0x7FFFFFFFu;
}

// One cached file.
struct ProfileFile {
    explicit ProfileFile(JString fullPath) : path(std::move(fullPath)) {}

    JString path;
    std::int64_t modifiedNs = -1; // as last read or written; -1 and 0 are a missing file's
    std::int64_t size = 0;
    ChainedHashTable<ProfileEntry> entries{kBuckets, 0};
    YList<JString> sections; // in the order they are written
    bool dirty = false;
    bool utf16 = false; // the file began with a UTF-16 byte-order mark: read, never rewritten
    ProfileFile* next = nullptr;
};

struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept {
        return std::hash<std::string_view>{}(s);
    }
};

// The process-wide cache: the list of files, newest first, and a memo from names given as
// absolute paths to their objects, so repeated calls skip making the full path.
struct ProfileCache {
    ProfileFile* head = nullptr;
    std::unordered_map<std::string, ProfileFile*, NameHash, std::equal_to<>> byAbsoluteName;

    ~ProfileCache() {
        while (head) {
            ProfileFile* next = head->next;
            delete head;
            head = next;
        }
    }
};

ProfileCache* g_cache = nullptr;

// "Exit": drop every cached file without writing pending changes.
void releaseProfileCache(void*) {
    delete g_cache;
    g_cache = nullptr;
}

AutoFunc g_exitHook("Exit", releaseProfileCache);

// The cached object for the file `name` names, created empty on first use. Null for a null
// or empty name, or one that has no full path.
ProfileFile* cachedFile(const char* name) {
    if (!name || !*name)
        return nullptr;
    if (!g_cache)
        g_cache = new ProfileCache;
    const bool absolute = name[0] == '/';
    if (absolute) {
        auto it = g_cache->byAbsoluteName.find(std::string_view(name));
        if (it != g_cache->byAbsoluteName.end())
            return it->second;
    }
    JString full = sp_GetFullPath(JString(name));
    if (full.isEmpty())
        return nullptr; // a relative name while the current directory is gone
    ProfileFile* found = nullptr;
    for (ProfileFile* f = g_cache->head; f; f = f->next) {
        if (f->path.pathEqual(full)) {
            found = f;
            break;
        }
    }
    if (!found) {
        found = new ProfileFile(full);
        found->next = g_cache->head;
        g_cache->head = found;
    }
    if (absolute) {
        if (g_cache->byAbsoluteName.size() >= 4096) // many spellings: start the memo afresh
            g_cache->byAbsoluteName.clear();
        g_cache->byAbsoluteName.emplace(name, found);
    }
    return found;
}

bool isBlank(char c) noexcept {
    return c == ' ' || c == '\t';
}

JString span(const char* begin, const char* end) {
    return end > begin ? JString(begin, static_cast<int>(end - begin)) : JString();
}

// Calls take(begin, end) for each line of `text` that sp_ReadNextNonBlankLine would deliver,
// in order: carriage returns dropped, NUL bytes dropped (they still make a line non-blank),
// lines of only blanks and tabs skipped, an unterminated last line delivered. Working on the
// whole text at once spares a call per byte.
template <class F> void forEachNonBlankLine(const std::string& text, F take) {
    std::string scratch;
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', end - p));
        const char* lineEnd = nl ? nl : end;
        bool blank = true, clean = true;
        for (const char* q = p; q < lineEnd; ++q) {
            char c = *q;
            if (c == '\r' || c == 0)
                clean = false;
            if (c != ' ' && c != '\t' && c != '\r')
                blank = false;
        }
        if (!blank) {
            if (clean) {
                take(p, lineEnd);
            } else {
                scratch.clear();
                for (const char* q = p; q < lineEnd; ++q)
                    if (*q != '\r' && *q != 0)
                        scratch.push_back(*q);
                take(scratch.data(), scratch.data() + scratch.size());
            }
        }
        p = nl ? nl + 1 : end;
    }
}

// Fills `file` from the lines of `text`, in file order.
void parse(const std::string& text, ProfileFile& file) {
    std::vector<JString> sections;
    std::unordered_set<std::string> seen; // lower-cased names of `sections`
    JString current;                      // "" before the first header
    std::uint32_t sectionHash = 0;        // hashState of `current`
    bool inSection = false;
    forEachNonBlankLine(text, [&](const char* p, const char* end) {
        while (p < end && isBlank(*p))
            ++p;
        if (p < end && *p == ';') {
            file.entries.insert(
                sectionHash & 0x7FFFFFFFu,
                ProfileEntry{current, JString(), JString(), span(p, end), nextSequence()});
            return;
        }
        while (end > p && (isBlank(end[-1]) || end[-1] == '\n' || end[-1] == '\r'))
            --end;
        if (end > p && *p == '[' && end[-1] == ']') {
            const char* n = p;
            while (n < end && (*n == '[' || *n == ']'))
                ++n;
            const char* e = n;
            while (e < end && *e != '[' && *e != ']')
                ++e;
            current = span(n, e);
            sectionHash = hashState(0, *current);
            inSection = true;
            std::string lower(n, e);
            for (char& c : lower)
                c = static_cast<char>(asciiLower(static_cast<unsigned char>(c)));
            if (seen.insert(std::move(lower)).second)
                sections.push_back(current);
            return;
        }
        if (!inSection)
            return; // text before the first header
        JString key, value;
        if (const char* eq = static_cast<const char*>(std::memchr(p, '=', end - p))) {
            const char* k = eq;
            while (k > p && isBlank(k[-1]))
                --k;
            key = span(p, k);
            const char* v = eq + 1;
            while (v < end && isBlank(*v))
                ++v;
            const char* ve = end;
            while (ve > v && isBlank(ve[-1]))
                --ve;
            if (ve - v >= 2 && *v == '"' && ve[-1] == '"') {
                ++v;
                --ve;
            }
            value = span(v, ve);
        }
        unsigned h = hashState(sectionHash, *key) & 0x7FFFFFFFu;
        file.entries.insert(
            h, ProfileEntry{current, std::move(key), std::move(value), JString(), nextSequence()});
    });
    for (auto it = sections.rbegin(); it != sections.rend(); ++it)
        file.sections.push_front(*it);
}

// The text of the whole file: each listed section's header and lines in sequence order,
// sections separated by a blank line.
std::string format(const ProfileFile& file) {
    std::vector<const JString*> names;
    std::unordered_map<std::string, std::size_t> index; // lower-cased name -> position
    for (const JString& n : file.sections) {
        std::string lower(*n);
        for (char& c : lower)
            c = static_cast<char>(asciiLower(static_cast<unsigned char>(c)));
        index.emplace(std::move(lower), names.size());
        names.push_back(&n);
    }
    std::vector<std::vector<const ProfileEntry*>> lines(names.size());
    const char* lastBlock = nullptr; // entries of one section mostly share one text block
    std::size_t lastIndex = 0;
    bool lastListed = false;
    std::string lower;
    file.entries.forEach([&](const ProfileEntry& e) {
        if (*e.section != lastBlock) {
            lower.assign(*e.section);
            for (char& c : lower)
                c = static_cast<char>(asciiLower(static_cast<unsigned char>(c)));
            auto it = index.find(lower);
            lastListed = it != index.end();
            lastIndex = lastListed ? it->second : 0;
            lastBlock = *e.section;
        }
        if (lastListed) // comments above the first header belong to no listed section
            lines[lastIndex].push_back(&e);
    });
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            out += '\n';
        out += '[';
        out += **names[i];
        out += "]\n";
        std::sort(
            lines[i].begin(), lines[i].end(),
            [](const ProfileEntry* a, const ProfileEntry* b) { return a->sequence < b->sequence; });
        for (const ProfileEntry* e : lines[i]) {
            if (e->isComment()) {
                out += *e->comment;
            } else {
                out += *e->key;
                out += '=';
                out += *e->value;
            }
            out += '\n';
        }
    }
    return out;
}

// Writes the whole file; false (nothing on disk changed) when it cannot. A file that began
// with a UTF-16 byte-order mark is never rewritten in 8-bit text: its changes stay pending,
// as those of a file that cannot be written do.
bool rewrite(const ProfileFile& file) {
    if (file.utf16)
        return false;
    return replaceFileContents(*file.path, format(file));
}

// Re-reads the file when its modification time or size changed since it was last read or
// written; otherwise retries a pending rewrite.
void bringUpToDate(ProfileFile& file) {
    std::int64_t modified = -1, size = 0;
    fileStamp(*file.path, &modified, &size);
    if (modified == file.modifiedNs && size == file.size) {
        // The stored stamp stays, so the next call reads back what was written.
        if (file.dirty && rewrite(file))
            file.dirty = false;
        return;
    }
    // The text is read before the old entries go, which keeps the allocator from merging
    // thousands of freed blocks just to find room for it.
    TextStart start = TextStart::Plain;
    std::string text;
    const bool read = readTextFile(*file.path, &text, &start);
    file.entries.clear();
    file.sections.clear();
    file.utf16 = false;
    if (!read) // the object stays empty; dirty and the stamp stay as they were
        return;
    // A UTF-16 file is read with its zero bytes dropped before the text is cut into lines,
    // so the high byte of a line feed does not begin a line of its own.
    file.utf16 = start == TextStart::Utf16;
    if (file.utf16)
        text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
    parse(text, file);
    file.dirty = false;
    file.modifiedNs = modified;
    file.size = size;
}

bool fileExists(const ProfileFile& file) {
    std::int64_t modified, size;
    return fileStamp(*file.path, &modified, &size);
}

// Rewrites a file with pending changes and records the new stamp; then whether the file
// exists.
bool finishChange(ProfileFile& file) {
    if (file.dirty && rewrite(file)) {
        file.dirty = false;
        fileStamp(*file.path, &file.modifiedNs, &file.size);
    }
    return fileExists(file);
}

ProfileEntry* findEntry(ProfileFile& file, const char* section, const char* key) {
    return file.entries.find(pairHash(section, key), [&](const ProfileEntry& e) {
        return !e.isComment() && caseBlindEqual(*e.key, key) && caseBlindEqual(*e.section, section);
    });
}

// Sets one value (no rewrite); marks the file dirty when something changed.
void setValue(ProfileFile& file, const char* section, const char* key, const char* value) {
    if (ProfileEntry* e = findEntry(file, section, key)) {
        if (std::strcmp(*e->value, value) != 0) {
            e->value = value;
            file.dirty = true;
        }
        return;
    }
    if (!file.sections.find(section))
        file.sections.push_front(JString(section));
    file.entries.insert(
        pairHash(section, key),
        ProfileEntry{JString(section), JString(key), JString(value), JString(), nextSequence()});
    file.dirty = true;
}

} // namespace
} // namespace nvsupport::detail

using namespace nvsupport::detail;

bool sp_GetPrivateProfileString(const char* section, const char* key, const char* file,
                                JString* value) {
    if (value)
        *value = JString();
    ProfileFile* f = cachedFile(file);
    if (!f || !section || !key)
        return false;
    bringUpToDate(*f);
    const ProfileEntry* e = findEntry(*f, section, key);
    if (!e)
        return false;
    if (value)
        *value = e->value;
    return true;
}

bool sp_GetProfileSectionNames(const JString& file, YList<JString>* names) {
    if (!names)
        return false;
    ProfileFile* f = cachedFile(*file);
    if (!f || !fileExists(*f))
        return false;
    bringUpToDate(*f);
    *names = f->sections;
    return true;
}

bool sp_GetProfileKeyNames(const JString& file, const JString& section, YList<JString>* names) {
    ProfileFile* f = cachedFile(*file);
    if (!f || !fileExists(*f))
        return false;
    bringUpToDate(*f);
    if (!f->sections.find(*section))
        return false;
    std::vector<const ProfileEntry*> keys;
    f->entries.forEach([&](const ProfileEntry& e) {
        if (!e.isComment() && caseBlindEqual(*e.section, *section))
            keys.push_back(&e);
    });
    std::sort(keys.begin(), keys.end(), [](const ProfileEntry* a, const ProfileEntry* b) {
        return a->sequence < b->sequence;
    });
    if (names) {
        // Appending at the tail walks the list once, not once per key.
        YList<JString> added;
        for (auto it = keys.rbegin(); it != keys.rend(); ++it)
            added.push_front((*it)->key);
        for (const JString& k : added)
            names->push_back(k);
    }
    return true;
}

bool sp_WritePrivateProfileString(const char* file, const char* section, const char* key,
                                  const char* value) {
    ProfileFile* f = cachedFile(file);
    if (!f)
        return false;
    bringUpToDate(*f);
    if (!section || !key)
        return fileExists(*f);
    if (value) {
        setValue(*f, section, key, value);
    } else if (findEntry(*f, section, key)) {
        f->entries.remove(pairHash(section, key), [&](const ProfileEntry& e) {
            return !e.isComment() && caseBlindEqual(*e.key, key) &&
                   caseBlindEqual(*e.section, section);
        });
        f->dirty = true;
    }
    return finishChange(*f);
}

bool sp_WritePrivateProfileStrings(const JString& file, const JString& section,
                                   const YList<NameValuePair>& pairs) {
    ProfileFile* f = cachedFile(*file);
    if (!f)
        return false;
    bringUpToDate(*f);
    for (const NameValuePair& p : pairs)
        setValue(*f, *section, *p.name, *p.value);
    return finishChange(*f);
}

int sp_DeletePrivateProfileSection(const JString& file, const JString& section) {
    ProfileFile* f = cachedFile(*file);
    if (!f)
        return 0;
    bringUpToDate(*f);
    if (!f->sections.find(*section))
        return 0;
    auto inSection = [&](const ProfileEntry& e) { return caseBlindEqual(*e.section, *section); };
    std::unordered_set<unsigned> hashes;
    f->entries.forEach([&](const ProfileEntry& e) {
        if (inSection(e))
            hashes.insert(pairHash(*e.section, *e.key));
    });
    std::size_t removed = 0;
    for (unsigned h : hashes)
        removed += f->entries.remove(h, inSection);
    std::vector<JString> rest;
    for (const JString& n : f->sections)
        if (!(n == section))
            rest.push_back(n);
    f->sections.clear();
    for (auto it = rest.rbegin(); it != rest.rend(); ++it)
        f->sections.push_front(*it);
    f->dirty = true;
    finishChange(*f);
    return static_cast<int>(removed);
}
