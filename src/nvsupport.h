// The NvSupport library: include this one header to reach every public name.
//
//   #include <nvsupport/nvsupport.h>
//   double r = sp_ConvertEngToReal("4k7", nullptr);   // 4700.000000000001
#pragma once

#include "Config/ProfileFile.h"
#include "Os/Posix/ArgSwitch.h"
#include "Os/Posix/AutoFunc.h"
#include "Os/Posix/DynamicFunction.h"
#include "Os/Posix/Environment.h"
#include "Os/Posix/FileFacts.h"
#include "Os/Posix/Registry.h"
#include "Os/Posix/Valloc.h"
#include "core/Alloc.h"
#include "core/Buf.h"
#include "core/CharQueue.h"
#include "core/JString.h"
#include "core/NameArray.h"
#include "core/WordArray.h"
#include "core/YArray.h"
#include "core/YList.h"
#include "diag/ErrorReport.h"
#include "diag/MessageHandler.h"
#include "diag/NorvaneException.h"
#include "numeric/Complex.h"
#include "numeric/Random.h"
#include "paths/Directory.h"
#include "paths/Path.h"
#include "text/EngNotation.h"
#include "text/Pattern.h"
#include "text/Tokens.h"
