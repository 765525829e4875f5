// Reporting through the current message handler, and error lists.
//
//   nv_printf("%d nodes\n", n);                       // Raw text to the host's handler
//   internal_error("Error found in module %s, line %d", "netlist", __LINE__);
//   YList<JString> errors;
//   sp_AddError(&errors, "Bad node %s", name);         // newest first, no case-blind duplicates
//
// The current handler is the function the host publishes as "getDefaultMessageHandler"
// (looked up once, on the first report); without one, reports go to a process-wide
// NullMessageHandler and vanish.
#pragma once

#include "../core/JString.h"
#include "../core/YList.h"
#include "MessageHandler.h"

#include <cstdio>

/// The handler reports go to now: the host's, else the process-wide NullMessageHandler.
MessageHandler* sp_GetCurrentMessageHandler();

/// Formats like printf and delivers the text as it is through the current handler.
void nv_printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
/// The same as nv_printf.
void printf_nv(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
/// Formats like fprintf: standard output goes to the current handler as Raw text, standard
/// error as Error text without prefix, other files are written directly.
void nv_fprintf(FILE* f, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
/// Reports an internal inconsistency as Unexpected, e.g.
/// internal_error("Error found in module %s, line %d", module, line).
void internal_error(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
/// Reports a failed consistency test as Unexpected:
/// "Test <test> failed in module <module>, line <line>".
void check_error(const char* test, const char* module, int line);

/// Formats a message (cut to 511 bytes) and inserts it at the head of `list` unless the list
/// already holds an equal text (ignoring letter case). A null list does nothing.
void sp_AddError(YList<JString>* list, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
/// Formats a message, prefixes it with "*** ERROR *** " and inserts it at the head of `list`
/// (no duplicate check). A null list does nothing.
void sp_WriteErrorList(YList<JString>* list, const char* fmt, ...)
    __attribute__((format(printf, 2, 3)));
