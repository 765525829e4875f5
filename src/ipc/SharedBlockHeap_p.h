// What tests and the cross-process test helper need inside a shared block heap: holding its
// lock directly, to stand in for a process that stops (or is killed) while holding it.
#pragma once

class SharedBlockManager;

namespace nvsupport::detail {

struct SharedHeapAccess {
    /// Takes the heap's lock as a block operation does; false without a heap.
    static bool lock(SharedBlockManager* manager);
    /// Releases a lock taken with lock().
    static void unlock(SharedBlockManager* manager);
    /// The id recorded as the lock's holder in the heap header (0 when free); -1 without a heap.
    static int holder(const SharedBlockManager* manager);
};

} // namespace nvsupport::detail
