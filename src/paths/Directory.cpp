#include "Directory.h"

#include "../Os/Posix/DirectoryListing_p.h"
#include "../Os/Posix/FileFacts.h"
#include "../text/Pattern.h"
#include "Path.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

JString fromView(std::string_view s) {
    return JString(s.data(), static_cast<int>(s.size()));
}

// Splits at every '/', keeping empty components ("/a//b" gives "", "a", "", "b").
std::vector<std::string_view> splitKeepingEmpty(std::string_view s) {
    std::vector<std::string_view> parts;
    for (;;) {
        std::size_t slash = s.find('/');
        parts.push_back(s.substr(0, slash));
        if (slash == std::string_view::npos)
            return parts;
        s.remove_prefix(slash + 1);
    }
}

// Splits at every '/', dropping empty components.
std::vector<std::string_view> splitDroppingEmpty(std::string_view s) {
    std::vector<std::string_view> parts;
    for (std::string_view part : splitKeepingEmpty(s))
        if (!part.empty())
            parts.push_back(part);
    return parts;
}

void stripTrailingSlashes(std::string* s) {
    while (!s->empty() && s->back() == '/')
        s->pop_back();
}

// A leading drive ("C:": any byte and a colon, as sp_SplitPath takes it) and the rest.
std::pair<std::string_view, std::string_view> splitDrive(std::string_view path) {
    std::size_t n = path.size() >= 2 && path[1] == ':' ? 2 : 0;
    return {path.substr(0, n), path.substr(n)};
}

// Equality of file-name components, with letter case as file names have it.
bool sameName(std::string_view a, std::string_view b) {
    return fromView(a).pathEqual(fromView(b));
}

// `dir` + '/' + `name`, without doubling a separator `dir` already ends with ("/").
JString joinPath(const JString& dir, const JString& name) {
    if (dir.isEmpty() || dir.lastChar() == '/')
        return JString(dir.concat(name));
    return JString(dir.concat("/").concat(name));
}

// The visible files of `dir`, names only, in case-blind name order: the listing of `dir`
// + "/*" with the toolkit filter, which the tree operations use ("*" keeps every name, so
// no filter is compiled).
std::vector<JString> filesOf(const JString& dir) {
    return nvsupport::detail::listFiles(*dir, nullptr, sp_CaseSensitiveFiles());
}

} // namespace

SaveDirectory::SaveDirectory() : m_saved(sp_GetCwd()) {}

SaveDirectory::~SaveDirectory() {
    if (!m_saved.isEmpty())
        sp_ChangeDir(*m_saved);
}

int sp_ChangeDir(const char* path) {
    if (!path)
        return 1;
    while (*path == ' ' || *path == '\t')
        ++path;
    const JString target = sp_ConvertLocalToUnix(path);
    PathName parts;
    sp_SplitPath(target, &parts);
    const bool hasDrive = !parts.drive.isEmpty();
    if (!sp_ExistDir(target))
        return !hasDrive || sp_ExistDir(JString(parts.drive.concat("/"))) ? 1 : 2;
    if (hasDrive && !sp_ChangeDrive(parts.drive))
        return 2;
    return nvsupport::detail::setCurrentDirectory(*target) ? 0 : 1;
}

JString sp_SearchDirectories(JString file, const YList<JString>& dirs) {
    file = sp_ConvertLocalToUnix(file);
    if (file.isEmpty())
        return JString();
    if (!sp_IsRelativePath(file))
        return sp_GetFullPath(file);
    // A name with a folder part looks for its name proper in that folder below each
    // directory. A drive prefix stays with the folder: here it is part of a folder name.
    // (Split here rather than by sp_SplitPath, whose components are bounded.)
    std::string_view whole(*file);
    const std::size_t lastSlash = whole.rfind('/');
    JString name = file;
    std::string sub;
    if (lastSlash != std::string_view::npos) {
        name = fromView(whole.substr(lastSlash + 1));
        sub = whole.substr(0, lastSlash + 1);
    }
    for (const JString& entry : dirs) {
        std::string candidate(*sp_ConvertLocalToUnix(entry));
        stripTrailingSlashes(&candidate);
        if (!sub.empty()) {
            candidate += '/';
            candidate += sub;
            stripTrailingSlashes(&candidate);
        }
        candidate += '/';
        candidate += *name;
        if (sp_ExistFile(candidate.c_str()) || sp_ExistDir(candidate.c_str()))
            return sp_ConvertUnixToLocal(candidate.c_str());
    }
    return JString();
}

