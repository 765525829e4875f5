// Path manipulation: splitting a path into drive, directory, name and extension and
// joining it again, separator conversion, cleaning and absolutising, existence tests,
// single-directory creation and removal, file copy and same-file tests.
//
//   PathName p;
//   sp_SplitPath("/work/lib/opamp.lib", &p);   // dir "/work/lib/", fname "opamp", ext ".lib"
//   JString dir = sp_GetDirFromPath("/work/lib/opamp.lib");   // "/work/lib"
//   JString clean = sp_CleanPath("a/./b//c/..");              // "a/b"
//
// The local separator is '/'; every function accepts '/' and '\' and returns paths with '/'
// (a '\' is always a separator, also when handed to the system). A leading letter and colon
// is split off as a drive and kept as text; it names nothing here. File names are
// case-sensitive.
#pragma once

#include "../core/JString.h"

/// The four pieces of a path; joined in order they give the path back.
struct PathName {
    JString drive; ///< the first two bytes when the second is ':' ("C:"), or empty
    JString dir;   ///< the directory with its leading and trailing separator, or empty
    JString fname; ///< the file name without extension
    JString ext;   ///< the extension with its dot (".lib"), or empty
};

/// Fills all four members of `out` from `path` (nothing when `out` is null). The drive is
/// the first two bytes when the second is ':'; the directory runs to the last '/' or '\'
/// (inclusive); the extension starts at the last '.' after it. A component longer than 255
/// bytes (drive: 2) is cut to that length, as fixed 256-byte buffers would.
void sp_SplitPath(JString path, PathName* out);
/// drive + dir + fname + ext with nothing inserted, every '\' turned into '/'.
JString sp_MakePath(const PathName& path);
/// Drive and directory without trailing separators, with '/' separators: "C:/x" gives "C:",
/// "/x" gives "". "" for null or a bare name.
JString sp_GetDirFromPath(const char* path);
/// The file name with its extension.
JString sp_GetFileName(const JString& path);
/// The extension with its dot, or "".
JString sp_GetFileExt(const JString& path);
/// The file name without directory and extension.
JString sp_CrackSharedLibraryName(const JString& path);
/// The absolute, cleaned path: a relative path is taken from the current directory; an
/// absolute one ("/x", "C:/x") is only cleaned. "" when the current directory is unknown.
JString sp_GetFullPath(const JString& path);
/// The cleaned path with '/' separators: empty and "." components dropped, ".." removes the
/// component before it. A relative path keeps the ".." it cannot apply at its front and
/// gives "." when nothing is left ("a/../.." gives ".."); an absolute path keeps its drive
/// and a leading "//", drops such "..", and gives its root when nothing is left
/// ("C:/a/.." gives "C:/", "/.." gives "/"). "" gives "".
JString sp_CleanPath(const JString& path);
/// The current directory; "" when it cannot be read (removed, for example).
JString sp_GetCwd();
/// Every '/' replaced by the local separator: '/' here, so an unchanged copy.
JString sp_ConvertUnixToLocal(const JString& path);
/// Every '\' replaced by '/'.
JString sp_ConvertLocalToUnix(const JString& path);
/// True if `path` exists and is a directory (links followed).
bool sp_ExistDir(JString path);
/// True if `path` exists and is a regular file (links followed): false for null, directories,
/// devices, FIFOs and sockets.
bool sp_ExistFile(const char* path);
/// Creates exactly one directory; false when it exists, its parent is missing or `path` is "".
bool sp_MakeDir(const JString& path);
/// Removes one empty directory.
bool sp_RemoveDir(const JString& path);
/// True for "" and for paths that do not start with a separator, after a leading ASCII
/// letter and ':' if there is one: "C:x" is relative, "C:/x" and "\x" are not.
bool sp_IsRelativePath(const JString& path);
/// Copies the bytes of `source` to `destination` (created or truncated; times and
/// permissions not copied). With `overwrite` false an existing destination file is left
/// alone and the result is false. False when the source cannot be opened or is a directory,
/// the destination cannot be opened, both name the same file (left unchanged), or reading
/// or writing fails part way (the destination keeps what was written).
bool sp_CopyFile(const JString& source, const JString& destination, bool overwrite);
/// True when both paths name the same existing file or directory (device and inode, links
/// followed); false when either does not exist.
bool sp_ComparePaths(const JString& a, const JString& b);
/// True when file names differ by letter case. Always true on Linux.
bool sp_CaseSensitiveFiles();
