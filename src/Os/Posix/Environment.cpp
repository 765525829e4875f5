#include "Environment.h"

#include <cstdlib>
#include <cstring>

namespace {

// The longest value a caller receives, as the environment block of the product's first
// platform limits it.
constexpr int kMaxValueLength = 32767;

// POSIX names may hold anything but '=' (and cannot be empty); setenv refuses the rest.
bool validName(const JString& name) {
    return !name.isEmpty() && !std::strchr(*name, '=');
}

} // namespace

JString sp_GetEnv(const JString& name, bool* found) {
    const char* value = validName(name) ? std::getenv(*name) : nullptr;
    if (found)
        *found = value != nullptr;
    if (!value)
        return JString();
    return JString(value, kMaxValueLength);
}

bool sp_SetEnv(const JString& name, const JString& value) {
    return validName(name) && ::setenv(*name, *value, 1) == 0;
}

void sp_DeleteEnv(const JString& name) {
    if (validName(name))
        ::unsetenv(*name);
}
