// nvstdstream: a stream whose output goes to a MessageHandler as Raw text (nvstdbuf).
//
//   nvstdstream out;                  // the current handler
//   out << "done in " << 3 << " s\n";
#pragma once

#include "../diag/MessageHandler.h"
#include "nvstdbuf.h"
#include "nvstream.h"

/// A stream on an nvstdbuf.
class nvstdstream : public nvstream {
public:
    /// On the current handler, taken at construction.
    nvstdstream();
    /// On `h`, which must outlive the stream.
    explicit nvstdstream(MessageHandler& h);
};
