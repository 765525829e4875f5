// Directory operations: changing and restoring the current directory, searching
// directories for a file, relative paths, making whole trees, listing, walking, testing
// writeability, and copying or deleting trees with a result that tells complete, partial
// and failed work apart.
//
//   { SaveDirectory keep; sp_ChangeDir("/tmp"); ... }   // the old directory is back
//   JString rel = sp_RelativePath("/a/b/c", "/a/x");    // "../b/c"
//   if (sp_CopyTree("models", "backup/models") != CopyTreeOk) ...
#pragma once

#include "../core/JString.h"
#include "../core/YList.h"

/// Saves the current directory and makes it current again when destroyed (nothing when it
/// could not be read). Copies share the saved text.
class SaveDirectory {
public:
    SaveDirectory();
    ~SaveDirectory();
    SaveDirectory(const SaveDirectory&) = default;
    SaveDirectory& operator=(const SaveDirectory&) = default;

private:
    JString m_saved;
};

/// The result of sp_CopyTree and sp_DeleteTree.
enum CopyTreeErr {
    CopyTreeOk = 0,       ///< everything was copied or deleted
    CopyTreeFailed = 1,   ///< nothing was done cleanly (or the destination could not be made)
    CopyTreePartial = 2,  ///< some directories were handled completely and some failed
    CopyTreeNotEmpty = 3, ///< copying only: the destination exists and is not empty
    CopyTreeNoSource = 4  ///< the source (or the tree to delete) is not an existing directory
};

/// Makes `path` the current directory (leading blanks and tabs skipped, '/' or '\'):
/// 0 done; 1 it is not an existing directory (or null) or could not be made current; 2 it
/// has a drive prefix ("Q:") and "Q:/" is not an existing directory, or it exists with a
/// drive prefix, since drives cannot be made current here.
int sp_ChangeDir(const char* path);
/// Looks for `file` in each directory of `dirs` in list order; a name with a folder part
/// ("sub/x.lib") is looked for in that folder below each directory. Returns the first
/// directory + "/" + name that exists (file or directory), or "". An absolute `file` is
/// returned absolute and cleaned without any test; "" gives "".
JString sp_SearchDirectories(JString file, const YList<JString>& dirs);
/// `path` relative to the directory `base`, both cleaned first ("/a/b/c" against "/a/x"
/// gives "../b/c"; a path against itself "."). Folder names compare as file names do
/// (case-sensitive here), drive prefixes case-blind. The cleaned `path` itself when the
/// drives differ, only one is a network path ("//server/share"), two network paths lie on
/// different shares, or `base` has nothing after its drive ("" or "C:"). Both should be
/// absolute or both relative.
JString sp_RelativePath(JString path, JString base);
/// Creates `path` (made absolute) with every missing parent. True when it exists
/// afterwards; false at the first level that cannot be made (the levels made before it
/// stay) or when a relative path meets an unreadable current directory.
bool sp_MakeTree(JString path);
/// Adds at the head of *names the regular files (links to files included) of the
/// pattern's directory whose names match its last component, so they come out in reverse
/// case-blind name order; hidden files (names beginning with '.') never appear. The folder
/// part may be relative (to the current directory), empty (the current directory) or "/".
/// With `toolkitFilter` the name is a QDir wildcard list ('*', '?', "[...]"; patterns
/// separated by ';'; a pattern holding a blank is one pattern; "" lists every file); without
/// it the name must match by sp_FilterString. Letter case counts in both (file names are
/// case-sensitive here). `fullPaths` gives absolute paths instead of names. Nothing is added
/// for an unreadable or missing directory or a null `names`.
void sp_ListDirectory(const JString& pattern, YList<JString>* names, bool fullPaths,
                      bool toolkitFilter);
/// Adds at the head of *dirs the absolute path of every directory below `root` (hidden ones
/// included, the root itself not), each before its parent. Symbolic links to directories
/// are not followed, so the walk stays inside the tree and always ends.
void sp_DescendDirectories(const JString& root, YList<JString>* dirs);
/// True when a new file can be created in `dir`: a probe named "$Temp$", else "$temp$_0",
/// "$temp$_1"... (the first not among the directory's visible files) is created and
/// deleted at once. False for a missing directory, and when a non-file entry (a directory,
/// a dangling link) already bears the chosen probe name.
bool sp_DirectoryIsWriteable(const JString& dir);
/// Copies the tree `source` into `destination`, made with its parents if missing: every
/// directory below the source (hidden ones included, linked ones not) and their visible
/// files, never overwriting a file. CopyTreeNoSource when the source is not a directory,
/// CopyTreeNotEmpty when the destination holds a visible entry, CopyTreeFailed when it
/// cannot be made. Otherwise a directory whose files all copied (at least one) succeeded,
/// one with a file not copied or a target not made failed: CopyTreeOk with no failure,
/// else CopyTreePartial when one succeeded, else CopyTreeFailed. Lets the host's event loop
/// run between directories when an application object exists.
CopyTreeErr sp_CopyTree(const JString& source, const JString& destination);
/// Deletes the visible files of every directory of the tree `dir`, then removes the
/// directories, innermost first and `dir` last. A directory holding hidden files, files it
/// may not delete (no write permission on the directory) or a link to a directory stays and
/// counts as failed. CopyTreeNoSource when `dir` is not a directory; CopyTreeOk when
/// nothing failed; CopyTreePartial when something failed and something was done; else
/// CopyTreeFailed.
CopyTreeErr sp_DeleteTree(const JString& dir);
