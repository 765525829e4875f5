// JFileBuf: reads a whole file into memory in one call, or takes the text of a script built
// into the host when the name starts with "INTERNAL:" and the host has published the
// function "findBuiltInScript".
//
//   JFileBuf deck("amp.cir", true);       // text mode: CR LF read as LF
//   if (deck.get())
//       parse(deck.get(), deck.getSize()); // not NUL-terminated: use getSize()
#pragma once

#include "../paths/Path.h"

class nvstream;

/// The function a host publishes under the name "findBuiltInScript" (MakeDynamicFunction)
/// to serve built-in scripts: given the split name after "INTERNAL:", it returns a new
/// stream holding the script's text, which the caller deletes, or null when it has no
/// script of that name.
using FindBuiltInScriptFunction = nvstream* (*)(const PathName& name);

/// The bytes of one file in a malloc'ed block it owns (null when empty) and their count.
/// It cannot be copied (one owner per block), only moved.
class JFileBuf {
public:
    /// Empty.
    JFileBuf() noexcept = default;
    /// open(path, text).
    JFileBuf(const char* path, bool text);
    JFileBuf(const JFileBuf&) = delete;
    JFileBuf& operator=(const JFileBuf&) = delete;
    /// Takes the contents of `other`, which is left empty.
    JFileBuf(JFileBuf&& other) noexcept;
    /// Frees its contents, then takes those of `other` (left empty).
    JFileBuf& operator=(JFileBuf&& other) noexcept;
    /// Frees the contents.
    ~JFileBuf();

    /// Replaces the contents by the file's bytes and returns the data pointer.
    ///
    /// A name starting with "INTERNAL:" (any letter case), while the host has published
    /// "findBuiltInScript", is a built-in script: the rest of the name is split with
    /// sp_SplitPath and handed to that function. A stream that comes back is read with
    /// nvstream::get() until its buffer is not open or get() gives -1 (a memory buffer gives
    /// -1 for the byte 0xFF too); those bytes become the contents (NUL-terminated, the
    /// terminator not counted) and the stream is deleted. When null comes back the contents
    /// are unchanged and the current data pointer is returned. The function is looked up at
    /// every such open, so a host may publish or withdraw it at any time; without it the name
    /// is an ordinary file name.
    ///
    /// Any other name is read as a file: the old contents are freed, then the regular
    /// file's bytes are read. With `text` the CR of every CR LF pair is dropped (a lone CR
    /// stays); the size is the number of bytes kept. These contents are not NUL-terminated.
    /// An empty file gives a non-null data pointer and size 0. A null path, a missing or
    /// unreadable file, anything but a regular file (a directory, a FIFO, a device), or a
    /// file too large for memory leaves the contents empty and returns null.
    const char* open(const char* path, bool text);
    /// The data pointer (null when empty).
    const char* get() const noexcept { return m_data; }
    operator const char*() const noexcept { return m_data; }
    /// The byte count.
    unsigned int getSize() const noexcept { return m_size; }
    /// Frees the contents; size 0.
    void close() noexcept;

private:
    char* m_data = nullptr; // malloc'ed, owned
    unsigned int m_size = 0;
};
