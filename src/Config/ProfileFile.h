// Profile files: INI files of [section] headers and key=value lines, read through a
// process-wide cache that follows changes on disk, and rewritten whole after each change.
//
//   JString v;
//   if (sp_GetPrivateProfileString("Options", "Threads", "norvane.ini", &v)) ...
//   sp_WritePrivateProfileString("norvane.ini", "Options", "Threads", "4");
//
// Section names and keys compare without regard to letter case, values byte for byte. Every
// call first checks the file's modification time (to the nanosecond) and size and re-reads
// it when either changed. A rewrite goes to a temporary file in the same folder that is
// flushed to disk and renamed over the old file, keeping its permissions; a path that is a
// symbolic link rewrites the link's target. A rewrite that fails leaves the change pending
// in the cache (retried by the next call) and the old file intact. A leading UTF-8 or UTF-16
// byte-order mark is skipped; a UTF-16 file is read with its zero bytes dropped, so one of
// plain ASCII text reads as its text. A UTF-16 file is never rewritten: its changes stay
// pending in the cache, as those of a file that cannot be written do.
// The cache is process-wide and unlocked: callers on several threads must serialise calls.
// The "Exit" hook empties it without writing.
#pragma once

#include "../core/JString.h"
#include "../core/YList.h"

/// A name and a value.
struct NameValuePair {
    JString name;
    JString value;
};

/// Reads `key` of `section` (both case-blind) from `file` into *value (may be null); false,
/// with *value "", when not found, when the file does not exist, or when any of section,
/// key and file is null. For duplicate keys the one that stands last in the file wins.
bool sp_GetPrivateProfileString(const char* section, const char* key, const char* file,
                                JString* value);
/// Replaces *names by the section names in the order they are written (file order; sections
/// added since stand first). False, with *names untouched, when the file does not exist or
/// `names` is null.
bool sp_GetProfileSectionNames(const JString& file, YList<JString>* names);
/// Appends the keys of the key lines of `section` to *names (may be null; not emptied
/// first), here in file order with duplicates repeated and a line without "=" giving "";
/// callers must not rely on the order. False when the file or the section does not exist;
/// true, adding nothing, for a section holding only comments.
bool sp_GetProfileKeyNames(const JString& file, const JString& section, YList<JString>* names);
/// Sets `key` of `section` to `value` (the last of duplicate keys), adding the key at the
/// end of its section or a new section before all others; a null `value` deletes every line
/// of the key. Rewrites the file when something changed (an equal value touches nothing).
/// Returns whether the file exists afterwards, not whether the rewrite succeeded; false for
/// a null or empty file name. A null section or key changes nothing.
bool sp_WritePrivateProfileString(const char* file, const char* section, const char* key,
                                  const char* value);
/// Sets every pair of `pairs` in `section`, in list order, with one rewrite at the end.
/// Returns whether the file exists afterwards.
bool sp_WritePrivateProfileStrings(const JString& file, const JString& section,
                                   const YList<NameValuePair>& pairs);
/// Removes `section` with all its lines (key lines, comments, lines without "=") and
/// rewrites the file; returns the number of lines removed, 0 (file untouched) when the
/// section does not exist.
int sp_DeletePrivateProfileSection(const JString& file, const JString& section);