JString sp_RelativePath(JString path, JString base) {
    const JString cleanPath = sp_ConvertLocalToUnix(sp_CleanPath(path));
    const JString cleanBase = sp_ConvertLocalToUnix(sp_CleanPath(base));
    const bool pathNetwork = cleanPath.hasPrefix("//") != 0;
    const bool baseNetwork = cleanBase.hasPrefix("//") != 0;
    // The drive, and everything after it as the directory: the base counts as a directory
    // even if it looks like a file. Split here rather than by sp_SplitPath, whose
    // components are bounded, so that long paths keep every byte.
    const auto [pathDrive, pathDir] = splitDrive(*cleanPath);
    const auto [baseDrive, baseDir] = splitDrive(*cleanBase);

    // Drive letters compare case-blind; folder and file names as file names do. A base
    // with nothing after its drive ("" or "C:") gives nothing to be relative to.
    if (!(fromView(pathDrive) == fromView(baseDrive)) || pathNetwork != baseNetwork ||
        baseDir.empty())
        return sp_ConvertUnixToLocal(cleanPath);
    if (sameName(pathDir, baseDir))
        return JString(".");

    const std::vector<std::string_view> pathParts = splitDroppingEmpty(pathDir);
    const std::vector<std::string_view> baseParts = splitDroppingEmpty(baseDir);
    std::size_t common = 0;
    while (common < pathParts.size() && common < baseParts.size() &&
           sameName(pathParts[common], baseParts[common]))
        ++common;
    if (pathNetwork && common < 2) // another server or share
        return sp_ConvertUnixToLocal(cleanPath);

    std::string result;
    for (std::size_t i = common; i < baseParts.size(); ++i)
        result += "../";
    for (std::size_t i = common; i < pathParts.size(); ++i) {
        result += pathParts[i];
        result += '/';
    }
    stripTrailingSlashes(&result);
    // Nothing left only when one is absolute and the other relative ("/a" against "a").
    if (result.empty())
        return JString(".");
    return sp_ConvertUnixToLocal(result.c_str());
}

bool sp_MakeTree(JString path) {
    const JString full = sp_ConvertLocalToUnix(sp_GetFullPath(path));
    if (full.isEmpty()) // a relative path while the current directory cannot be read
        return false;
    const std::vector<std::string_view> parts = splitKeepingEmpty(*full);
    std::string sofar(parts[0]);
    for (std::size_t i = 1; i < parts.size(); ++i) {
        sofar += '/';
        sofar += parts[i];
        // "//server" alone names no directory that could be made.
        const bool serverOnly =
            sofar.size() > 2 && sofar.compare(0, 2, "//") == 0 && sofar.find('/', 2) == sofar.npos;
        if (serverOnly || sp_ExistDir(sofar.c_str()))
            continue;
        if (!sp_MakeDir(sofar.c_str()))
            return false;
    }
    return true;
}

void sp_ListDirectory(const JString& pattern, YList<JString>* names, bool fullPaths,
                      bool toolkitFilter) {
    if (!names)
        return;
    const JString slashed = sp_ConvertLocalToUnix(pattern);
    const std::vector<std::string_view> parts = splitKeepingEmpty(*slashed);
    std::string namePattern(parts.back());
    std::string dir;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        if (i)
            dir += '/';
        dir += parts[i];
    }
    // "/name" joins to "": here that is the root, as the pattern says, not the current folder.
    if (dir.empty() && parts.size() > 1)
        dir.push_back('/'); // append, not assign: GCC 12 -O3 sees a false -Wrestrict there

    const bool caseSensitive = sp_CaseSensitiveFiles();
    std::vector<JString> files;
    if (toolkitFilter) {
        // A pattern holding a blank is one pattern with a blank in it, not several.
        if (namePattern.find(' ') != std::string::npos)
            namePattern += ';';
        files = nvsupport::detail::listFiles(dir.c_str(), namePattern.c_str(), caseSensitive);
    } else {
        const JString filter(namePattern.c_str());
        for (JString& name : nvsupport::detail::listFiles(dir.c_str(), nullptr, caseSensitive))
            if (sp_FilterString(*name, filter, caseSensitive))
                files.push_back(name);
    }
    if (files.empty())
        return;
    const JString base = fullPaths ? sp_GetFullPath(dir.c_str()) : JString();
    for (const JString& name : files)
        names->push_front(fullPaths ? joinPath(base, name) : name);
}

