// The 64-bit side of the named shared blocks, used by the shared block heap (whose blocks
// may exceed 4 GB), and what tests look at in the per-process tables.
#pragma once

#include "../core/JString.h"

#include <cstdint>

namespace nvsupport::detail {

/// sp_AllocateSharedBlock for any size.
JString allocateSharedBlock(std::uint64_t size);

/// sp_GetSharedBlock with 64-bit offset and length in granularity units.
void* mapSharedBlock(const char* name, std::int64_t offset, std::int64_t length, bool readOnly);

/// Views counted for block `name` in this process's list, or -1 when it is not listed.
long sharedBlockViewCount(const char* name);

/// Whether block `name` is listed as created by this process.
bool sharedBlockCreatedHere(const char* name);

} // namespace nvsupport::detail
