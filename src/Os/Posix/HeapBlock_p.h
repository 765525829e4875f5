// What the C heap knows about one of its blocks.
#pragma once

#include <cstddef>

namespace nvsupport::detail {

/// Bytes usable in a block from malloc/realloc (at least what was asked for).
std::size_t heapBlockCapacity(void* block) noexcept;

} // namespace nvsupport::detail
