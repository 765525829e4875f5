#include "JFile.h"

#include "../paths/Path.h"

#include <utility>

JFile::JFile(const char* path, const char* mode) {
    open(path, mode);
}

JFile::JFile(const char* name, FILE* f) : m_file(f), m_name(name) {}

JFile::JFile(JFile&& other) noexcept
    : m_file(std::exchange(other.m_file, nullptr)), m_name(std::move(other.m_name)) {}

JFile& JFile::operator=(JFile&& other) noexcept {
    if (this != &other) {
        close();
        m_file = std::exchange(other.m_file, nullptr);
        m_name = std::move(other.m_name);
    }
    return *this;
}

JFile::~JFile() {
    close();
}

FILE* JFile::open(const char* path, const char* mode) {
    if (!path || !mode)
        return nullptr;
    // The path may be our own name's text (reopen): take the full path before anything
    // can change the name.
    const JString local = sp_ConvertLocalToUnix(JString(path)); // either separator
    const JString full = sp_GetFullPath(local);
    close();
    m_file = std::fopen(*local, mode);
    if (m_file)
        m_name = full.isEmpty() ? local : full;
    return m_file;
}

FILE* JFile::reopen(const char* mode) {
    if (m_name.isEmpty())
        return nullptr;
    JString name = m_name; // open() may replace m_name while reading its path
    return open(*name, mode);
}

void JFile::close() {
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
}

FILE* JFile::detach() noexcept {
    return std::exchange(m_file, nullptr);
}

bool JFile::attach(const JFile& other) noexcept {
    if (m_file)
        return false;
    if (&other == this)
        return true;
    m_file = std::exchange(other.m_file, nullptr);
    m_name = other.m_name;
    return true;
}
