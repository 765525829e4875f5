#include "Random.h"

long sp_Random(RandomSeed* seed) {
    if (!seed)
        return 0;
    // |seed % 2147483647| < 2^31, so the product stays below 2^46.
    *seed = (*seed % 2147483647) * 16807;
    return static_cast<long>(*seed & 0x7FFFFFFF);
}
