#include "NorvaneException.h"

#include <cstdio>

NorvaneException::NorvaneException(MessageType t, const char* message) : type(t) {
    std::snprintf(text, sizeof text, "%s", message ? message : "");
}

MemoryException::MemoryException(const char* detail) : NorvaneException(Fatal, "") {
    std::snprintf(text, sizeof text, "*** Fatal error, out of memory ***\n%s",
                  detail ? detail : "");
}
