#include "Tokens.h"

#include "../core/CaseFold_p.h"

unsigned int sp_HashValue(const char* text) {
    if (!text)
        return 0;
    unsigned int h = 0;
    for (const char* p = text; *p; ++p) {
        // The byte as a signed char, upper-cased, cut to 16 bits.
        unsigned int c =
            static_cast<unsigned int>(nvsupport::detail::asciiUpper(static_cast<signed char>(*p))) &
            0xFFFFu;
        h = (c ^ (h & 0xFFFFu)) << 1;
    }
    return h;
}
