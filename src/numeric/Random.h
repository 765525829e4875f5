// A seeded pseudo-random generator whose state belongs to the caller.
//
//   RandomSeed seed = 1;
//   long a = sp_Random(&seed);   // 16807
//   long b = sp_Random(&seed);   // 282475249
#pragma once

#include <cstdint>

/// The generator's state: any signed 64-bit value. A seed of 0 (or a multiple of
/// 2147483647) gives 0 for ever.
using RandomSeed = std::int64_t;

/// Advances `*seed` to (seed % 2147483647) * 16807 (the remainder keeps the sign of the
/// seed) and returns the low 31 bits of the new seed, a value in 0 .. 2147483647.
/// A null `seed` gives 0.
long sp_Random(RandomSeed* seed);
