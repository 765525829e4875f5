#include "Path.h"

bool sp_CaseSensitiveFiles() {
    // Linux file systems keep and compare names byte for byte.
    return true;
}
