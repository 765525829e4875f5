// File facts the library's caches need at a finer grain than the public functions give.
#pragma once

#include <cstdint>

namespace nvsupport::detail {

/// Modification time in nanoseconds since 1970 and size of `path` (links followed; '\'
/// reads as '/'; a directory has size 0). False, with *mtimeNs = -1 and *size = 0, when the
/// file does not exist or `path` is null. Either output pointer may be null.
bool fileStamp(const char* path, std::int64_t* mtimeNs, std::int64_t* size);

/// The system error code (errno) of the last failed sp_GetFreeDiskSpace; 0 before any.
int lastFreeDiskSpaceError() noexcept;

} // namespace nvsupport::detail
