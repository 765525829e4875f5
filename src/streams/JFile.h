// JFile: an owning wrapper around a C runtime FILE* that remembers the full path of the file
// it opened, so the same file can be opened again in another mode.
//
//   JFile f("results.txt", "w");
//   if (f.getFile())
//       std::fputs("v=1\n", f.getFile());
//   f.reopen("r");                       // closes the written file, opens it for reading
#pragma once

#include "../core/JString.h"

#include <cstdio>

/// One FILE* (null when closed) and a name: the full path of the last successful open(), or
/// the name given with a wrapped FILE*. The object owns the file and closes it when
/// destroyed; it cannot be copied (two objects would close one file), only moved.
class JFile {
public:
    /// Closed, name "".
    JFile() noexcept = default;
    /// open(path, mode).
    JFile(const char* path, const char* mode);
    /// Wraps `f` (null allowed), which it will close, and takes `name` (null gives "") as
    /// its name as given, without making it absolute.
    JFile(const char* name, FILE* f);
    JFile(const JFile&) = delete;
    JFile& operator=(const JFile&) = delete;
    /// Takes the file and name of `other`, which is left closed with the name "".
    JFile(JFile&& other) noexcept;
    /// Closes this file, then takes the file and name of `other` (left closed, name "").
    JFile& operator=(JFile&& other) noexcept;
    /// fclose()s the file if open.
    ~JFile();

    /// fopen(path, mode), with '\' taken as a separator. A file this object holds is closed first
    /// (so data written to it is on disk before the new open). On success the name becomes the
    /// absolute, cleaned path (sp_GetFullPath) and the new FILE* is returned; on failure the object
    /// is closed, keeps its name and null is returned. A null path or mode returns null and changes
    /// nothing.
    FILE* open(const char* path, const char* mode);
    /// open(name, mode); null when the name is empty (no file was ever opened or named).
    FILE* reopen(const char* mode);
    /// fclose()s the file if open; the object is closed afterwards and keeps its name.
    void close();
    /// Hands out the FILE* without closing it and forgets it (null when closed); the caller
    /// closes it. The name stays.
    FILE* detach() noexcept;
    /// The name.
    JString getFilename() const { return m_name; }
    /// The FILE*, still owned by this object; null when closed.
    FILE* getFile() const noexcept { return m_file; }
    /// False, changing nothing, when this object holds an open file. Otherwise takes the
    /// FILE* (possibly null) and name of `other` and returns true. The file changes owner:
    /// `other` forgets it (it keeps its name), so that one object alone closes it.
    bool attach(const JFile& other) noexcept;

private:
    mutable FILE* m_file = nullptr; // mutable: attach() takes the file from a const source
    JString m_name;
};
