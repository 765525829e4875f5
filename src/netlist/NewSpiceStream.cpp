#include "NewSpiceStream.h"

#include "../streams/nvfbuf.h"
#include "../streams/nvstdbuf.h"

#include <climits>

// States of the reader (get()):
//  -1 start: blanks, tabs, line feeds and ';' are skipped until the title begins.
//   0 line start: the first non-blank character of a line decides what the line is.
//   1 comment look-ahead: a '*' line follows a statement; read ahead to see whether a '+'
//     line follows the comment lines.
//   2 in statement: characters are delivered until the line feed.
//   3 replay: comment lines found by the look-ahead are delivered from the replay queue.
//   4 comment line (';' at line start): skipped to its line feed.
//   5 inline comment: skipped to the line feed.
//   6 comment inside a replayed line: skipped to the line feed.

namespace {

// The replay queue holds bytes 0..127 only (getChar drops the rest), so 0xFF can stand for
// the end of input.
const char kEndMark = '\xff';

bool isBlank(int c) {
    return c == ' ' || c == '\t';
}

} // namespace

int NewSpiceStream::dummyLineNum = 0;

NewSpiceStream::NewSpiceStream(const char* path)
    : nvstream(new nvfbuf(path, NV_OPEN_READ | NV_OPEN_BINARY, false)), sourceFile(path) {
    init();
}

NewSpiceStream::NewSpiceStream(nvstream& source) {
    transferBuffer(&source, this);
    // A message-handler buffer only takes output; reading it would give zeros forever.
    writeOnly = dynamic_cast<nvstdbuf*>(rdbuf()) != nullptr;
    init();
}

NewSpiceStream::~NewSpiceStream() = default;

void NewSpiceStream::init() {
    state = -1;
    lineCount = 0;
    charCount = 0;
    ended = false;
    commentChar = ';';
    charLimit = 0x7fffffff;
    replayLineStarted = false;
}

int NewSpiceStream::getChar() {
    if (ended)
        return -1;
    for (;;) {
        bool atEnd = !rdbuf() || writeOnly;
        int c = -1;
        if (!atEnd) {
            c = nvstream::get();
            // A buffer that hands out signed bytes gives -1 for the byte 0xFF too; only a
            // buffer that reports its end (or an error) has really ended.
            if (c == -1 && (eof() || fail())) {
                atEnd = true;
            } else {
                // The character is counted; one that takes the count above the limit is the
                // end.
                atEnd = charCount >= charLimit;
                if (charCount < INT_MAX)
                    ++charCount;
            }
        }
        if (atEnd) {
            ended = true;
            if (lineCount < INT_MAX)
                ++lineCount;
            readQueue.add('\n');
            return '\n';
        }
        if (c == '\n') {
            if (lineCount < INT_MAX)
                ++lineCount;
            readQueue.add('\n');
            return '\n';
        }
        // Carriage returns, bytes above 127 (negative from signed buffers), DEL and the other
        // control bytes are dropped.
        if (c < 0 || c >= 127 || (c < ' ' && c != '\t'))
            continue;
        readQueue.add(static_cast<char>(c));
        return c;
    }
}

int NewSpiceStream::nextChar() {
    if (replayQueue.isEmpty())
        return getChar();
    char c = replayQueue.pop();
    return c == kEndMark ? -1 : static_cast<unsigned char>(c);
}

void NewSpiceStream::moveLiteral() {
    const char* text = *readQueue;
    int n = readQueue.getLength();
    while (n > 0 && text[n - 1] != '\n')
        --n;
    for (int i = 0; i < n; ++i)
        litBuffer.add(readQueue.pop());
}

void NewSpiceStream::queueRestOfLine() {
    for (;;) {
        int c = getChar();
        replayQueue.add(c == -1 ? kEndMark : static_cast<char>(c));
        if (c == '\n' || c == -1)
            return;
    }
}

