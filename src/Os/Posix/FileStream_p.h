// File calls behind the stream buffers: 64-bit positions on a FILE*, the descriptor of a
// FILE*, line reads from a FILE*, and testing whether anything exists at a path.
// (Deleting a file is removeFile of DirectoryListing_p.h.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace nvsupport::detail {

/// fseeko() with a 64-bit offset: 0 on success, -1 on failure (bad whence included).
int seekFile64(FILE* f, std::int64_t offset, int whence) noexcept;
/// ftello(): the 64-bit position, or -1 on failure.
std::int64_t tellFile64(FILE* f) noexcept;
/// The descriptor of `f` (fileno); -1 for null.
int fileDescriptor(FILE* f) noexcept;
/// Whether anything exists at `path`, a dangling symbolic link included (lstat).
bool fileExists(const char* path) noexcept;

/// Reads one line of `f`, up to and including '\n' or to the end of the file. *text points at
/// the line's bytes (not NUL-terminated; the '\n' included when there was one), inside the
/// FILE's own buffer or in a buffer of the calling thread, valid until the next operation on
/// `f` or the thread's next call. Returns the byte count: 0 at end of file or on error.
std::size_t readFileLine(FILE* f, const char** text) noexcept;

/// Turns off stdio's own locking of `f` (__fsetlocking BYCALLER): the file is then used by
/// one thread at a time, or under the caller's own lock.
void setCallerLocking(FILE* f) noexcept;

} // namespace nvsupport::detail
