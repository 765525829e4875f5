// Access probes behind the file-open diagnosis: whether a path exists, may be read or
// written by this process (its effective ids), and whether it really opens.
#pragma once

namespace nvsupport::detail {

/// True when `path` names something (links followed; a dangling link is missing).
bool pathExists(const char* path) noexcept;
/// True when this process may read (`write` false) or write (`write` true) `path`, judged by
/// the effective user and group (a read-only file system denies writing).
bool pathAccessible(const char* path, bool write) noexcept;
/// Opens `path` and closes it again: for reading (a directory does not count as opened), or
/// with `write` for appending, creating the file when missing. A file this call created is
/// deleted again, so nothing is left behind. True when the open succeeded.
bool probeOpen(const char* path, bool write) noexcept;

} // namespace nvsupport::detail
