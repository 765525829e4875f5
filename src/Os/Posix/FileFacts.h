// File facts: sizes, modification times, 64-bit positions, links, renaming, free space.
// Paths may use '/' or '\' as separator; symbolic links are followed except by sp_IsLink.
//
//   int size = sp_GetFileSize("model.lib");             // 0 when missing
//   int when = sp_GetFileModifiedTime("model.lib");     // seconds since 1970, -1 when missing
#pragma once

#include "../../core/JString.h"

#include <cstdint>
#include <cstdio>

/// Size in bytes (of the link target for a symbolic link); 0 for a missing file, a
/// directory or a null path. A size above INT_MAX (2 GiB - 1) gives INT_MAX: use
/// sp_GetFileSize64 for large files.
int sp_GetFileSize(const char* path);
/// Modification time in seconds since 1970 (of the link target); -1 for a missing file.
/// Times outside the 32-bit range are clamped to INT_MIN or INT_MAX.
int sp_GetFileModifiedTime(const JString& path);
/// 64-bit size by path (links followed); 0 for a directory, -1 for a missing file or a
/// null path.
std::int64_t sp_GetFileSize64(const char* path);
/// 64-bit size of an open descriptor (0 for a directory); -1 when it cannot be queried.
std::int64_t sp_GetFileSize64(int fd);
/// 64-bit position of a buffered file; -1 on failure or for a null file.
std::int64_t sp_TellFilePos(FILE* file);
/// 64-bit seek of a buffered file (origin SEEK_SET, SEEK_CUR or SEEK_END); 0 on success,
/// -1 on failure or for a null file.
int sp_SeekFilePos(FILE* file, std::int64_t offset, int origin);
/// True when `path` exists and is itself a symbolic link (dangling or not).
bool sp_IsLink(const char* path);
/// Renames `from` to `to` (both converted to local separators); true on success. Fails,
/// changing nothing, when `to` already exists. A regular file moves to another file system
/// by copy (permissions and times kept) and removal of the original.
bool sp_MoveFile(const JString& from, const JString& to);
/// Bytes available to the caller on the file system of `path` (an existing file or
/// directory, or else the directory part of the path, which must be an existing directory;
/// "" means the current directory); -1 on failure, with the system's error code remembered
/// (see lastFreeDiskSpaceError).
std::int64_t sp_GetFreeDiskSpace(const JString& path);
/// Drives do not exist here: always false.
bool sp_ChangeDrive(const JString& path);
