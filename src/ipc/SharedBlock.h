// Named shared blocks: memory that one process creates under a generated name and other
// processes open by that name and map, whole or in part. The shared block heap
// (SharedBlockHeap.h) is built on them.
//
//   JString name = sp_AllocateSharedBlock(1 << 20);   // "NorvaneSharedBlock1_<pid>"
//   char* p = static_cast<char*>(sp_GetSharedBlock(*name, false));
//   ...                                               // other processes map *name too
//   sp_ReleaseSharedBlock(p);
//   sp_FreeSharedBlock(name);
//
// Each process keeps a list of the blocks it has open and a table of the views it has
// mapped; neither is locked, so one thread at a time uses these functions.
#pragma once

#include "../core/JString.h"

/// The unit of offsets and lengths of partial views, in bytes: 65536.
int sp_GetSharedBlockGranularity();

/// Creates a shared block of `size` bytes, reading as zeros, and returns its name,
/// "NorvaneSharedBlock<n>_<pid>" with a process-wide counter n raised before each name is
/// made (the first is 1) and this process's id. The block is recorded as created here, with
/// no views. Only this user can open it. Returns "" when `size` is 0 or the system cannot
/// provide the memory. A name left on the system by an ended process that had the same id
/// is skipped (the counter moves on).
JString sp_AllocateSharedBlock(unsigned int size);

/// Maps the whole block `name`, read-only or read-write; the view's address, or nullptr when
/// `name` is null or no such block can be opened with that access.
void* sp_GetSharedBlock(const char* name, bool readOnly);

/// Maps the part of block `name` that starts `offset` granularity units in and is `length`
/// units long. With both 0 or less the whole block is mapped; with only `offset` positive,
/// the rest of the block from there; with only `length` positive, from the start. nullptr
/// when the block cannot be opened with that access, or the range does not lie inside it.
/// A block not yet listed here is opened and listed as opened from elsewhere; one that
/// cannot be opened is not listed, so a later call tries again. Mapping an address already
/// recorded as a view does not count a second view.
void* sp_GetSharedBlock(const char* name, int offset, int length, bool readOnly);

/// Unmaps a view made by sp_GetSharedBlock. Any other address (null, an address inside a
/// view, a view already released) is ignored. When the last view of a block opened from
/// elsewhere goes, the block is closed and dropped from this process's list.
void sp_ReleaseSharedBlock(void* view);

/// For a block created by this process: removes its name from the system, so no other
/// process can open it any more, and closes it here once its last view in this process is
/// released (views already mapped anywhere stay valid). Blocks opened from elsewhere, and
/// names this process did not create, are not affected. Names still held at normal process
/// exit are removed then.
void sp_FreeSharedBlock(const JString& name);

/// Not in the original interface: removes from the system every block
/// "NorvaneSharedBlock<n>_<pid>" whose creating process `pid` no longer exists (blocks
/// left behind by processes that were killed or crashed). Views of such blocks mapped by
/// live processes stay valid; only the names go. Blocks of live processes, names of
/// another form and blocks that may not be removed (another user's) are left alone.
/// Returns how many were removed.
int sp_CleanStaleSharedBlocks();
