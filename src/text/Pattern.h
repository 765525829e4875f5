// Pattern matching: the anchored wildcard filter of directory listings, a wildcard search
// that returns where the pattern first matches, and a regular-expression search.
//
//   sp_FilterString("Report.TXT", "*.txt", false);   // true
//   sp_GlobMatch("b?d", "abcd");                       // 1
//   sp_RegexpMatch("[0-9]+", "R12");                   // 1
#pragma once

#include "../core/JString.h"

/// True when the whole `text` matches `filter` (`*` any run, `?` one character, `\` takes
/// the next character literally; a `\` ending the filter matches nothing). Without
/// `caseSensitive` the ASCII letters compare case-blind. A null `text` reads as "".
bool sp_FilterString(const char* text, const JString& filter, bool caseSensitive);

/// Position of the leftmost match in `text` of the wildcard `pattern` (a `*` stands for one
/// or more characters, `?` for one; brackets, parentheses, braces, dot and plus are
/// literal; other regular-expression syntax keeps its meaning), or -1; also -1 when the
/// rewritten pattern does not compile or either argument is null. Positions count bytes.
int sp_GlobMatch(const char* pattern, const char* text);

/// Position of the leftmost match of the regular expression `pattern` in `text`
/// (case-sensitive), or -1; also -1 for an expression that does not compile or a null
/// argument. Positions count bytes; `.` also matches a newline, `$` only the very end.
int sp_RegexpMatch(const char* pattern, const char* text);
