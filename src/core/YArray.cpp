#include "YArray.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

void** zeroedSlots(std::int32_t n) {
    void** p = static_cast<void**>(std::calloc(std::size_t(n), sizeof(void*)));
    if (!p)
        throw std::bad_alloc();
    return p;
}

} // namespace

YArrayData::YArrayData(int n)
    : m_factor(1.5), m_slots(nullptr), m_count(0), m_capacity(n > 1 ? n : 1) {
    m_slots = zeroedSlots(m_capacity);
}

YArrayData::~YArrayData() {
    std::free(m_slots);
}

YArrayData::YArrayData(YArrayData&& other) noexcept
    : m_factor(other.m_factor), m_slots(other.m_slots), m_count(other.m_count),
      m_capacity(other.m_capacity) {
    other.m_slots = nullptr;
    other.m_count = 0;
    other.m_capacity = 0;
}

YArrayData& YArrayData::operator=(YArrayData&& other) noexcept {
    if (this != &other) {
        std::free(m_slots);
        m_factor = other.m_factor;
        m_slots = other.m_slots;
        m_count = other.m_count;
        m_capacity = other.m_capacity;
        other.m_slots = nullptr;
        other.m_count = 0;
        other.m_capacity = 0;
    }
    return *this;
}

int YArrayData::addDataAt(void* item, int i) {
    if (m_count >= m_capacity) {
        // Capacity times the factor, truncated, and at least one more than the count:
        // from 1 the capacities run 2, 3, 4, 6, 9, 13...
        std::int32_t grown = static_cast<std::int32_t>(m_capacity * m_factor);
        if (grown < m_count + 1)
            grown = m_count + 1;
        void** slots = zeroedSlots(grown);
        if (m_count)
            std::memcpy(slots, m_slots, std::size_t(m_count) * sizeof(void*));
        std::free(m_slots);
        m_slots = slots;
        m_capacity = grown;
    }
    if (i < 0)
        i = 0;
    if (i > m_count)
        i = m_count;
    std::memmove(m_slots + i + 1, m_slots + i, std::size_t(m_count - i) * sizeof(void*));
    m_slots[i] = item;
    ++m_count;
    return i;
}

void YArrayData::removeDataItemAt(int i) {
    if (i < 0 || i >= m_count)
        return;
    std::memmove(m_slots + i, m_slots + i + 1, std::size_t(m_count - i - 1) * sizeof(void*));
    m_slots[--m_count] = nullptr;
}

void YArrayData::checkAlloc(int n) {
    if (m_capacity >= n)
        return;
    void** slots = zeroedSlots(n);
    std::free(m_slots);
    m_slots = slots;
    m_capacity = n;
}

void YArrayData::resetCount() noexcept {
    if (m_slots && m_count)
        std::memset(m_slots, 0, std::size_t(m_count) * sizeof(void*));
    m_count = 0;
}
