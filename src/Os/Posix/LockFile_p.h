// Lock files behind FileLock: a companion file held open with an open-file-description lock
// (F_OFD_SETLK), so the lock is exclusive between processes and between two descriptors of
// one process, and disappears with the holder (a crash leaves at most an unlocked file).
#pragma once

namespace nvsupport::detail {

/// Opens or creates `path` (mode 0666 less the umask) without truncating it, takes an
/// exclusive lock on it without waiting, then replaces its content by `content`. Returns the
/// open descriptor holding the lock, or -1 with the system's error code in `*error`
/// (EWOULDBLOCK when another holder has the lock). A lock taken on a file that another
/// holder deleted meanwhile is dropped and the attempt repeated, so that only the file the
/// path names now can be held.
int acquireLockFile(const char* path, const char* content, int* error) noexcept;

/// Deletes `path` when it still names the file open as `fd`, then closes `fd` (which drops
/// the lock). Deleting before closing means a waiter can never hold a deleted file's lock
/// unnoticed: it checks after locking that the path still names its file.
void releaseLockFile(int fd, const char* path) noexcept;

/// The category of a lock error code: 0 none (0), 1 the lock is held by someone else
/// (EWOULDBLOCK/EAGAIN), 2 access denied (EACCES, EPERM, EROFS), 3 anything else.
int lockErrorCategory(int error) noexcept;

} // namespace nvsupport::detail
