// SpiceStream: reads a SPICE netlist as logical statements, one per gets() call, with '+'
// continuation lines joined, '*' comment lines and inline comments removed, «*#» dialect
// directives applied, and the literal source text of each statement kept beside it.
//
//   SpiceStream in("amp.cir", SPICE_NORVANE);
//   in.readTitle();                       // first line: the title, left in getBuffer()
//   in.flushBuffer();
//   JString statement;
//   int line;
//   bool encoded;
//   while (in.gets(&statement, &line, &encoded)) {
//       use(line, statement, **in.getBuffer());   // the text and where it came from
//       in.flushBuffer();
//   }
#pragma once

#include "../core/Buf.h"
#include "../core/JString.h"
#include "../streams/nvstream.h"

#include <cstdint>
#include <cstring>
#include <memory>

/// The dialect of a netlist: it decides the inline comment character.
enum SpiceLanguage {
    SPICE_NORVANE = 0, ///< the product's own dialect; inline comments start at ';'
    SPICE_PSPICE = 1,  ///< PSPICE; inline comments start at ';'
    SPICE_HSPICE = 2,  ///< HSPICE; inline comments start at '$'
};

/// A set of simulator flags.
enum SimulatorType {
    SIM_NONE = 0,
    SIM_NORVANE = 1, ///< the product's own simulator, written "Norvane"
    SIM_KESTRUM = 2, ///< the second simulator, written "KESTRUM"
};

inline SimulatorType operator|(SimulatorType a, SimulatorType b) {
    return SimulatorType(int(a) | int(b));
}

/// The text form of `type`: "KESTRUM" for flag 2, "Norvane" for flag 1, both as
/// "KESTRUM|Norvane"; other bits are ignored, so 0 gives "".
JString support_BuildSimulatorTypeString(SimulatorType type);
inline JString support_BuildSimulatorTypeString(int type) {
    return support_BuildSimulatorTypeString(SimulatorType(type));
}
/// The flags named in `text`: the fields between '|' that equal "KESTRUM" (flag 2) or
/// "Norvane" (flag 1), compared case-blind and untrimmed; other fields are ignored. Null and
/// "" give 0.
SimulatorType support_CrackSimulatorType(const char* text);

namespace nvsupport::detail {

/// A Buf whose append is inline (the reader appends every character it passes) and which
/// stops growing at 1 GiB: characters beyond that are dropped instead of overflowing.
class SpiceTextBuf : public Buf {
public:
    /// The capacity at which growing stops.
    static constexpr int maxCapacity = 1 << 30;

    SpiceTextBuf() : Buf(initsize) {}
    void clear() {
        length = 0;
        buffer[0] = 0;
    }
    void put(char c) {
        if (length >= capacity - 1) {
            if (capacity >= maxCapacity)
                return;
            grow();
        }
        buffer[length++] = c;
        buffer[length] = 0;
    }
    void put(const char* s, int n) {
        if (n >= 0 && n < capacity - length) {
            std::memcpy(buffer + length, s, std::size_t(n));
            length += n;
            buffer[length] = 0;
        } else {
            putSlowly(s, n);
        }
    }

    /// put(s, n) for 0 <= n <= 16 where 16 bytes can be read at `s`: copies 16 bytes at once
    /// when there is room (the bytes past n are overwritten later).
    void putShort(const char* s, int n) {
        if (capacity - length > 16) {
            std::memcpy(buffer + length, s, 16);
            length += n;
            buffer[length] = 0;
        } else {
            put(s, n);
        }
    }

private:
    void putSlowly(const char* s, int n);
};

} // namespace nvsupport::detail

/// A netlist reader over an nvstream whose buffer it has taken over. Nothing is reported:
/// an unopenable file reads as an empty netlist, bytes above 127 and control bytes other
/// than tab and line feed are dropped (carriage returns included), and an unterminated '{'
/// loses the rest of its statement. Not copyable.
///
/// Without a decode hook the reader takes its buffer's bytes in blocks of 64 KiB (with a hook,
/// a byte at a time through nvstream::get, as decoding needs): set a hook before the first
/// read, move with the seekg/tellg of this class, and read only through this class (its
/// get(bool), gets, readTitle). The stream's own character count (nvstream::getCharCount)
/// then stays 0; getCharCount() here counts every byte read.
class SpiceStream : public nvstream {
public:
    /// Opens `path` for binary reading (no lock) and sets the dialect. A file that cannot be
    /// opened (or a null path) gives a stream at end of input at once; operator bool() tells.
    explicit SpiceStream(const char* path, SpiceLanguage language = SPICE_NORVANE);
    SpiceStream(const char* path, int language) : SpiceStream(path, SpiceLanguage(language)) {}
    /// Takes over the buffer of `source` (which gets a fresh one); dialect SPICE_NORVANE.
    explicit SpiceStream(nvstream& source);
    SpiceStream(const SpiceStream&) = delete;
    SpiceStream& operator=(const SpiceStream&) = delete;
    /// Releases both text buffers, then the stream with its buffer.
    ~SpiceStream() override;

