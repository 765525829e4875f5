// The NvSupport library: include this one header to reach every public name.
//
//   #include <nvsupport/nvsupport.h>
//   double r = sp_ConvertEngToReal("4k7", nullptr);   // 4700.000000000001
#pragma once

#include "Os/Posix/Valloc.h"
#include "core/Alloc.h"
#include "core/JString.h"
#include "core/YList.h"
#include "numeric/Complex.h"
#include "numeric/Random.h"
#include "paths/Path.h"
#include "text/EngNotation.h"
