// Engineering notation: reading values such as 4k7, 10u, 1meg or 100mil into numbers, and
// writing numbers back with engineering suffixes, as percentages or at a fixed width.
//
//   char* end;
//   double r = sp_ConvertEngToReal("4k7", &end);   // 4700.000000000001, end past "4k7"
//   JString s = sp_FormatEng(2.2e-9, 6, false, false); // "2.2n  "
#pragma once

#include "../core/JString.h"

#include <cstdint>

/// Reads one engineering number at the start of `text`: a decimal number (leading white
/// space, sign, point and an e/E/d/D exponent allowed; no hexadecimal, inf or nan) directly
/// followed by an optional suffix ("meg", "mil", a letter a f p n u m k g t in any case, or
/// any other letter as multiplier 1) and optional digits read as a fraction, as in 4k7.
/// `end` (may be null) receives the position just past what was read, or `text` itself (and
/// the result is 0.0) when nothing could be read. A null `text` gives 0.0.
double sp_ConvertEngToReal(const char* text, char** end);

/// Reads one engineering number at *cursor and moves the cursor past it and past any
/// letters or underscores that follow (a unit name). When no number is read (or `cursor` or
/// *cursor is null), *failed is true, the cursor stays and the result is 0.0. `failed` may
/// be null.
double sp_GetEngToken(char** cursor, bool* failed);

/// Engineering form with a suffix, aimed at `width` characters (padded with spaces, or with
/// zeros after the point when `fillWithZeros`); `allowPercent` writes values in 1e-7..10 as
/// "%" or "ppm". Magnitudes below 1e-300 are written as 0; NaN and infinities as "nan",
/// "inf" or "-inf" padded with spaces.
JString sp_FormatEng(double value, int width, bool allowPercent, bool fillWithZeros);

/// Engineering form with a suffix and `precision` significant digits, without padding;
/// `exponentOnly` writes the power as "E<n>" instead of a letter. 0 gives "0"; NaN and
/// infinities give "nan", "inf" or "-inf".
JString sp_ConvertRealToJSEng(double value, int precision, bool exponentOnly);

/// Plain "%g" form that fits `width` characters, padded with spaces; `asPercent` writes
/// value * 100 followed by "%".
JString sp_FormatReal(double value, int width, bool asPercent);

/// Decimal text of a signed 64-bit integer.
JString sp_itoa64(std::int64_t value);

/// The Verilog time-precision word ("1ns", "100ps"...) for a resolution in seconds; "" when
/// the resolution is outside 1fs..100s.
JString sp_GetVlPrecStringFromResolution(double seconds);
