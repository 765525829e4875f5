// FileLock: marks a file as in use by holding a companion lock file "<path>.lck" open with a
// kernel lock on it. A second FileLock on the same path, in this or another process, fails
// while the first holds it; a lock file left behind by a dead process does not block anyone.
//
//   FileLock lock;
//   if (!lock.lock("out/result.csv"))                  // creates "out/result.csv.lck"
//       return lock.getError() == FLE_IN_USE ? busy() : denied();
//   ...                                                // write the file
//   lock.unlock();                                     // the .lck file is removed
#pragma once

#include "../core/JString.h"

/// Why the last lock attempt failed (FileLock::getError).
enum FileLockError : int {
    FLE_NONE = 0,          ///< no error: the last attempt succeeded (or none was made)
    FLE_IN_USE = 1,        ///< the lock file is held by another FileLock (any process)
    FLE_ACCESS_DENIED = 2, ///< no permission to create the lock file (or read-only media)
    FLE_OTHER = 3,         ///< any other failure (missing directory, name too long...)
};

/// Holds a lock on a path through the companion file "<path>.lck". The lock is held while
/// the lock file stays open; the destructor releases it. A FileLock cannot be copied (two
/// objects would then release one lock twice); it can be moved, which transfers the lock and
/// leaves the source unlocked with an empty path.
class FileLock {
public:
    /// Not locked, empty path, error 0.
    FileLock() noexcept = default;
    /// Releases a held lock (closes and deletes the lock file).
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    /// Takes over `other`'s lock, path and error; `other` is left unlocked with an empty path.
    FileLock(FileLock&& other) noexcept;
    /// Releases this object's own lock first, then takes over `other`'s.
    FileLock& operator=(FileLock&& other) noexcept;

    /// Locks `path` ('/' or '\' separators): the lock file is `path` + ".lck", then
    /// relock() ("" locks ".lck" in the current directory). A lock this object held on
    /// another path is released first. True when locked; on failure getError() says why.
    bool lock(const JString& path);
    /// Releases a held lock, then creates the lock file anew and locks it. On success the file
    /// holds one line "user@machine\r\n" and the error is cleared; on failure the system's
    /// error code is kept and false is returned. With no path set (lock() never called) the
    /// attempt fails as FLE_OTHER.
    bool relock();
    /// Releases a held lock: closes the lock file and deletes it. Nothing when not held.
    void unlock();
    /// Whether this object holds its lock now.
    bool locked() const noexcept { return m_handle >= 0; }
    /// The kind of the last failure: FLE_NONE after a success, FLE_IN_USE when another holder
    /// has the lock, FLE_ACCESS_DENIED when permission is lacking, FLE_OTHER otherwise.
    FileLockError getError() const noexcept;

private:
    int m_handle = -1; ///< descriptor of the open, kernel-locked lock file; -1 when not locked
    JString m_path;    ///< the lock file's path ("<path>.lck")
    int m_error = 0;   ///< system error code (errno) of the last failed attempt, 0 after success
};
