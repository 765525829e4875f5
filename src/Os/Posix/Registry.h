// The registry: a per-user store of keys and string values under three roots (current
// user, local machine, classes root), kept in an SQLite database. The database is
// $NORVANE_REGISTRY if set, else $XDG_CONFIG_HOME/norvane/registry.sqlite
// (~/.config/norvane/registry.sqlite). Several processes may use it at once.
//
//   sp_WriteCurrentUserValue("Software/Norvane/Sim", "Threads", "4");
//   JString v;
//   if (sp_ReadCurrentUserValue("Software/Norvane/Sim", "Threads", &v)) ...
//
// Key and value names compare without regard to ASCII letter case; both '/' and '\'
// separate key levels (empty levels are ignored, "" is the root itself). Every function
// reports failure by its result only: a store that cannot be opened or is damaged makes
// them return false.
#pragma once

#include "../../core/JString.h"
#include "../../core/YList.h"

/// Reads a value into *value (at most 499 characters: the text and its terminating zero
/// must fit 500 bytes); false, leaving *value unchanged, when the key or value is missing,
/// the text is longer, `value` is null, or the store cannot be used.
bool sp_ReadCurrentUserValue(const JString& key, const JString& name, JString* value);
bool sp_ReadLocalMachineValue(const JString& key, const JString& name, JString* value);
bool sp_ReadClassesRootValue(const JString& key, const JString& name, JString* value);

/// Stores a string value, creating the key and its missing parents; true on success.
bool sp_WriteCurrentUserValue(const JString& key, const JString& name, const JString& value);
bool sp_WriteLocalMachineValue(const JString& key, const JString& name, const JString& value);
bool sp_WriteClassesRootValue(const JString& key, const JString& name, const JString& value);

/// Deletes a value; true when it existed and was removed.
bool sp_DeleteCurrentUserValue(const JString& key, const JString& name);
bool sp_DeleteLocalMachineValue(const JString& key, const JString& name);

/// Appends the value names (in creation order; overwriting keeps a value's place) or
/// sub-key names (case-blind name order) of a key to *names, up to the first name longer
/// than 1023 characters, which ends the enumeration. True when at least one name was
/// appended; false for a missing key or a null `names`.
bool sp_GetCurrentUserValueNames(const JString& key, YList<JString>* names);
bool sp_GetCurrentUserSubKeyNames(const JString& key, YList<JString>* names);
bool sp_GetClassesRootSubKeyNames(const JString& key, YList<JString>* names);
