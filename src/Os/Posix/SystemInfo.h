// System queries: the user's name, clocks, sleeping and the calling thread's identifier.
//
//   unsigned start = sp_GetTickCount();
//   sp_Sleep(20);
//   unsigned elapsedMs = sp_GetTickCount() - start;   // correct across the 32-bit wrap
//   JString who = sp_GetUserName();                    // "" when unknown
#pragma once

#include "../../core/JString.h"

#include <cstdint>

/// The name of the user the process runs as (its effective user id in the password
/// database, else $USER, else $LOGNAME), at most 256 characters; "" when none is known.
JString sp_GetUserName();

/// Milliseconds since the system started (the monotonic boot clock, which also counts
/// suspended time), wrapping at 32 bits: differences of two readings are right modulo 2^32.
unsigned int sp_GetTickCount();

/// Seconds from the high-resolution monotonic clock as a double (nanosecond resolution); only
/// differences are meaningful. 0.0 when the system has no such clock.
double sp_GetPerfTime();

/// Seconds since 1970-01-01 00:00 UTC.
std::int64_t sp_EpochTime();

/// Seconds since 1970-01-01 00:00 UTC from the system clock, cut to an unsigned 32-bit
/// number (wraps in 2106); 0 when the clock cannot be read.
unsigned int sp_GetSystemTime();

/// Suspends the calling thread for at least `ms` milliseconds (0 yields the processor).
void sp_Sleep(unsigned ms);

/// The calling thread's identifier (the kernel's thread id, unique among live threads of the
/// system; the main thread's equals the process id).
unsigned int sp_GetThreadId();
