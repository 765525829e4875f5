#include "MessageHandler.h"

MessageHandler::~MessageHandler() = default;

void MessageHandler::output(MessageType type, const JString& text) {
    static const char* const kFormats[] = {
        "Error : %s\n", "Warning : %s\n", "Unexpected error, please contact support : %s\n",
        "%s\n",         nullptr,          "Fatal Error : %s\n"};
    if (type == Raw) {
        finalOutput(type, text);
        return;
    }
    JString formatted;
    int kind = static_cast<int>(type);
    if (kind >= 0 && kind <= Fatal)
        formatted.sprintf(kFormats[kind], *text);
    finalOutput(type, formatted);
}

#define NV_FORMAT_AND(call)                                                                        \
    va_list args;                                                                                  \
    va_start(args, fmt);                                                                           \
    call(fmt, args);                                                                               \
    va_end(args)

void MessageHandler::error(const char* fmt, ...) {
    NV_FORMAT_AND(verror);
}
void MessageHandler::warning(const char* fmt, ...) {
    NV_FORMAT_AND(vwarning);
}
void MessageHandler::unexpected(const char* fmt, ...) {
    NV_FORMAT_AND(vunexpected);
}
void MessageHandler::info(const char* fmt, ...) {
    NV_FORMAT_AND(vinfo);
}
void MessageHandler::printf(const char* fmt, ...) {
    NV_FORMAT_AND(vprintf);
}

#undef NV_FORMAT_AND

namespace {
JString format(const char* fmt, va_list args) {
    JString text;
    text.sprintf(fmt, args);
    return text;
}
} // namespace

void MessageHandler::verror(const char* fmt, va_list args) {
    output(Error, format(fmt, args));
}
void MessageHandler::vwarning(const char* fmt, va_list args) {
    output(Warning, format(fmt, args));
}
void MessageHandler::vunexpected(const char* fmt, va_list args) {
    output(Unexpected, format(fmt, args));
}
void MessageHandler::vinfo(const char* fmt, va_list args) {
    output(Info, format(fmt, args));
}
void MessageHandler::vprintf(const char* fmt, va_list args) {
    finalOutput(Raw, format(fmt, args));
}

void MessageHandler::printf(FILE* f, const char* fmt, va_list args) {
    if (f == stdout)
        finalOutput(Raw, format(fmt, args));
    else if (f == stderr)
        finalOutput(Error, format(fmt, args));
    else if (f)
        std::vfprintf(f, fmt, args);
}

void NullMessageHandler::output(MessageType type, const JString&) {
    if (type != Info && type != Raw)
        m_haveErrors = true;
}

void FileMessageHandler::finalOutput(MessageType, const JString& text) {
    if (m_file)
        std::fprintf(m_file, "%s", *text);
}
