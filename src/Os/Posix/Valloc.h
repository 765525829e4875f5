// A growable block that lives alone in a reserved range of address space, so it never
// moves when it grows: for large arrays that grow at their end.
//
//   double* a = static_cast<double*>(vMalloc(0, 256));       // up to 256 MB, none used yet
//   a = static_cast<double*>(vRealloc(a, 1000 * sizeof(double))); // same address
//   vFree(a);
//
// Layout: the reservation starts with a 16-byte header (a tag shared by every block of
// this allocator, then a pointer to the block's region record), followed by the caller's
// bytes, so the block is 16-byte aligned at the reservation start + 16. The region record
// (reservation base and size, page size, committed pages, bytes in use) is a small heap
// object owned by the block. Live blocks are also kept in a process-wide, locked registry;
// vRealloc and vFree consult it before they read any header, so foreign pointers are
// recognised without touching memory that may not be theirs.
#pragma once

/// Reserves maxMegabytes x 1 048 576 bytes of address space, commits the pages that
/// `size` + 16 header bytes need and returns the address just past the header.
/// Returns null when the reservation or its first commit fails, when maxMegabytes is 0,
/// and when `size` + 16 does not fit in the reservation. Nothing is left reserved then.
void* vMalloc(unsigned size, unsigned maxMegabytes);

/// Makes the block `p` from vMalloc hold `size` bytes, committing pages as needed; the
/// block never moves and its contents stay in place. Shrinking only lowers the recorded
/// use (pages stay committed until vFree). Returns `p`. Returns null, leaving the block
/// as it was, when `p` is null, is not a live block of this allocator (including one
/// whose header has been overwritten), when `size` + 16 passes the end of the
/// reservation, or when the system refuses to commit more pages.
void* vRealloc(void* p, unsigned size);

/// Releases the whole reservation of the block `p` and its region record. Null and
/// pointers that are not live blocks of this allocator are ignored.
void vFree(void* p);
