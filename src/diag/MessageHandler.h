// Message handlers: the sink every diagnostic of the library goes to. The host supplies a
// MessageHandler (and publishes it as "getDefaultMessageHandler"); the library formats
// reports with fixed prefixes and hands them over.
//
//   FileMessageHandler h;
//   h.attach(stderr);
//   h.error("x=%d", 3);        // writes "Error : x=3\n"
//   h.printf("raw text");      // written exactly
#pragma once

#include "../core/JString.h"

#include <cstdarg>
#include <cstdio>

/// The kind of a message, and the text `output` passes on for it:
/// Error "Error : %s\n", Warning "Warning : %s\n",
/// Unexpected "Unexpected error, please contact support : %s\n", Info "%s\n",
/// Raw the text unchanged, Fatal "Fatal Error : %s\n"; any other value (any int is a valid
/// MessageType) an empty text.
enum MessageType : int { Error = 0, Warning = 1, Unexpected = 2, Info = 3, Raw = 4, Fatal = 5 };

/// An abstract sink of diagnostics; the derived class decides where finished text goes.
class MessageHandler {
public:
    using enum MessageType;

    MessageHandler() = default;
    MessageHandler(const MessageHandler&) = default;
    MessageHandler& operator=(const MessageHandler&) = default;
    virtual ~MessageHandler();

    /// Formats like printf and reports the text as an Error.
    void error(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void verror(const char* fmt, va_list args);
    /// Formats like printf and reports the text as a Warning.
    void warning(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void vwarning(const char* fmt, va_list args);
    /// Formats like printf and reports the text as Unexpected.
    void unexpected(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void vunexpected(const char* fmt, va_list args);
    /// Formats like printf and reports the text as Info (a line without prefix).
    void info(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void vinfo(const char* fmt, va_list args);
    /// Formats like printf and delivers the text as it is (Raw, no newline added).
    void printf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void vprintf(const char* fmt, va_list args);
    /// Writes to `f`: standard output goes to the handler as Raw text, standard error as
    /// Error text without the prefix, any other file is written directly.
    void printf(FILE* f, const char* fmt, va_list args);

    /// Delivers `text` unformatted.
    void rawOutput(MessageType type, const JString& text) { finalOutput(type, text); }
    /// Formats `text` for its kind, then delivers it.
    void formattedOutput(MessageType type, const JString& text) { output(type, text); }

private:
    /// Delivers finished text to the destination.
    virtual void finalOutput(MessageType type, const JString& text) = 0;
    /// Formats `text` by its kind's prefix and calls finalOutput.
    virtual void output(MessageType type, const JString& text);
};

/// The fallback handler: delivers nothing, but remembers whether anything other than
/// Info and Raw was reported.
class NullMessageHandler : public MessageHandler {
public:
    NullMessageHandler() = default;
    /// Whether an Error, Warning, Unexpected or Fatal (or unknown kind) was reported.
    bool haveErrors() const { return m_haveErrors; }

private:
    void finalOutput(MessageType, const JString&) override {}
    void output(MessageType type, const JString& text) override;

    bool m_haveErrors = false;
};

/// Writes every message to an attached FILE* (not owned); drops them while none is attached.
class FileMessageHandler : public MessageHandler {
public:
    FileMessageHandler() = default;
    /// Sends later messages to `f` (null detaches).
    void attach(FILE* f) { m_file = f; }

private:
    void finalOutput(MessageType type, const JString& text) override;

    FILE* m_file = nullptr;
};
