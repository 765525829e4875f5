// NewSpiceStream: a SPICE netlist reader that returns one logical statement per call of
// gets(): the title line first, continuation lines ('+') joined, inline comments (from ';')
// dropped, '*' comment lines kept as statements of their own. The raw text of every
// completed line is collected in a literal buffer.
//
//   NewSpiceStream in("deck.cir");
//   JString statement;
//   int line;
//   while (in.gets(&statement, &line))      // "Title", "R1 a b  1k", "* note", ...
//       use(statement, line);
//
// Reading rules, in the order the reader applies them:
// - Carriage returns, bytes above 127, and control bytes other than tab and line feed
//   (DEL included) are dropped as they are read; they count as characters read but never
//   reach a statement or the literal buffer. The end of input acts as one final line feed.
// - The title runs from the first character that is not a blank, tab, line feed or ';' to
//   the end of its line (less an inline comment), and may be continued like any statement.
// - A line whose first non-blank character is '+' continues the statement: the '+' becomes
//   one blank. A line starting with ';' is dropped. From ';' to the end of a statement line
//   is dropped; the text before it (blanks included) stays.
// - '*' lines that follow a statement are delivered after it as statements of their own
//   (leading blanks dropped), unless a '+' line follows them: then they are dropped and the
//   continuation joins the statement. A ';' inside such a '*' line ends that comment
//   statement there (the ';' and the rest of its line are dropped).
// - Line numbers count from 1 and never decrease: a statement is numbered by the line count
//   + 1 when its first character is delivered. '*' lines are found while looking ahead for a
//   '+', so they carry the number of the line that ended the look-ahead (the next statement's
//   line, or the line count + 1 at the end of input).
#pragma once

#include "../core/Buf.h"
#include "../core/CharQueue.h"
#include "../core/JString.h"
#include "../streams/nvstream.h"

/// A netlist statement reader on an owned stream buffer. Not copyable (it owns its buffer).
class NewSpiceStream : public nvstream {
public:
    /// Opens `path` for binary reading (NV_OPEN_READ | NV_OPEN_BINARY) and records it as the
    /// source file. A null path or a file that cannot be opened gives a stream at end of input
    /// (gets returns false at once).
    explicit NewSpiceStream(const char* path);
    /// Takes over the buffer of `source`, which gets a fresh one of its own kind. A stream
    /// without a buffer, or on a message handler (nvstdstream), reads as empty.
    explicit NewSpiceStream(nvstream& source);
    NewSpiceStream(const NewSpiceStream&) = delete;
    NewSpiceStream& operator=(const NewSpiceStream&) = delete;
    ~NewSpiceStream() override;

    /// Restarts the reader on what remains of the input: state "start" (the next text is a
    /// title), line and character counts 0, not ended, comment character ';', character limit
    /// 0x7fffffff. The queues and buffers keep their contents.
    void init();

    /// The next character of the statement text: a line feed ends a statement, -1 means the
    /// end of input (returned again on every later call).
    int get();
    /// Reads the next statement into `*statement` (emptied first) and sets `*lineNumber` to
    /// the line count + 1 when its first character is taken. Returns false, with an empty
    /// statement, when no statement is left. Either pointer may be null.
    virtual bool gets(JString* statement, int* lineNumber = nullptr);

    /// Line feeds read, plus one once the end of input has been reached.
    int getLineCount() const noexcept { return lineCount; }
    /// Bytes read from the stream (dropped bytes included, the end of input not; the byte
    /// that goes past the character limit included).
    int getCharCount() const noexcept { return charCount; }
    /// Sets the line and character counts to 0.
    void clearCounts() noexcept {
        lineCount = 0;
        charCount = 0;
    }
    /// The raw text (after the byte filter) of the lines completed so far, each with its line
    /// feed; it grows until flushLitBuffer().
    const Buf& getLitBuffer() const noexcept { return litBuffer; }
    /// Empties the literal buffer.
    void flushLitBuffer() { litBuffer.flush(); }
    /// The path given to the file constructor ("" for the stream constructor).
    JString getSourceFile() const { return sourceFile; }

protected:
    /// The next accepted character from the stream, a line feed for the end of input, then -1.
    int getChar();
    /// The next character to interpret: from the replay queue, else from getChar().
    int nextChar();
    /// Moves the read queue up to and including its last line feed to the literal buffer.
    void moveLiteral();
    /// Queues for replay the rest of a comment line (its line feed included).
    void queueRestOfLine();

    int state;              ///< -1 start, 0 line start, 1..6 see NewSpiceStream.cpp
    int lineCount;          ///< line feeds read, +1 at the end of input
    int charCount;          ///< bytes read from the stream
    Buf litBuffer;          ///< raw text of completed lines
    Buf lineBuffer;         ///< the statement being assembled by gets()
    CharQueue readQueue;    ///< accepted characters not yet moved to litBuffer
    CharQueue replayQueue;  ///< characters to deliver again before reading further
    JString sourceFile;     ///< path given to the file constructor
    bool ended;             ///< the end of input has been signalled
    char commentChar;       ///< ';'
    int charLimit;          ///< input beyond this many characters counts as the end
    bool replayLineStarted; ///< text of the current replayed line has been delivered

private:
    bool writeOnly = false; ///< the buffer is a message-handler buffer: no input at all

    static int dummyLineNum;
};
