// Inspection of the word-vector pool, for tests.
#pragma once

namespace nvsupport::detail {

/// Number of word vectors waiting in the pool for the next WordArray.
int wordVectorPoolSize();

} // namespace nvsupport::detail