int NewSpiceStream::get() {
    const int x = static_cast<unsigned char>(commentChar);
    for (;;) {
        switch (state) {
        case -1: {
            int c = nextChar();
            if (isBlank(c) || c == '\n' || c == x)
                continue;
            state = 2;
            return c;
        }
        case 0: {
            int c = nextChar();
            if (isBlank(c) || c == '\n')
                continue;
            if (c == '+') {
                replayQueue.add(' ');
                state = 2;
            } else if (c == '*') {
                replayQueue.add('*');
                state = 1;
            } else if (c == x) {
                state = 4;
            } else {
                replayQueue.add(c == -1 ? kEndMark : static_cast<char>(c));
                state = 2;
                return '\n';
            }
            continue;
        }
        case 1: {
            // The '*' comes back from the replay queue and goes in again, followed by the
            // comment lines up to the first line that is neither blank nor a comment.
            int c = nextChar();
            replayQueue.add(c == -1 ? kEndMark : static_cast<char>(c));
            if (c != '\n' && c != -1)
                queueRestOfLine();
            for (;;) {
                c = getChar();
                if (isBlank(c) || c == '\n')
                    continue;
                if (c != '*' && c != x)
                    break;
                replayQueue.add(static_cast<char>(c));
                queueRestOfLine();
            }
            if (c == '+') {
                moveLiteral();
                replayQueue.flush();
                replayQueue.add(' ');
                state = 2;
                continue;
            }
            replayQueue.add(c == -1 ? kEndMark : static_cast<char>(c));
            state = 3;
            replayLineStarted = false;
            return '\n';
        }
        case 2: {
            int c = nextChar();
            if (c == '\n') {
                moveLiteral();
                state = 0;
                continue;
            }
            if (c == x) {
                state = 5;
                continue;
            }
            return c;
        }
        case 3: {
            if (replayQueue.isEmpty()) {
                state = 2;
                continue;
            }
            int c = nextChar();
            bool last = replayQueue.isEmpty();
            if (c == '\n') {
                moveLiteral();
                replayLineStarted = false;
                if (last)
                    state = 2;
                return c;
            }
            if (c == x) {
                state = last ? 5 : 6;
                continue;
            }
            replayLineStarted = true;
            if (last)
                state = 2;
            return c;
        }
        case 4: {
            int c = nextChar();
            if (c == '\n') {
                state = 0;
            } else if (c == -1) {
                // Unreachable from the text itself (the end comes as a line feed first);
                // guards against skipping the end forever.
                replayQueue.add(kEndMark);
                state = 0;
            }
            continue;
        }
        case 5: {
            int c = nextChar();
            if (c == '\n' || c == -1) {
                if (c == -1)
                    replayQueue.add(kEndMark);
                moveLiteral();
                state = 0;
            }
            continue;
        }
        case 6: {
            int c = nextChar();
            bool last = replayQueue.isEmpty();
            if (c == -1) {
                replayQueue.add(kEndMark);
                state = 3;
                continue;
            }
            if (c != '\n') {
                if (last)
                    state = 5;
                continue;
            }
            moveLiteral();
            state = last ? 2 : 3;
            // A '*' line with a ';' in it ends at the ';': its line feed still ends the
            // comment statement. A replayed ';' line delivered nothing and disappears whole.
            if (replayLineStarted) {
                replayLineStarted = false;
                return '\n';
            }
            continue;
        }
        default:
            state = 0;
            continue;
        }
    }
}

bool NewSpiceStream::gets(JString* statement, int* lineNumber) {
    if (!lineNumber)
        lineNumber = &dummyLineNum;
    if (statement)
        *statement = "";
    lineBuffer.flush();
    bool first = true;
    for (;;) {
        int c = get();
        if (first) {
            *lineNumber = lineCount < INT_MAX ? lineCount + 1 : INT_MAX;
            first = false;
        }
        if (c == '\n')
            break;
        if (c == -1) {
            if (lineBuffer.getLength() == 0)
                return false;
            break;
        }
        lineBuffer.add(static_cast<char>(c));
    }
    if (statement)
        *statement = *lineBuffer;
    return true;
}
