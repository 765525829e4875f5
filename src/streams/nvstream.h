// nvstream: the library's text stream. A thin front over one owned buffer (nvbuf) that adds
// formatted output, line reading, a count of the characters read, and an optional host hook
// that decodes marked lines ("?@@...") while they are read.
//
//   nvstrstream s("ab\ncd\n");
//   JString line;
//   while (s.getline(&line))          // "ab", then "cd"
//       use(line);
//   nvfstream out("log.txt", NV_OPEN_WRITE);
//   out << "n=" << 3 << '\n';
#pragma once

#include "../core/JString.h"
#include "nvbuf.h"

#include <cstdarg>
#include <cstdint>

class CharQueue;

/// A stream owning one buffer (null allowed). Every forwarding operation does nothing and
/// returns 0 (-1 for seekg and tellg) when there is no buffer. Streams cannot be copied (two
/// streams would own one buffer); they can be moved, which takes the buffer, hook, line and
/// counts and leaves the source without a buffer and without a hook.
class nvstream {
public:
    /// Decodes one marked line: `line` is the NUL-terminated line as read (its '\n' kept),
    /// `out` an area of 512 bytes for the decoded text, `*outLength` receives its length.
    /// Returns 0 on success; any other value stops all later decoding on the stream.
    using DecodeHook = int (*)(char* line, char* out, int* outLength);

    /// No buffer, no hook, counts 0.
    nvstream() noexcept = default;
    /// Takes ownership of `buf` (null allowed).
    explicit nvstream(nvbuf* buf) noexcept;
    nvstream(const nvstream&) = delete;
    nvstream& operator=(const nvstream&) = delete;
    nvstream(nvstream&& other) noexcept;
    nvstream& operator=(nvstream&& other) noexcept;
    /// Deletes the buffer and the line queue.
    virtual ~nvstream();

    /// Gives the stream a fresh buffer of its kind (deleting the old one): none here.
    virtual void makeBuffer();

    /// Forward to the buffer; none of them changes the character count. Without a buffer,
    /// takeAndWrite still deletes the block it was given.
    void close();
    unsigned int read(char* buf, unsigned int n);
    unsigned int write(const char* data, unsigned int n);
    unsigned int takeAndWrite(const char* data, unsigned int n);
    /// Restores `*s` from the stream: restoreLong() when `longForm`, else restore() with no
    /// maximum. 1 on success; 0 on failure or for a null `s`, the string then unchanged.
    int read(JString* s, bool longForm);
    /// Saves `s` on the stream: saveLong() when `longForm`, else save() (cut to 32767 bytes).
    void write(const JString& s, bool longForm);
    std::int64_t takeAndwriteSharedBlock(int token, std::int64_t handle, std::int64_t length);
    bool fail() const;
    /// Whether there is a buffer and it is usable.
    operator bool() const;
    int seekg(std::int64_t pos);
    int seekg(std::int64_t offset, int whence);
    std::int64_t tellg();

    /// The next byte as 0..255, or -1 at end of input (or when there is no buffer). Without
    /// a hook this is the buffer's get() (whose own value is passed on as it is); each byte
    /// taken from the buffer adds one to the count. With a hook, whole lines are read into
    /// the line queue; a line starting with "?@@" is marked encoded and, while the last
    /// decode result is 0, replaced by what the hook gives.
    int get();
    /// c = get() (the byte -1 gives c = '\xFF').
    nvstream& get(char& c);
    /// False without a buffer; with a hook, false while bytes of the current line are
    /// unread, else the buffer's eof(); without a hook, the buffer's eof().
    bool eof() const;
    /// Characters read from the buffer, less those of the current line still unread when a
    /// hook is set and that line was not decoded.
    int getCharCount() const noexcept;
    /// Sets the count to 0.
    void clearCount() noexcept { m_count = 0; }
    /// The buffer (null allowed); still owned by the stream.
    nvbuf* rdbuf() const noexcept { return m_buf; }

    /// Writes the text of `s`; null writes "(null)".
    nvstream& operator<<(const char* s);
    /// Writes one byte.
    nvstream& operator<<(char c);
    /// Writes `v` formatted with "%d".
    nvstream& operator<<(int v);
    /// Writes `v` formatted with "%g".
    nvstream& operator<<(double v);
    /// Formats like printf (through JString::sprintf) and writes the text.
    void printf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void vprintf(const char* fmt, va_list args);

    /// Reads bytes with get() into `buf`, at most `n` of them. A '\n', or a byte read as -1
    /// (end of input, or the byte 0xFF from a buffer giving signed bytes) is replaced by NUL
    /// and ends the call; the '\n' is not kept. When `n` bytes arrive without either, no
    /// terminator is written: size `buf` above the longest line. A null `buf` or n <= 0
    /// reads nothing.
    nvstream& getline(char* buf, int n);
    /// Sets `*line` to "" and reads one line of any length into it (the '\n' dropped, a CR
    /// kept). Returns false at once, with the line empty, when the buffer is at end of input
    /// (with a hook: the current line is used up and the buffer is at end). A final line
    /// without '\n' is returned whole (true); the call after it returns false. A null `line`
    /// reads and drops the line.
    bool getline(JString* line);

    /// Deletes `to`'s buffer, gives `to` the buffer of `from`, and has `from` make a fresh
    /// one with makeBuffer(). Nothing when either is null or both are the same stream.
    static void transferBuffer(nvstream* from, nvstream* to);

    /// Sets the decode hook (null removes it) and creates the line queue.
    void setAllowEncryption(DecodeHook hook);
    /// Whether a decode hook is set.
    bool encryptionAllowed() const noexcept { return m_hook != nullptr; }
    /// Whether the current line began with the "?@@" marker.
    bool lineIsEncrypted() const noexcept { return m_lineEncrypted; }
    /// The result of the last decode call (0 before any).
    int getEncryptReturn() const noexcept { return m_encryptReturn; }

protected:
    /// Replaces the buffer by `buf` (taking ownership), deleting the old one.
    void setBuffer(nvbuf* buf) noexcept;

private:
    /// Fills the line queue from the buffer and decodes it (hook set, queue empty).
    void fillLine();
    /// Reads one byte from the buffer for the line queue or getline: false at end of input.
    /// A -1 from a memory buffer that is not at its end is the byte 0xFF.
    bool bufferByte(int& c);
    /// Sets m_buf and m_kind.
    void assignBuffer(nvbuf* buf) noexcept;
    /// getline(JString*) straight from a plain file buffer (no hook).
    bool getlineFromFile(JString* line);
    /// getline(JString*) straight from a memory buffer (no hook).
    bool getlineFromMemory(JString* line);

    bool m_lineEncrypted = false;
    CharQueue* m_line = nullptr; ///< current line while a hook is set
    std::int32_t m_count = 0;
    std::int32_t m_encryptReturn = 0;
    DecodeHook m_hook = nullptr;
    nvbuf* m_buf = nullptr;
    int m_kind = 0; ///< what m_buf is (BufferKind in the .cpp), kept with every change of m_buf
};

/// Writes the text of `s`.
nvstream& operator<<(nvstream& s, const JString& text);
