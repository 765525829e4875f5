// Published functions: a late-bound call table between the product's executables and
// libraries. One side publishes a function pointer under a name, the other looks it up.
//
//   static MessageHandler* myHandler() { ... }
//   static MakeDynamicFunction publish(reinterpret_cast<void*>(myHandler),
//                                      "getDefaultMessageHandler");
//   void* f = support_GetDynamicFunction("getDefaultMessageHandler");
//
// The table is process-wide and unlocked: publish while modules load, look up from the
// host's main thread.
#pragma once

#include "../../core/JString.h"

/// A publication of `function` under a name (at most 31 characters; longer names are cut,
/// names compare byte for byte). The same name may be published several times; the newest
/// publication wins.
class MakeDynamicFunction {
public:
    MakeDynamicFunction(void* function, const char* name);
    /// Withdraws every publication of this object's name, whoever made it.
    ~MakeDynamicFunction();
    /// Copies the name and function only; the table is not touched.
    MakeDynamicFunction& operator=(const MakeDynamicFunction& other);
    MakeDynamicFunction(const MakeDynamicFunction&) = delete;

    char name[32];
    void* function;
};

/// The function most recently published under `name` (cut to 31 characters), or null.
void* support_GetDynamicFunction(const JString& name);
