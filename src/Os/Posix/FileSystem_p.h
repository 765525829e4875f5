// File-system calls behind the path functions: what a path names, single directories,
// the current directory, file identity and whole-file copies. Paths are handed to the
// system as given (callers turn '\' into '/' first); symbolic links are followed.
#pragma once

#include "../../core/JString.h"

#include <cstdint>

namespace nvsupport::detail {

/// What a path names once symbolic links are followed.
enum class FileKind {
    Missing,   ///< nothing there, a dangling link, an unreadable path, null or ""
    Directory, ///< a directory
    Regular,   ///< a regular file
    Other,     ///< a device, FIFO or socket
};

/// The kind of object `path` names (stat). Never fails: what cannot be examined is Missing.
FileKind fileKind(const char* path) noexcept;
inline bool isDirectory(const char* path) noexcept {
    return fileKind(path) == FileKind::Directory;
}
inline bool isRegularFile(const char* path) noexcept {
    return fileKind(path) == FileKind::Regular;
}

/// Creates one directory (mode 0777 less the umask); false when it exists, its parent is
/// missing, the path is null or "", or the system refuses.
bool makeDirectory(const char* path) noexcept;
/// Removes one empty directory; false otherwise.
bool removeDirectory(const char* path) noexcept;

/// The process's current directory as the system gives it; "" when it cannot be read
/// (for example when it was removed).
JString currentDirectory();

/// What identifies a file on this system, whatever path leads to it.
struct FileIdentity {
    std::uint64_t device;
    std::uint64_t inode;
};
/// Fills `id` for the object `path` names (links followed); false when it does not exist.
bool fileIdentity(const char* path, FileIdentity* id) noexcept;

/// Copies the bytes of `source` into `destination`, created (mode 0666 less the umask) or
/// truncated; times and permissions are not copied. False, with nothing changed, when the
/// source cannot be opened or is a directory, when the destination cannot be opened for
/// writing without waiting (a FIFO without reader), or when both name the same file. False
/// also when reading or writing fails part way; the destination then holds what was written.
bool copyFileContents(const char* source, const char* destination) noexcept;

} // namespace nvsupport::detail
