// nvstdbuf: a write-only stream buffer that hands every write to a MessageHandler as one Raw
// text, so stream output can go wherever the host shows diagnostics.
//
//   nvstdbuf b;                      // the current handler
//   b.write("3 nodes\n", 8);         // one Raw text
#pragma once

#include "../diag/MessageHandler.h"
#include "nvbuf.h"

/// Writes into a handler (not owned). Reads give nothing: read() 0, get() 0; eof() and
/// fail() are false and the buffer is always usable.
class nvstdbuf : public nvbuf {
public:
    /// On the current handler (sp_GetCurrentMessageHandler), looked up now.
    nvstdbuf();
    /// On `h`, which must outlive the buffer.
    explicit nvstdbuf(MessageHandler& h) noexcept : m_handler(&h) {}
    /// On `h`; null means the current handler, looked up now.
    explicit nvstdbuf(MessageHandler* h);

    bool eof() const override { return false; }
    bool fail() const override { return false; }
    /// Always 0.
    int get() override { return 0; }
    /// Always 0.
    unsigned int read(char*, unsigned int) override { return 0; }
    /// Passes the `n` bytes to the handler as one Raw text and returns n (the text ends at
    /// an embedded NUL). A null `data` delivers nothing and returns 0.
    unsigned int write(const char* data, unsigned int n) override;
    /// Always true.
    operator bool() const override { return true; }

    /// The handler written to.
    MessageHandler* handler() const noexcept { return m_handler; }

private:
    MessageHandler* m_handler;
};
