#include "DirectoryListing_p.h"

#include "../../core/CaseFold_p.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QString>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace nvsupport::detail {

namespace {

// Closes the directory stream however the listing ends.
class DirStream {
public:
    explicit DirStream(const char* path) noexcept : m_dir(::opendir(*path ? path : ".")) {}
    ~DirStream() {
        if (m_dir)
            ::closedir(m_dir);
    }
    DirStream(const DirStream&) = delete;
    DirStream& operator=(const DirStream&) = delete;

    bool isOpen() const noexcept { return m_dir != nullptr; }
    int fd() const noexcept { return ::dirfd(m_dir); }
    // The next entry other than "." and "..", or nullptr at the end or on a read error.
    const dirent* next() noexcept {
        for (;;) {
            const dirent* e = ::readdir(m_dir);
            if (!e)
                return nullptr;
            const char* n = e->d_name;
            if (!(n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))))
                return e;
        }
    }

private:
    DIR* m_dir;
};

bool isHidden(const char* name) noexcept {
    return name[0] == '.';
}

// A regular file once links are followed; the entry type saves a stat call when the
// system reports it.
bool isRegularEntry(const DirStream& dir, const dirent* e) noexcept {
    if (e->d_type == DT_REG)
        return true;
    if (e->d_type != DT_LNK && e->d_type != DT_UNKNOWN)
        return false;
    struct stat st;
    return ::fstatat(dir.fd(), e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
}

// A directory itself, not a link to one.
bool isDirectoryEntry(const DirStream& dir, const dirent* e) noexcept {
    if (e->d_type == DT_DIR)
        return true;
    if (e->d_type != DT_UNKNOWN)
        return false;
    struct stat st;
    return ::fstatat(dir.fd(), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
}

// Name bytes as text for the toolkit's matcher, without loss: valid UTF-8 sequences become
// their characters, every other byte a character of its own in the private-use area
// (U+E080..U+E0FF), so two different stray bytes never look alike.
QString decodeExact(const char* s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    QString out;
    while (*p) {
        const unsigned c = *p;
        int more = c >= 0xC2 && c <= 0xDF   ? 1
                   : c >= 0xE0 && c <= 0xEF ? 2
                   : c >= 0xF0 && c <= 0xF4 ? 3
                                            : 0;
        char32_t cp = more == 1 ? c & 0x1F : more == 2 ? c & 0x0F : c & 0x07;
        bool valid = c >= 0x80 && more > 0;
        for (int i = 1; valid && i <= more; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                valid = false;
            else
                cp = (cp << 6) | (p[i] & 0x3F);
        }
        // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
        if (valid && ((more == 2 && cp < 0x800) || (more == 3 && cp < 0x10000) ||
                      (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF))
            valid = false;
        if (c < 0x80) {
            out += QChar(static_cast<char16_t>(c));
            ++p;
        } else if (!valid) {
            out += QChar(static_cast<char16_t>(0xE000 + c));
            ++p;
        } else {
            if (cp >= 0x10000) {
                out += QChar(QChar::highSurrogate(cp));
                out += QChar(QChar::lowSurrogate(cp));
            } else {
                out += QChar(static_cast<char16_t>(cp));
            }
            p += more + 1;
        }
    }
    return out;
}

// The patterns of a QDir name filter: split at ';', or at blanks when there is no ';',
// each trimmed; empty ones are dropped. A pattern that does not compile (an unclosed '[')
// stays in the list and matches nothing.
std::vector<QRegularExpression> compileFilters(const char* filters, bool caseSensitive) {
    const QString text = decodeExact(filters);
    QChar sep(u';');
    if (!text.contains(sep) && text.contains(u' '))
        sep = QChar(u' ');
    QRegularExpression::PatternOptions options = QRegularExpression::NoPatternOption;
    if (!caseSensitive)
        options |= QRegularExpression::CaseInsensitiveOption;
    std::vector<QRegularExpression> result;
    for (const QString& part : text.split(sep)) {
        const QString pattern = part.trimmed();
        if (!pattern.isEmpty())
            result.emplace_back(QRegularExpression::wildcardToRegularExpression(pattern), options);
    }
    return result;
}

bool matchesAny(const std::vector<QRegularExpression>& patterns, const char* name) {
    const QString text = decodeExact(name);
    return std::any_of(patterns.begin(), patterns.end(), [&](const QRegularExpression& re) {
        return re.isValid() && re.match(text).hasMatch();
    });
}

void sortNames(std::vector<JString>* names) {
    std::sort(names->begin(), names->end(), nameLess);
}

} // namespace

bool nameLess(const JString& a, const JString& b) noexcept {
    int r = caseBlindCompare(*a, *b);
    return r != 0 ? r < 0 : std::strcmp(*a, *b) < 0;
}

std::vector<JString> listFiles(const char* dir, const char* nameFilters, bool caseSensitive) {
    std::vector<JString> names;
    DirStream stream(dir ? dir : "");
    if (!stream.isOpen())
        return names;
    // No filter and the empty filter keep every name, as QDir's default "*" does.
    const bool filtered = nameFilters && *nameFilters;
    const std::vector<QRegularExpression> patterns =
        filtered ? compileFilters(nameFilters, caseSensitive) : std::vector<QRegularExpression>();
    while (const dirent* e = stream.next()) {
        if (!isHidden(e->d_name) && isRegularEntry(stream, e) &&
            (!filtered || matchesAny(patterns, e->d_name)))
            names.emplace_back(e->d_name);
    }
    sortNames(&names);
    return names;
}

std::vector<JString> listSubdirectories(const char* dir) {
    std::vector<JString> names;
    DirStream stream(dir ? dir : "");
    if (!stream.isOpen())
        return names;
    while (const dirent* e = stream.next()) {
        if (isDirectoryEntry(stream, e))
            names.emplace_back(e->d_name);
    }
    sortNames(&names);
    return names;
}

bool hasVisibleEntries(const char* dir) noexcept {
    DirStream stream(dir ? dir : "");
    if (!stream.isOpen())
        return false;
    while (const dirent* e = stream.next()) {
        if (!isHidden(e->d_name))
            return true;
    }
    return false;
}

bool setCurrentDirectory(const char* path) noexcept {
    return path && *path && ::chdir(path) == 0;
}

bool probeNewFile(const char* path) noexcept {
    if (!path || !*path)
        return false;
    int fd;
    do {
        fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(path);
    return true;
}

bool removeFile(const char* path) noexcept {
    return path && *path && ::unlink(path) == 0;
}

void processPendingEvents() {
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

} // namespace nvsupport::detail
