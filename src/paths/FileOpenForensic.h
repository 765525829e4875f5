// File access diagnosis: whether a file can be opened for a given use, and, when it cannot,
// why, as the product's standard message "The file <path>\n<reason>".
//
//   if (!sp_CheckFileOpen(path, GFN_READ)) {
//       JString msg;
//       sp_FileOpenForensicMsg(path, GFN_READ, &msg);   // "The file /x.cir\ndoes not exist"
//       report(msg);
//   }
#pragma once

#include "../core/JString.h"

/// The use of a file the caller has in mind. Only these values have a meaning; other values
/// may be passed (the quick check treats them as reading, the diagnosis answers
/// FOF_INTERNAL_ERROR).
enum GfnOpenMode : int {
    GFN_READ = 0,       ///< open an existing file for reading
    GFN_CREATE_NEW = 3, ///< create a new file for writing; a file of that name must not exist
    GFN_WRITE = 4,      ///< open for writing, as the quick check knows it (the diagnosis: 8)
    GFN_WRITE_DIAG = 5, ///< open for writing, as the diagnosis knows it (the quick check: read)
};

/// Why a file cannot be opened; sp_FileOpenForensicMsg gives the text after the path.
enum FileOpenForensic : int {
    FOF_NAME_EXISTS = 0,      ///< "cannot be opened because another file of the same name..."
    FOF_MISSING = 1,          ///< "does not exist"
    FOF_READ_DENIED = 2,      ///< "cannot be opened for read because of insufficient privilege"
    FOF_READ_IN_USE = 3,      ///< "cannot be opened for read possibly because it is in use..."
    FOF_NO_DIRECTORY = 4,     ///< "cannot be opened because its directory does not exist"
    FOF_DIR_WRITE_DENIED = 5, ///< "cannot be opened for write possibly because of ... directory..."
    FOF_WRITE_DENIED = 6,     ///< "cannot be opened for write because of insufficient privilege"
    FOF_WRITE_IN_USE = 7,     ///< "cannot be opened for write possibly because it is in use..."
    FOF_INTERNAL_ERROR = 8,   ///< the mode is not one the diagnosis knows: "Internal error"
};

/// Whether `path` can be opened as `mode` says, by trying it: GFN_CREATE_NEW and GFN_WRITE
/// open for appending (GFN_CREATE_NEW is false at once for an existing file), anything else
/// opens for reading (a directory does not count). A file the attempt created is deleted
/// again. False for "". Paths may use '/' or '\'.
bool sp_CheckFileOpen(const JString& path, GfnOpenMode mode);

/// Diagnoses why `path` cannot be opened as `mode` says and stores the answer in
/// `*diagnosis` (nothing when null). GFN_CREATE_NEW first tries an appending open (deleting
/// what it created) and answers FOF_NAME_EXISTS when that works. Then GFN_READ: missing 1,
/// readable 3, else 2; GFN_CREATE_NEW and GFN_WRITE_DIAG: writable 7, existing but not
/// writable 6, missing with an existing directory 5, with a missing directory 4; any other
/// mode 8. Always true.
bool sp_FileOpenForensic(const JString& path, GfnOpenMode mode, FileOpenForensic* diagnosis);

/// The diagnosis as the message "The file " + path + "\n" + reason ("The file " + reason for
/// an empty path); "Internal error" for FOF_INTERNAL_ERROR. Nothing stored when `message` is
/// null. Always true.
bool sp_FileOpenForensicMsg(const JString& path, GfnOpenMode mode, JString* message);
