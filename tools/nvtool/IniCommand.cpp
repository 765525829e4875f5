// nvtool ini: reads and changes profile (INI) files through the library's profile functions.
#include "Command.h"

#include <nvsupport/Config/ProfileFile.h>
#include <nvsupport/Os/Posix/AutoFunc.h>

#include <cstdarg>
#include <cstring>
#include <vector>

namespace nvtool {

void iniHelp(std::FILE* out) {
    std::fputs(
        "nvtool ini FILE\n"
        "    Prints every section as \"[SECTION]\" followed by its keys as \"KEY=VALUE\" in file\n"
        "    order, sections separated by a blank line. A key written twice shows once, with\n"
        "    the value that counts (the later one). Comments are not shown.\n"
        "nvtool ini get FILE SECTION KEY\n"
        "    Prints the value of KEY in SECTION (names are case-blind).\n"
        "nvtool ini set FILE SECTION KEY VALUE\n"
        "    Sets KEY in SECTION to VALUE, creating the file, section or key as needed.\n"
        "nvtool ini delete FILE SECTION [KEY]\n"
        "    Deletes KEY (every line of it), or without KEY the whole SECTION.\n"
        "    A missing file, section or key exits with 1; write failures also exit with 1.\n"
        "    (To list a file named get, set or delete, write it as ./get.)\n",
        out);
}

namespace {

// Prints "nvtool: MESSAGE" on standard error and returns 1: the work failed.
int failure(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
int failure(const char* fmt, ...) {
    std::fputs("nvtool: ", stderr);
    va_list args;
    va_start(args, fmt);
    std::vfprintf(stderr, fmt, args);
    va_end(args);
    std::fputc('\n', stderr);
    return 1;
}

bool hasLineBreak(const char* s) {
    return std::strpbrk(s, "\r\n") != nullptr;
}

// The file's sections, or false when it does not exist.
bool sectionsOf(const char* file, YList<JString>* names) {
    return sp_GetProfileSectionNames(file, names);
}

// Explains why section/key was not found and returns 1.
int notFound(const char* file, const char* section, const char* key) {
    YList<JString> names;
    if (!sectionsOf(file, &names))
        return failure("%s: no such file", file);
    if (!names.find(section) || !key)
        return failure("%s: no section [%s]", file, section);
    return failure("%s: no key '%s' in section [%s]", file, key, section);
}

// Forgets every cached file, so the next call reads what is really on disk. The profile
// functions keep a change whose rewrite failed pending in the cache; a command-line tool
// that exits right after must find out whether the file took it.
void dropCache() {
    executeAutoFunction("Exit", nullptr);
}

// The value as it reads back after being written: outer blanks and tabs dropped, then one
// pair of enclosing double quotes.
JString asReadBack(const char* value) {
    JString v(value);
    v.stripLeading(" \t");
    v.stripTrailing(" \t");
    if (v.length() >= 2 && (*v)[0] == '"' && v.lastChar() == '"')
        v = JString(*v + 1, v.length() - 2);
    return v;
}

int list(const char* file) {
    YList<JString> sections;
    if (!sectionsOf(file, &sections))
        return failure("%s: no such file", file);
    bool first = true;
    for (const JString& s : sections) {
        std::printf("%s[%s]\n", first ? "" : "\n", *s);
        first = false;
        YList<JString> keys;
        sp_GetProfileKeyNames(file, s, &keys);
        std::vector<JString> shown;
        for (const JString& k : keys) {
            bool seen = false;
            for (const JString& d : shown)
                seen = seen || d == k;
            if (seen)
                continue;
            shown.push_back(k);
            JString value;
            sp_GetPrivateProfileString(*s, *k, file, &value);
            std::printf("%s=%s\n", *k, *value);
        }
    }
    return 0;
}

int get(const char* file, const char* section, const char* key) {
    JString value;
    if (!sp_GetPrivateProfileString(section, key, file, &value))
        return notFound(file, section, key);
    std::printf("%s\n", *value);
    return 0;
}

int set(const char* file, const char* section, const char* key, const char* value) {
    if (!*section || std::strpbrk(section, "[]") || hasLineBreak(section))
        return usageError("a SECTION must be non-empty, without brackets or line breaks");
    if (!*key || std::strchr(key, '=') || *key == ';' || *key == '[' || hasLineBreak(key))
        return usageError("a KEY must be non-empty, without '=' or line breaks, and must not "
                          "begin with ';' or '['");
    if (hasLineBreak(value))
        return usageError("a VALUE must not hold line breaks");
    sp_WritePrivateProfileString(file, section, key, value);
    dropCache();
    JString now;
    if (!sp_GetPrivateProfileString(section, key, file, &now) ||
        std::strcmp(*now, *asReadBack(value)) != 0)
        return failure("%s: could not write the file", file);
    return 0;
}

int removeEntry(const char* file, const char* section, const char* key) {
    if (key) {
        if (!sp_GetPrivateProfileString(section, key, file, nullptr))
            return notFound(file, section, key);
        sp_WritePrivateProfileString(file, section, key, nullptr);
        dropCache();
        if (sp_GetPrivateProfileString(section, key, file, nullptr))
            return failure("%s: could not write the file", file);
        return 0;
    }
    YList<JString> names;
    if (!sectionsOf(file, &names) || !names.find(section))
        return notFound(file, section, nullptr);
    sp_DeletePrivateProfileSection(file, section);
    dropCache();
    names.clear();
    if (!sectionsOf(file, &names) || names.find(section))
        return failure("%s: could not write the file", file);
    return 0;
}

} // namespace

int iniRun(int argc, char** argv) {
    if (argc == 0)
        return usageError("ini needs a FILE");
    const char* verb = argv[0];
    if (!std::strcmp(verb, "get")) {
        if (argc != 4)
            return usageError("usage: nvtool ini get FILE SECTION KEY");
        return get(argv[1], argv[2], argv[3]);
    }
    if (!std::strcmp(verb, "set")) {
        if (argc != 5)
            return usageError("usage: nvtool ini set FILE SECTION KEY VALUE");
        return set(argv[1], argv[2], argv[3], argv[4]);
    }
    if (!std::strcmp(verb, "delete")) {
        if (argc != 3 && argc != 4)
            return usageError("usage: nvtool ini delete FILE SECTION [KEY]");
        return removeEntry(argv[1], argv[2], argc == 4 ? argv[3] : nullptr);
    }
    if (argc != 1)
        return usageError("unexpected argument '%s' for ini (get, set or delete?)", argv[1]);
    if (verb[0] == '-')
        return usageError("unknown option '%s' for ini", verb);
    return list(verb);
}

} // namespace nvtool
