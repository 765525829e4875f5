// Whole-file reads and replacements for files the library rewrites entirely (profile
// files): a text file read in one go past its byte-order mark, and atomic replacement
// through a temporary file in the same directory, so a crash or a full disk never leaves a
// half-written file behind.
#pragma once

#include <string>

namespace nvsupport::detail {

/// How a text file begins.
enum class TextStart {
    Plain, ///< no byte-order mark (or an empty file)
    Utf8,  ///< EF BB BF: skipped, reading starts after it
    Utf16, ///< FF FE or FE FF: skipped, the rest is handed over as the bytes it is
};

/// Reads the whole file `path` names (links followed) into *bytes, less a leading UTF-8 or
/// UTF-16 byte-order mark; *start tells which mark the file began with. False, with *bytes
/// empty, when the file cannot be opened or read, is a directory, or `path` is null.
bool readTextFile(const char* path, std::string* bytes, TextStart* start);

/// Replaces the contents of the file `path` names by `bytes`: written to a new temporary
/// file in the same directory, flushed to disk, then renamed over the old one. A symbolic
/// link is followed (the file it finally points to is replaced, the link stays); the old
/// file's permission bits (and, where allowed, owner and group) carry over; a new file gets
/// mode 0666 less the umask. False on any failure, with the old file left as it was and the
/// temporary file removed.
bool replaceFileContents(const char* path, const std::string& bytes);

} // namespace nvsupport::detail
