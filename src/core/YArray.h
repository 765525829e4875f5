// YArray<T>: an array of owned items over the untyped pointer storage YArrayData. Each
// inserted value is copied to the heap; the array holds the pointers.
//
//   YArray<JString> fields;
//   fields.add("R1");                 // index 0
//   fields.insertAt(-5, "first");     // a negative index inserts at 0
//   for (const JString& f : fields) use(f);
#pragma once

#include <cstdint>
#include <iterator>
#include <utility>

/// Untyped storage of pointers: a growth factor, a zero-filled slot array, a count and a
/// capacity. It does not own what the slots point at.
class YArrayData {
public:
    /// Capacity max(n, 1), count 0, growth factor 1.5, slots zero-filled.
    explicit YArrayData(int n = 10);
    ~YArrayData();
    YArrayData(const YArrayData&) = delete;
    YArrayData& operator=(const YArrayData&) = delete;
    YArrayData(YArrayData&& other) noexcept;
    YArrayData& operator=(YArrayData&& other) noexcept;

    /// Inserts `item` at `i` clamped to 0..count (negative inserts at 0, past the end
    /// appends), growing first when full; returns the index used.
    int addDataAt(void* item, int i);
    /// Moves the slots after `i` down by one and decrements the count; an `i` outside
    /// 0..count-1 does nothing.
    void removeDataItemAt(int i);
    /// Replaces the slot array by a zero-filled one of `n` slots when the capacity is below
    /// `n`; the old slots are not kept (meant for an empty array).
    void checkAlloc(int n);

    int count() const noexcept { return m_count; }
    int capacity() const noexcept { return m_capacity; }
    /// The slot `i` (null beyond the count); `i` must be within 0..capacity-1.
    void* slot(int i) const noexcept { return m_slots[i]; }
    void** slots() const noexcept { return m_slots; }

protected:
    /// Zero-fills the slots in use and sets the count to 0 (items are not freed).
    void resetCount() noexcept;

private:
    double m_factor;
    void** m_slots;
    std::int32_t m_count;
    std::int32_t m_capacity;
};

/// An array of heap copies of T. Copying an array copies every item (deep copy); moving
/// takes the storage over. Indexes are not checked: they must be within 0..size()-1.
template <class T> class YArray : private YArrayData {
public:
    template <class V> class Iter {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = V*;
        using reference = V&;
        Iter() = default;
        explicit Iter(void* const* p) : m_p(p) {}
        V& operator*() const { return *static_cast<V*>(*m_p); }
        V* operator->() const { return static_cast<V*>(*m_p); }
        Iter& operator++() {
            ++m_p;
            return *this;
        }
        Iter operator++(int) { return Iter(m_p++); }
        bool operator==(const Iter& o) const { return m_p == o.m_p; }

    private:
        void* const* m_p = nullptr;
    };
    using iterator = Iter<T>;
    using const_iterator = Iter<const T>;

    /// An empty array with room for `capacity` items (at least 1).
    explicit YArray(int capacity = 10) : YArrayData(capacity) {}
    YArray(const YArray& other) : YArrayData(other.size() > 0 ? other.size() : 1) {
        for (const T& v : other)
            add(v);
    }
    YArray(YArray&&) noexcept = default;
    YArray& operator=(const YArray& other) {
        if (this != &other) {
            YArray copy(other);
            *this = std::move(copy);
        }
        return *this;
    }
    YArray& operator=(YArray&& other) noexcept {
        if (this != &other) {
            clear();
            YArrayData::operator=(std::move(other));
        }
        return *this;
    }
    ~YArray() { clear(); }

    /// Appends a copy of `v`; returns its index.
    int add(const T& v) { return addDataAt(new T(v), count()); }
    /// Inserts a copy of `v` at `i` clamped to 0..size(); returns the index used.
    int insertAt(int i, const T& v) { return addDataAt(new T(v), i); }
    /// Deletes the item at `i` and closes the gap; an `i` out of range does nothing.
    void removeAt(int i) {
        if (i < 0 || i >= count())
            return;
        delete static_cast<T*>(slot(i));
        removeDataItemAt(i);
    }
    int size() const noexcept { return count(); }
    bool empty() const noexcept { return count() == 0; }
    /// Deletes the items from the last to the first and empties the array.
    void clear() noexcept {
        for (int i = count() - 1; i >= 0; --i)
            delete static_cast<T*>(slot(i));
        resetCount();
    }
    T& operator[](int i) { return *static_cast<T*>(slot(i)); }
    const T& operator[](int i) const { return *static_cast<const T*>(slot(i)); }

    using YArrayData::capacity;
    iterator begin() noexcept { return iterator(slots()); }
    iterator end() noexcept { return iterator(slots() + count()); }
    const_iterator begin() const noexcept { return const_iterator(slots()); }
    const_iterator end() const noexcept { return const_iterator(slots() + count()); }
};
