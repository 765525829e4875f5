#include "nvstdstream.h"

nvstdstream::nvstdstream() : nvstream(new nvstdbuf) {}

nvstdstream::nvstdstream(MessageHandler& h) : nvstream(new nvstdbuf(h)) {}
