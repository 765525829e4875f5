#include "Path.h"

#include "../Os/Posix/FileSystem_p.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

using nvsupport::detail::FileKind;

// Component bounds of the splitter, terminator included: what a caller's fixed buffers
// hold. Longer components are cut to one byte less.
constexpr std::size_t kMaxDrive = 3;
constexpr std::size_t kMaxComponent = 256;

constexpr bool isSeparator(char c) noexcept {
    return c == '/' || c == '\\';
}

constexpr bool isAsciiLetter(char c) noexcept {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

JString makeJString(std::string_view s) {
    return JString(s.data(), static_cast<int>(s.size()));
}

JString cut(const char* begin, std::size_t size, std::size_t bound) {
    return makeJString(std::string_view(begin, size < bound ? size : bound - 1));
}

// The four components by the rules of _splitpath: the drive is the first two bytes when
// the second is a colon, the directory runs to the last separator (inclusive), the
// extension starts at the last dot after it. Bytes above 127 are plain name bytes.
void split(const char* path, PathName* out) {
    const char* p = path;
    std::size_t driveLength = (p[0] && p[1] == ':') ? 2 : 0;
    out->drive = cut(p, driveLength, kMaxDrive);
    p += driveLength;

    const char* nameStart = p;
    const char* dot = nullptr;
    const char* end = p;
    for (; *end; ++end) {
        if (isSeparator(*end))
            nameStart = end + 1;
        else if (*end == '.')
            dot = end;
    }
    out->dir = cut(p, static_cast<std::size_t>(nameStart - p), kMaxComponent);
    if (dot && dot >= nameStart) {
        out->fname = cut(nameStart, static_cast<std::size_t>(dot - nameStart), kMaxComponent);
        out->ext = cut(dot, static_cast<std::size_t>(end - dot), kMaxComponent);
    } else {
        out->fname = cut(nameStart, static_cast<std::size_t>(end - nameStart), kMaxComponent);
        out->ext = JString();
    }
}

// Every '\' turned into '/': the form paths are returned in and handed to the system.
JString slashed(const JString& path) {
    const char* s = *path;
    if (!std::strchr(s, '\\'))
        return path;
    std::string copy(s);
    for (char& c : copy)
        if (c == '\\')
            c = '/';
    return makeJString(copy);
}

bool isRelative(std::string_view path) noexcept {
    std::size_t i = (path.size() >= 2 && isAsciiLetter(path[0]) && path[1] == ':') ? 2 : 0;
    return i >= path.size() || !isSeparator(path[i]);
}

// Separators become '/', empty and "." components go, ".." takes away the component before
// it. A relative path keeps the ".." it cannot apply at its front and is "." when nothing
// is left; an absolute path drops them, keeps its drive and a leading double separator,
// and is its root when nothing is left. "" stays "".
std::string clean(std::string_view path) {
    if (path.empty())
        return {};
    const bool absolute = !isRelative(path);
    std::string result;
    std::size_t i = 0;
    if (absolute) {
        if (isSeparator(path[0])) {
            result.append(path.size() > 1 && isSeparator(path[1]) ? "//" : "/");
        } else {
            result.append(path.substr(0, 2));
            result += '/';
            i = 2;
        }
    }
    std::vector<std::string_view> parts;
    std::size_t leadingUps = 0; // ".." kept at the front of a relative path
    while (i < path.size()) {
        std::size_t j = i;
        while (j < path.size() && !isSeparator(path[j]))
            ++j;
        std::string_view part = path.substr(i, j - i);
        i = j + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            else if (!absolute)
                ++leadingUps;
        } else {
            parts.push_back(part);
        }
    }
    for (std::size_t k = 0; k < leadingUps; ++k)
        result += k ? "/.." : "..";
    for (std::string_view part : parts) {
        if (!result.empty() && result.back() != '/')
            result += '/';
        result += part;
    }
    if (result.empty())
        result.push_back('.'); // append, not assign: GCC 12 -O3 sees a false -Wrestrict there
    return result;
}

// The path as the system is given it.
JString systemPath(const char* path) {
    return slashed(JString(path));
}

FileKind kindOf(const char* path) {
    return nvsupport::detail::fileKind(*systemPath(path));
}

} // namespace

void sp_SplitPath(JString path, PathName* out) {
    if (out)
        split(*path, out);
}

JString sp_MakePath(const PathName& path) {
    JString joined(path.drive.concat(path.dir).concat(path.fname).concat(path.ext));
    return slashed(joined);
}

JString sp_GetDirFromPath(const char* path) {
    if (!path)
        return JString();
    PathName parts;
    split(path, &parts);
    std::string dir(*slashed(parts.dir));
    while (!dir.empty() && dir.back() == '/')
        dir.pop_back();
    return JString(parts.drive.concat(dir.c_str()));
}

JString sp_GetFileName(const JString& path) {
    PathName parts;
    split(*path, &parts);
    return JString(parts.fname.concat(parts.ext));
}

JString sp_GetFileExt(const JString& path) {
    PathName parts;
    split(*path, &parts);
    return parts.ext;
}

JString sp_CrackSharedLibraryName(const JString& path) {
    PathName parts;
    split(*path, &parts);
    return parts.fname;
}

JString sp_GetFullPath(const JString& path) {
    if (!isRelative(*path))
        return makeJString(clean(*path));
    JString cwd = nvsupport::detail::currentDirectory();
    if (cwd.isEmpty())
        return JString();
    // No separator is added after one the current directory ends with ("/"), which would
    // make a network path's double separator.
    std::string full(*cwd);
    if (!isSeparator(full.back()))
        full += '/';
    full += *path;
    return makeJString(clean(full));
}

JString sp_CleanPath(const JString& path) {
    return makeJString(clean(*path));
}

JString sp_GetCwd() {
    return nvsupport::detail::currentDirectory();
}

JString sp_ConvertUnixToLocal(const JString& path) {
    // '/' already is the local separator.
    return path;
}

JString sp_ConvertLocalToUnix(const JString& path) {
    return slashed(path);
}

bool sp_ExistDir(JString path) {
    return kindOf(*path) == FileKind::Directory;
}

bool sp_ExistFile(const char* path) {
    return path && kindOf(path) == FileKind::Regular;
}

bool sp_MakeDir(const JString& path) {
    return nvsupport::detail::makeDirectory(*slashed(path));
}

bool sp_RemoveDir(const JString& path) {
    return nvsupport::detail::removeDirectory(*slashed(path));
}

bool sp_IsRelativePath(const JString& path) {
    return isRelative(*path);
}

bool sp_CopyFile(const JString& source, const JString& destination, bool overwrite) {
    if (!overwrite && sp_ExistFile(*destination))
        return false;
    return nvsupport::detail::copyFileContents(*slashed(source), *slashed(destination));
}

bool sp_ComparePaths(const JString& a, const JString& b) {
    nvsupport::detail::FileIdentity x, y;
    return nvsupport::detail::fileIdentity(*slashed(a), &x) &&
           nvsupport::detail::fileIdentity(*slashed(b), &y) && x.device == y.device &&
           x.inode == y.inode;
}

bool sp_CaseSensitiveFiles() {
    // Linux file systems keep and compare names byte for byte.
    return true;
}
