// The process environment.
//
//   bool found;
//   JString tmp = sp_GetEnv("TMPDIR", &found);
//   sp_SetEnv("NORVANE_MODE", "batch");
#pragma once

#include "../../core/JString.h"

/// The variable's value (at most 32767 characters) or ""; *found (may be null) says
/// whether it exists.
JString sp_GetEnv(const JString& name, bool* found);
/// Sets the variable for this process; true on success.
bool sp_SetEnv(const JString& name, const JString& value);
/// Removes the variable from this process's environment.
void sp_DeleteEnv(const JString& name);
