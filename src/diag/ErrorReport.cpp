#include "ErrorReport.h"

#include "../Os/Posix/DynamicFunction.h"

#include <cstdarg>

namespace {

using HandlerProvider = MessageHandler* (*)();

// Looked up once, on the first report; a publication made later is not seen.
HandlerProvider provider() {
    static const HandlerProvider found = reinterpret_cast<HandlerProvider>(
        support_GetDynamicFunction(JString("getDefaultMessageHandler")));
    return found;
}

} // namespace

MessageHandler* sp_GetCurrentMessageHandler() {
    if (HandlerProvider p = provider())
        if (MessageHandler* h = p())
            return h;
    static NullMessageHandler fallback;
    return &fallback;
}

void nv_printf(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    sp_GetCurrentMessageHandler()->vprintf(fmt, args);
    va_end(args);
}

void printf_nv(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    sp_GetCurrentMessageHandler()->vprintf(fmt, args);
    va_end(args);
}

void nv_fprintf(FILE* f, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    sp_GetCurrentMessageHandler()->printf(f, fmt, args);
    va_end(args);
}

void internal_error(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    sp_GetCurrentMessageHandler()->vunexpected(fmt, args);
    va_end(args);
}

void check_error(const char* test, const char* module, int line) {
    sp_GetCurrentMessageHandler()->unexpected("Test %s failed in module %s, line %d",
                                              test ? test : "(null)", module ? module : "(null)",
                                              line);
}

void sp_AddError(YList<JString>* list, const char* fmt, ...) {
    if (!list || !fmt)
        return;
    char text[512]; // at most 511 bytes of message
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    if (!list->find(text))
        list->push_front(JString(text));
}

void sp_WriteErrorList(YList<JString>* list, const char* fmt, ...) {
    if (!list || !fmt)
        return;
    JString text;
    va_list args;
    va_start(args, fmt);
    text.sprintf(fmt, args);
    va_end(args);
    list->push_front(JString(JString("*** ERROR *** ").concat(*text)));
}
