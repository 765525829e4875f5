// Zero-filling wrappers of the process heap (tmalloc, trealloc, txfree).
//
//   int* v = static_cast<int*>(tmalloc(100 * sizeof(int)));  // 100 zeros
//   v = static_cast<int*>(trealloc(v, 200 * sizeof(int)));   // grown, tail not cleared
//   txfree(v);
#pragma once
