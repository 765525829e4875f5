// Value-pair files: tables of (x, y) points kept as plain text, read into one array of
// numbers x0, y0, x1, y1, ... with a report on whether the x values rise strictly.
//
//   FILE* f = std::fopen("curve.txt", "r");
//   double* v; int n; ReadValuePairsStatus st;
//   sp_ReadValuePairs(f, &v, &n, &st);   // n numbers, n / 2 pairs
//   ...
//   std::free(v);
#pragma once

#include <cstdio>

/// How well the x values of a value-pair file were ordered.
enum ReadValuePairsStatus {
    RVP_ASCENDING = 0,  ///< the x values rise strictly
    RVP_REPEATED_X = 1, ///< an x value repeats with a different y (while still ascending)
    RVP_DESCENDING = 2, ///< an x value is smaller than the one before it
};

/// Reads the words of `file` (white-space separated, read 512 bytes at a time) up to its end.
/// A word that begins with a decimal number (optional sign, digits with an optional point,
/// optional exponent) contributes the number its longest such leading part gives ("1e-3V"
/// gives 0.001, "4k7" gives 4; no engineering suffixes, no hexadecimal, inf or nan); every
/// other word, "+" included, is skipped. A number beyond the double range reads as
/// +-HUGE_VAL, one too small as 0.
///
/// The numbers are taken in pairs, x then y; an unpaired last number is dropped. The first
/// pair is stored; each later pair is compared with the last stored one: a greater x is
/// stored; a smaller x is stored and sets the status to RVP_DESCENDING; the same x with the
/// same y is dropped; the same x with another y is stored and sets RVP_REPEATED_X unless the
/// status is already RVP_DESCENDING.
///
/// On return `*values` is a malloc'ed array of `*count` doubles (twice the pairs stored),
/// freed by the caller with free(), or null when nothing was stored. When memory runs out
/// the pairs stored so far are returned (null when none). A null `file` gives an empty
/// result; null `values` or `count` makes the call do nothing but set what it can; a null
/// `status` is not reported.
void sp_ReadValuePairs(FILE* file, double** values, int* count, ReadValuePairsStatus* status);
