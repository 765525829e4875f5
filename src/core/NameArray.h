// NameArray: an array of names, created only when the first name arrives, compared
// without regard to letter case.
//
//   NameArray pins;
//   pins.add("IN"); pins.add("OUT");
//   if (pins.compare(other)) ...   // same names, same order, case-blind
#pragma once

#include "JString.h"
#include "YArray.h"

/// A lazily created array of names; an absent array counts as empty. Copies copy the names.
class NameArray {
public:
    NameArray() = default;
    NameArray(const NameArray& other);
    NameArray& operator=(const NameArray& other);
    ~NameArray();

    /// Appends `name` (creating the array, room for 10, on first use); returns its index.
    int add(const JString& name);
    /// Number of names; 0 while the array is absent.
    int size() const { return m_names ? m_names->size() : 0; }
    /// Name `i`; "" when `i` is out of range.
    JString operator[](int i) const;
    /// Drops every name (the array itself stays).
    void clear();
    /// True when both hold as many names and the names at each index are equal without
    /// regard to letter case (compared from the last index down).
    bool compare(const NameArray& other) const;

private:
    YArray<JString>* m_names = nullptr;
};
