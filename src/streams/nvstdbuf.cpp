#include "nvstdbuf.h"

#include "../diag/ErrorReport.h"

nvstdbuf::nvstdbuf() : m_handler(sp_GetCurrentMessageHandler()) {}

nvstdbuf::nvstdbuf(MessageHandler* h) : m_handler(h ? h : sp_GetCurrentMessageHandler()) {}

unsigned int nvstdbuf::write(const char* data, unsigned int n) {
    if (!data || !m_handler)
        return 0;
    // JString lengths are int: a larger write is delivered as its first 2^31-1 bytes.
    const int len = n > 0x7FFFFFFFu ? 0x7FFFFFFF : int(n);
    m_handler->rawOutput(Raw, JString(data, len));
    return n;
}
