// Tokens and line scanning: line readers over FILE*, tokenizers that advance a cursor
// through a NUL-terminated text, line splitters that fill arrays, a case-blind name hash,
// a natural-order comparison and a fixed-width field filler.
//
//   const char* p = "R1 in out 4k7";
//   JString name = sp_GetToken(&p, " ", nullptr, nullptr, false);   // "R1", p at " in..."
//   YArray<JString> fields;
//   sp_SplitLine("a,,b", ',', &fields, 0);                          // "a", "", "b"
//
// Null arguments never crash: a null cursor (or *cursor) reads as the end of the text, a
// null delimiter, quote or special set is empty, a null `line` or array makes a splitter do
// nothing, and null result pointers (`type`, `token`, a reader's `line`) are ignored.
// Character results (types, sp_GetNonWS) are signed chars widened to int, so bytes above 127
// come back negative. NUL bytes read from a file are dropped, as a JString cannot hold them.
#pragma once

#include "../core/JString.h"
#include "../core/YArray.h"
#include "../core/YList.h"

#include <cstdio>

/// A token grammar for the ScanSpec forms of sp_GetToken and sp_ScanLine.
struct ScanSpec {
    const char* delimiters;  ///< separate tokens; skipped before a token
    const char* openQuotes;  ///< open a quoted token (may be null)
    const char* closeQuotes; ///< closeQuotes[i] closes openQuotes[i] (may be null)
    const char* specials;    ///< characters that form a token of their own
    bool keepQuotes;         ///< quote characters stay in the token text
    bool nestQuotes;         ///< differing open/close pairs nest (parentheses)
};

/// One token of a line: type 0 for a word or quoted token, else the special character's
/// code; text empty for a special token.
struct ScanToken {
    int type = 0;
    JString text;
};

/// Reads the next line (without its line feed; carriage returns dropped; no length limit).
/// False at end of file, also for an unterminated last line, whose text is then left in
/// `line` (empty when nothing followed the last line feed); false with "" for a null file.
bool sp_ReadNextLine(FILE* file, JString* line);

/// Reads the next line holding something other than blanks and tabs; `lineCounter` (may be
/// null) counts every line feed read. Leading blanks and tabs are kept; an unterminated last
/// line is delivered. False, with `line` empty, at end of file and for a null file.
bool sp_ReadNextNonBlankLine(FILE* file, JString* line, int* lineCounter);

/// Skips delimiters and returns the next word or double-quoted text (the quotes dropped),
/// each at most 1023 characters: a longer one comes in pieces. Empty at the end of the text.
JString sp_StrTok(const char** cursor, const char* delimiters);

/// Skips delimiters and returns the next word (at most 1023 characters) or quoted token
/// (unbounded; quoting is on only when closeQuotes is given; an opening character with no
/// closer at its position in closeQuotes runs to the end of the text). Empty at the end of
/// the text or for an empty quoted token.
JString sp_GetToken(const char** cursor, const char* delimiters, const char* openQuotes,
                    const char* closeQuotes, bool keepQuotes);

/// The token sp_GetToken would return, with the cursor left where it was.
JString sp_PeekToken(const char** cursor, const char* delimiters, const char* openQuotes,
                     const char* closeQuotes, bool keepQuotes);

/// The next token by `spec`: a quoted token (unbounded; nesting when asked and the pair
/// differs), a special character, or a word of at most 1023 characters. *type is -1 at the
/// end, 0 for a word or quoted token, the character code for a special (whose text is "").
JString sp_GetToken(const char** cursor, const ScanSpec& spec, int* type);

/// The characters up to `delimiter` or the end (a delimiter is then consumed); no length
/// limit, blanks kept. False, with `token` untouched, at the end of the text.
bool sp_SplitToken(const char** cursor, char delimiter, JString* token);

/// Skips blanks and tabs and returns the next character, moving past it; 0 at the end.
int sp_GetNonWS(const char** cursor);

/// Splits a writable text in place: returns the field at the cursor and overwrites the
/// next `delimiter` with a NUL, moving past it; null at the end of the text. Successive
/// calls return every field, empty ones included (none after a final delimiter).
char* sp_ScanLine(char** cursor, char delimiter);

/// Appends the words of `line` (sp_GetToken without quotes) to `tokens`; at most
/// `maxTokens` of them (0 appends nothing), all when negative.
void sp_ScanLine(const char* line, const char* delimiters, YArray<JString>* tokens, int maxTokens);

/// Appends the token texts of `line` by `spec` (special tokens as empty strings); at most
/// `maxTokens` of them, all when negative.
void sp_ScanLine(const char* line, const ScanSpec& spec, YArray<JString>* tokens, int maxTokens);

/// Appends the tokens (type and text) of `line` by `spec`; `maxTokens` as above.
void sp_ScanLine(const char* line, const ScanSpec& spec, YArray<ScanToken>* tokens, int maxTokens);

/// Appends the fields between every `delimiter` (no skipping, no quoting), then empty
/// strings until the array holds `minFields` entries. An empty line gives no field, a final
/// delimiter no empty last field; fields have no length limit.
void sp_SplitLine(const char* line, char delimiter, YArray<JString>* fields, int minFields);

/// Case-blind hash of a name for in-memory tables: h = (upper(c) ^ (h & 0xFFFF)) << 1 over
/// the bytes; below 2^17; 0 for "" and null.
unsigned int sp_HashValue(const char* text);

/// Natural-order comparison ("R2" before "R10"; "a01" after "a1" when all else is equal),
/// blind to ASCII letter case, other bytes compared as signed chars: -1, 0 or 1. Null
/// reads as "".
int sp_CompareStrings(const char* a, const char* b);

/// Cuts one field of `width` characters (plus a NUL) off the front of `text` into `field`,
/// breaking after the last `breakChar` (not counting the first character) when the text
/// does not fit; the field is padded with blanks. A text shorter than `width` is taken whole
/// and `text` becomes empty (one of exactly `width` characters is cut like a longer one). `field`
/// must hold max(width, 0) + 1 characters; a width of 0 or less writes "" and takes nothing, a
/// width of 1 writes " " and takes nothing from a non-empty text. A null `text` reads as "".
void sp_FormatName(char* field, int width, char breakChar, JString* text);

/// Stores a malloc'ed copy of each entry's text in consecutive elements of `strings`
/// (which must have room for all); the caller frees them with free(). Nothing happens
/// when either argument is null.
void sp_FillString(char** strings, const YList<JString>* list);