void sp_DescendDirectories(const JString& root, YList<JString>* dirs) {
    if (!dirs)
        return;
    const JString top = sp_ConvertLocalToUnix(sp_GetFullPath(root));
    if (top.isEmpty())
        return;
    std::vector<JString> stack{top};
    while (!stack.empty()) {
        const JString parent = stack.back();
        stack.pop_back();
        for (const JString& name : nvsupport::detail::listSubdirectories(*parent)) {
            JString child = joinPath(parent, name);
            stack.push_back(child);
            dirs->push_front(sp_ConvertUnixToLocal(child));
        }
    }
}

bool sp_DirectoryIsWriteable(const JString& dir) {
    const JString slashed = sp_ConvertLocalToUnix(dir);
    YList<JString> existing;
    sp_ListDirectory(JString(slashed.concat("/*")), &existing, false, true);
    auto taken = [&](const JString& probe) {
        for (const JString& name : existing)
            if (name.pathEqual(probe))
                return true;
        return false;
    };
    JString probe("$Temp$");
    for (int n = 0; taken(probe); ++n)
        probe.sprintf("$temp$_%d", n);
    return nvsupport::detail::probeNewFile(*JString(slashed.concat("/").concat(probe)));
}

CopyTreeErr sp_CopyTree(const JString& source, const JString& destination) {
    if (!sp_ExistDir(source))
        return CopyTreeNoSource;
    const JString dest = sp_ConvertLocalToUnix(destination);
    if (sp_ExistDir(dest) && nvsupport::detail::hasVisibleEntries(*dest))
        return CopyTreeNotEmpty;
    if (!sp_MakeTree(dest))
        return CopyTreeFailed;

    // The walk hands back absolute paths, so they are made relative to the absolute source.
    const JString top = sp_ConvertLocalToUnix(sp_GetFullPath(source));
    std::vector<JString> dirs{top};
    YList<JString> below;
    sp_DescendDirectories(top, &below);
    for (const JString& d : below)
        dirs.push_back(sp_ConvertLocalToUnix(d));

    int succeeded = 0, failed = 0;
    for (const JString& from : dirs) {
        const JString rel = sp_ConvertLocalToUnix(sp_RelativePath(from, top));
        const JString target = rel == "." ? dest : joinPath(dest, rel);
        // A long copy must not freeze the host's user interface.
        nvsupport::detail::processPendingEvents();
        if (!sp_MakeTree(target)) {
            ++failed;
            continue;
        }
        const std::vector<JString> files = filesOf(from);
        bool allCopied = true;
        for (const JString& name : files)
            if (!sp_CopyFile(joinPath(from, name), joinPath(target, name), false))
                allCopied = false;
        if (!allCopied)
            ++failed;
        else if (!files.empty())
            ++succeeded;
    }
    if (failed == 0)
        return CopyTreeOk;
    return succeeded > 0 ? CopyTreePartial : CopyTreeFailed;
}

CopyTreeErr sp_DeleteTree(const JString& dir) {
    if (!sp_ExistDir(dir))
        return CopyTreeNoSource;
    // Every directory before its parent, the top one last.
    std::vector<JString> dirs;
    YList<JString> below;
    sp_DescendDirectories(dir, &below);
    for (const JString& d : below)
        dirs.push_back(sp_ConvertLocalToUnix(d));
    dirs.push_back(sp_ConvertLocalToUnix(sp_GetFullPath(dir)));

    int done = 0, failed = 0;
    for (const JString& d : dirs) {
        bool allDeleted = true;
        for (const JString& name : filesOf(d))
            if (!nvsupport::detail::removeFile(*joinPath(d, name)))
                allDeleted = false;
        ++(allDeleted ? done : failed);
    }
    for (const JString& d : dirs)
        ++(sp_RemoveDir(d) ? done : failed);
    if (failed == 0)
        return CopyTreeOk;
    return done > 0 ? CopyTreePartial : CopyTreeFailed;
}
