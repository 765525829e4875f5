// WordArray: a read-only view of a command line's words with typed accessors. The words
// are the caller's strings (not copied); the vector holding them comes from a process-wide
// pool, since hosts make one WordArray per command they parse.
//
//   WordArray w(argc, argv);             // argv[0] is never taken
//   double t = w.real(0, 1e-9);          // "10n" -> 1e-08
//   JString line = w.getFlattenedLine(); // the words joined by single spaces
//
// The pool is unlocked: WordArray objects are made and destroyed by one thread at a time.
#pragma once

#include "JString.h"
#include "YList.h"

namespace nvsupport::detail {
struct WordVector;
}

/// The words argv[1..argc-1] (null entries skipped); the strings must outlive the array.
class WordArray {
public:
    WordArray(int argc, char** argv);
    ~WordArray();
    WordArray(const WordArray&) = delete;
    WordArray& operator=(const WordArray&) = delete;

    /// The number of words (three names for one operation).
    int getCount() const { return m_count; }
    int numElems() const { return m_count; }
    int size() const { return m_count; }

    /// Word `i`; "" when `i` is out of range.
    JString operator[](int i) const;
    /// Word `i` read as an engineering number (4k7, 10u...); `def` when out of range.
    double real(int i, double def) const;
    /// Word `i` read with atoi; `def` when out of range.
    int integer(int i, int def) const;
    /// Word `i`; `def` when out of range.
    const char* string(int i, const char* def) const;
    /// All words joined by single spaces; "" when there are none.
    JString getFlattenedLine();
    /// True if any listed index that is in range names an empty word; out-of-range indexes
    /// are ignored; false for an empty list.
    bool argsAreEmpty(const YList<int>& indices);

private:
    const char* word(int i) const;

    nvsupport::detail::WordVector* m_vector;
    int m_count;
};
