// The library's exceptions: a message kind and a text, thrown by value. MemoryException
// is thrown when the shared memory heap cannot be created or mapped.
//
//   try { ... } catch (const NorvaneException& e) { handler->formattedOutput(e.type, e.text); }
#pragma once

#include "MessageHandler.h"

#include <exception>

/// A message kind and a text of at most 999 bytes (longer texts are cut).
class NorvaneException : public std::exception {
public:
    NorvaneException(MessageType type, const char* text);
    /// The text.
    const char* what() const noexcept override { return text; }

    MessageType type;
    char text[1000];
};

/// Fatal: "*** Fatal error, out of memory ***\n" followed by `detail` (such as "Could not
/// allocate shared heap" or "Could not map shared heap").
class MemoryException : public NorvaneException {
public:
    explicit MemoryException(const char* detail);
};
