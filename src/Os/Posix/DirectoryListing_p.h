// Directory calls behind the directory operations: listing the files or subdirectories of
// one directory in a fixed order, QDir-style name filters, the current directory, probing
// and deleting single files, and letting the host's event loop run. Paths are handed to the
// system as given (callers turn '\' into '/' first); "" names the current directory.
#pragma once

#include "../../core/JString.h"

#include <vector>

namespace nvsupport::detail {

/// Orders names without regard to ASCII letter case (bytes compared unsigned after
/// folding); names equal that way keep byte order, so the order never depends on the
/// order the system hands entries out.
bool nameLess(const JString& a, const JString& b) noexcept;

/// The regular files of `dir` (symbolic links followed: a link to a file counts, a dangling
/// one does not; devices, FIFOs and sockets never), hidden ones (names beginning with '.')
/// left out, sorted by nameLess. With a non-null `nameFilters` only names matching it are
/// kept: QDir wildcards ('*', '?', "[...]", "[!...]"), several patterns separated by ';', or
/// by blanks when there is no ';', each trimmed of surrounding white space and dropped when
/// nothing is left). A null or empty filter text keeps every name; a text without any
/// pattern (";") or with a pattern that does not compile ("[") matches nothing by it.
/// Names are matched as UTF-8 text, so '?' stands for one character; a byte that is not
/// part of valid UTF-8 counts as one character and matches only itself. `caseSensitive` says
/// whether letter case counts in matching. Empty when `dir` cannot be read.
std::vector<JString> listFiles(const char* dir, const char* nameFilters, bool caseSensitive);

/// The subdirectories of `dir`, hidden ones included, "." and ".." left out, sorted by
/// nameLess. Symbolic links to directories are not listed, so a walk built on this never
/// leaves the tree and never runs in a circle. Empty when `dir` cannot be read.
std::vector<JString> listSubdirectories(const char* dir);

/// True when `dir` holds an entry whose name does not begin with '.'; false for an empty or
/// unreadable directory and for anything that is not a directory.
bool hasVisibleEntries(const char* dir) noexcept;

/// Makes `path` the current directory of the process (chdir); false on failure or "".
bool setCurrentDirectory(const char* path) noexcept;

/// Creates the file `path` for writing (never an existing one, never through a link), then
/// closes and deletes it at once. True when the creation succeeded.
bool probeNewFile(const char* path) noexcept;

/// Deletes the file `path` (the link itself for a symbolic link); false on failure.
bool removeFile(const char* path) noexcept;

/// Lets the host's event loop process pending events when an application object exists;
/// does nothing otherwise.
void processPendingEvents();

} // namespace nvsupport::detail
