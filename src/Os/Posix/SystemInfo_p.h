// Internal system queries that have no public name: the identification of this machine.
#pragma once

#include "../../core/JString.h"

namespace nvsupport::detail {

/// A stable name of the local machine: the host name (gethostname), else the kernel's node
/// name, else "localhost". Never empty.
JString machineName();

} // namespace nvsupport::detail
