#include "HeapBlock_p.h"

#include <malloc.h>

namespace nvsupport::detail {

std::size_t heapBlockCapacity(void* block) noexcept {
    return malloc_usable_size(block);
}

} // namespace nvsupport::detail
