// Named hooks: a module declares a static AutoFunc with a hook name and a function, and
// whoever owns the moment runs every function registered under that name.
//
//   static void releaseCaches(void*) { ... }
//   static AutoFunc exitHook("Exit", releaseCaches);
//   ...
//   executeAutoFunction("Exit", nullptr);   // runs every "Exit" hook, then the registry goes
//
// The registry is process-wide and unlocked: hooks are registered while modules load and
// run from the host's main thread.
#pragma once

/// A registration of `function` under a hook name (at most 31 characters; longer names
/// are cut, names compare byte for byte). Registering the same function twice under one
/// name keeps one registration.
class AutoFunc {
public:
    /// Registers `function` under `name`, creating the registry when there is none.
    AutoFunc(const char* name, void (*function)(void*));
    /// Withdraws every registration of this object's function under its name.
    ~AutoFunc();
    /// Copies the name and function only; the registry is not touched.
    AutoFunc& operator=(const AutoFunc& other);
    AutoFunc(const AutoFunc&) = delete;

    char name[32];
    void (*function)(void*);
};

/// Runs the functions registered under `name`, newest first, each with `argument`. A
/// function may withdraw its own (or another) registration while it runs. After the last
/// "Exit" hook (the library's own, registered first) the registry is dismantled; a later
/// registration creates a new one, which holds only what is registered after the teardown
/// (so a later "Exit" runs its hooks and leaves it in place). A name nobody registered does
/// nothing.
void executeAutoFunction(const char* name, void* argument);