    /// The next logical statement into `*statement` (without comments, continuations joined
    /// with a blank in place of each '+', "{...}" expressions passed through evaluate()).
    /// `*lineNumber` receives the physical line of its first character and `*encoded`
    /// whether any of its lines was encoded. Returns false, with "", at the end. Any of the
    /// pointers may be null.
    virtual bool gets(JString* statement, int* lineNumber = nullptr, bool* encoded = nullptr);
    /// Substitution hook for a "{...}" expression (nested braces given as parentheses):
    /// return true with `*value` set to replace the expression; false keeps it as
    /// "{expression}". Always false here.
    virtual bool evaluate(const char* expression, JString* value);

    /// Back to the start of the grammar: counts 0 (the stream's too), nothing pending, literal
    /// mode off, empty lines suppressed, separator "$". The dialect and the literal buffer are
    /// kept; after seekg(0) this reads the input again from the top.
    void init();
    /// Reads the rest of the current physical line raw (carriage returns dropped, every other
    /// byte kept) into the literal buffer: the title line of a netlist. Take it with
    /// getBuffer(), then flushBuffer().
    void readTitle();
    /// The next character of the logical text, or -1 at the end. `literal` reads the next
    /// (filtered) character as it is, copies it to the literal buffer and returns the grammar
    /// to line start.
    int get(bool literal);
    /// Non-zero once the input has ended (until init()).
    int eof();

    /// Line feeds read so far.
    int getLineCount() const { return lineCount; }
    /// Characters read so far (the stream's own count when a decode hook is set).
    int getCharCount() const { return encryptionAllowed() ? nvstream::getCharCount() : charCount; }
    /// The counts when the last character was accepted into a statement.
    int getLastAcceptedLineCount() const { return lastAcceptedLineCount; }
    int getLastAcceptedCharCount() const { return lastAcceptedCharCount; }
    /// Line, char and last accepted char counts and the stream's count to 0; the last
    /// accepted line count is kept.
    void clearCounts();

    /// The literal source text gathered since it was last emptied, comments included.
    const Buf* getBuffer() const { return &literal; }
    /// Empties the literal buffer.
    void flushBuffer() { literal.clear(); }
    /// Replaces the literal buffer's text by `text`.
    void copyBuffer(const JString& text);

    /// gets() reads physical lines as they are while on.
    void setLiteralMode(bool on) { literalMode = on; }
    /// Every line feed after a statement's start goes into the literal buffer, not only those
    /// before its comment and continuation lines.
    void dontSuppressEmptyLines() { suppressEmptyLines = false; }

    SpiceLanguage getLanguage() const { return language; }
    bool isHspiceMode() const { return language == SPICE_HSPICE; }
    /// '$' in HSPICE mode, ';' otherwise.
    char getInlineCommentChar() const { return language == SPICE_HSPICE ? '$' : ';'; }
    /// The separator set by a «*#NORVANE sep X» directive; "$" at start, "" after
    /// "sep none" and after the HSPICE and PSPICE directives.
    const char* getSeparator() const { return *separator; }
    /// The path given to the file constructor, else "".
    JString getSourceFile() const { return sourceFile; }

    /// The buffer's position less the bytes read ahead and not yet taken; -1 as the
    /// buffer's tellg() gives it.
    std::int64_t tellg();
    /// The buffer's seekg(), dropping what was read ahead (whence 1 counts from tellg()).
    /// Call init() as well to restart the grammar.
    int seekg(std::int64_t pos);
    int seekg(std::int64_t offset, int whence);

private:
    int rawChar();
    int readByte() {
        return chunkPos < chunkLength ? static_cast<unsigned char>(chunk[chunkPos++]) : refill();
    }
    int refill();
    int readCounted();
    void store(int c, int& depth);
    void closeExpression();
    void takeStatementText(int& depth);
    void skipCommentRun();
    void skipBlanks();
    void commentStart(int first);
    void applyDirective(const char* text);
    void accept() {
        lastAcceptedLineCount = lineCount;
        lastAcceptedCharCount = getCharCount();
    }

    int state;
    int pending;
    int lineCount;
    int charCount;
    int lastAcceptedLineCount;
    int lastAcceptedCharCount;
    bool literalMode;
    bool suppressEmptyLines;
    SpiceLanguage language;
    nvsupport::detail::SpiceTextBuf literal;
    nvsupport::detail::SpiceTextBuf line;
    JString separator;
    JString sourceFile;

    nvsupport::detail::SpiceTextBuf expression; ///< the "{...}" expression gets() is reading
    bool inputEnded = false;       ///< the stream has reported its end; read no further
    std::unique_ptr<char[]> chunk; ///< bytes read ahead from the buffer (no decode hook)
    int chunkPos = 0;
    int chunkLength = 0;

    /// Where gets() writes the line number when given none (one per thread).
    static thread_local int dummyLineNum;
};
