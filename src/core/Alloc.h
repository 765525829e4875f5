// Zero-filling wrappers of the process heap (tmalloc, trealloc, txfree).
//
//   int* v = static_cast<int*>(tmalloc(100 * sizeof(int)));  // 100 zeros
//   v = static_cast<int*>(trealloc(v, 200 * sizeof(int)));   // grown, tail not cleared
//   txfree(v);
#pragma once

/// Allocates `size` bytes with malloc and fills them with zero bytes. Returns null for
/// size 0 and when the heap is exhausted. Free the result with txfree (or free).
void* tmalloc(unsigned size);

/// Resizes a block from tmalloc/malloc with realloc; bytes added by growth are not cleared.
/// Size 0 frees `p` (when not null) and returns null; a null `p` behaves as tmalloc(size).
/// Returns null when the heap is exhausted; `p` is then left as it was and still owned by
/// the caller.
void* trealloc(void* p, unsigned size);

/// Frees a block from tmalloc/trealloc/malloc. Null is ignored.
void txfree(void* p);
