#include "FileLock.h"

#include "../Os/Posix/LockFile_p.h"
#include "../Os/Posix/SystemInfo.h"
#include "../Os/Posix/SystemInfo_p.h"
#include "Path.h"

#include <cerrno>
#include <utility>

FileLock::~FileLock() {
    unlock();
}

FileLock::FileLock(FileLock&& other) noexcept
    : m_handle(std::exchange(other.m_handle, -1)), m_path(std::move(other.m_path)),
      m_error(std::exchange(other.m_error, 0)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        unlock();
        m_handle = std::exchange(other.m_handle, -1);
        m_path = std::move(other.m_path);
        m_error = std::exchange(other.m_error, 0);
    }
    return *this;
}

bool FileLock::lock(const JString& path) {
    if (locked())
        unlock(); // the lock on the previous path goes before the path changes
    // "" locks ".lck" in the current directory, as any relative path would.
    m_path = JString(sp_ConvertLocalToUnix(path).concat(".lck"));
    return relock();
}

bool FileLock::relock() {
    if (locked())
        unlock();
    if (m_path.isEmpty()) {
        m_error = ENOENT; // no path was ever given
        return false;
    }
    // One line naming the holder, for people who find the file: "user@machine\r\n".
    JString note(
        sp_GetUserName().concat("@").concat(nvsupport::detail::machineName()).concat("\r\n"));
    int error = 0;
    m_handle = nvsupport::detail::acquireLockFile(*m_path, *note, &error);
    m_error = m_handle >= 0 ? 0 : error;
    return m_handle >= 0;
}

void FileLock::unlock() {
    if (!locked())
        return;
    nvsupport::detail::releaseLockFile(m_handle, *m_path);
    m_handle = -1;
}

FileLockError FileLock::getError() const noexcept {
    return static_cast<FileLockError>(nvsupport::detail::lockErrorCategory(m_error));
}
