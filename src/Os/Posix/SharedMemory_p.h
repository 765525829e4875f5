// System calls behind the named shared blocks and the shared heap's lock: POSIX
// shared-memory objects (create, open, size, map, unmap, remove, list), the process id and
// whether another process is alive, a short sleep and the processor's spin-wait hint.
//
//   int fd = createSharedMemory("NorvaneSharedBlock1_1234", 65536);
//   void* p = mapSharedMemory(fd, 0, 65536, false);
//
// Object names are given without the leading '/', which these functions add.
#pragma once

#include <cstdint>
#include <functional>

namespace nvsupport::detail {

/// Creates the shared-memory object `name` (it must not exist yet; mode 0600, so only this
/// user can open it) of `size` bytes that read as zeros, and returns its descriptor. -1 when
/// the name is null, empty, too long or holds '/', when the object exists, when `size` is 0
/// or larger than the capacity of the file system that holds shared memory, or when the
/// system refuses.
int createSharedMemory(const char* name, std::uint64_t size) noexcept;

/// Opens the existing object `name` for reading, or for reading and writing; the
/// descriptor, or -1 (missing object, bad name, no permission).
int openSharedMemory(const char* name, bool readOnly) noexcept;

/// The size in bytes of the object behind `fd`; -1 when it cannot be read.
std::int64_t sharedMemorySize(int fd) noexcept;

/// Maps `length` bytes of the object behind `fd` from `offset` (a multiple of the page size),
/// shared, readable and writable unless `readOnly`; nullptr on failure or for length 0.
void* mapSharedMemory(int fd, std::uint64_t offset, std::uint64_t length, bool readOnly) noexcept;

/// Unmaps a range made by mapSharedMemory.
void unmapSharedMemory(void* address, std::uint64_t length) noexcept;

/// Closes a descriptor from createSharedMemory or openSharedMemory; -1 is ignored.
void closeSharedMemory(int fd) noexcept;

/// Removes the name `name` (mappings and descriptors already made stay valid); false when
/// there is no such object or it may not be removed.
bool removeSharedMemory(const char* name) noexcept;

/// Calls `visit` with the name of every shared-memory object on the system (the entries of
/// /dev/shm); nothing when that directory cannot be read.
void forEachSharedMemoryName(const std::function<void(const char*)>& visit);

/// The id of this process (kept after the first call and refreshed in a forked child, so it
/// costs no system call).
int currentProcessId() noexcept;

/// Whether a process with id `pid` exists in this system (one of another user counts); false
/// for pid <= 0.
bool processAlive(int pid) noexcept;

/// Sleeps `ms` milliseconds (interrupted sleeps resume).
void sleepMilliseconds(int ms) noexcept;

/// The processor's hint that this thread is spinning on a memory word.
inline void cpuPause() noexcept {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    __asm__ __volatile__("yield");
#endif
}

} // namespace nvsupport::detail
