// Path facts and manipulation. For now: whether file names on this platform are
// case-sensitive, which decides how JString compares and hashes paths.
//
//   if (!sp_CaseSensitiveFiles()) name.tolower();
#pragma once

/// True when file names differ by letter case. Always true on Linux.
bool sp_CaseSensitiveFiles();
