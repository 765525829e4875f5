// Command-line switches: takes one switch and its arguments out of argv, so that what is
// left can be scanned for other switches or taken as file names.
//
//   ArgSwitch out(argc, argv, "out", 1, true, false);   // prog /out result.txt a.cir
//   if (out) openOutput(out[0]);                        // argv[1], argv[2] are now null
#pragma once

#include "../../core/JString.h"
#include "../../core/YArray.h"

/// One switch found in a command line, with the arguments taken after it.
class ArgSwitch {
public:
    /// Looks in argv[1..argc-1] for the first entry that is the switch character followed
    /// by `name` (case-blind), then takes up to `maxArgs` following entries, stopping at a
    /// null entry or, with `stopAtSwitch`, at an entry that begins with the switch
    /// character. Every entry taken (the switch too) is set to null in argv. The last
    /// argument is accepted and ignored.
    ArgSwitch(int argc, char** argv, const char* name, int maxArgs, bool stopAtSwitch, bool);
    ~ArgSwitch();
    ArgSwitch(const ArgSwitch&) = delete;
    ArgSwitch& operator=(const ArgSwitch&) = delete;

    /// Whether the switch was present.
    operator bool() const { return found; }
    /// Number of arguments taken.
    int size() const { return count; }
    /// Argument `index`, or "" outside 0..size()-1.
    JString operator[](int index) const;

    /// Sets the switch character ('/' to begin with) for all later scans (process-wide).
    static void setSwitchChar(char c);
    /// Accepted for compatibility; does nothing.
    static void setCurrentCommand(const JString&) {}

private:
    bool found;
    int count;
    YArray<JString>* args; // created on first use
};
