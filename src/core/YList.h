// YList<T>: the singly linked list the library's interfaces use to hand back several
// values, most often names (YList<JString>).
//
//   YList<JString> names;
//   JString::tokenize(&line, ',', &names);
//   for (const JString& n : names) use(n);
//   if (const JString* hit = names.find("vdd")) ...   // case-blind
#pragma once

#include "JString.h"

#include <cstddef>
#include <iterator>
#include <type_traits>
#include <utility>

/// A singly linked list owning copies of its values. Copying copies every value; moving
/// takes the nodes over. Appending walks to the tail, as the library's callers expect.
template <class T> class YList {
    struct Node {
        T value;
        Node* next;
    };

public:
    template <class V, class N> class Iter {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = V*;
        using reference = V&;

        Iter() = default;
        explicit Iter(N* n) : m_node(n) {}
        V& operator*() const { return m_node->value; }
        V* operator->() const { return &m_node->value; }
        Iter& operator++() {
            m_node = m_node->next;
            return *this;
        }
        Iter operator++(int) {
            Iter old = *this;
            m_node = m_node->next;
            return old;
        }
        bool operator==(const Iter& o) const { return m_node == o.m_node; }

    private:
        N* m_node = nullptr;
    };
    using iterator = Iter<T, Node>;
    using const_iterator = Iter<const T, const Node>;

    YList() noexcept = default;
    YList(const YList& other) { appendAll(other); }
    YList(YList&& other) noexcept
        : m_head(std::exchange(other.m_head, nullptr)), m_count(std::exchange(other.m_count, 0)) {}
    YList& operator=(const YList& other) {
        if (this != &other) {
            YList copy(other);
            swap(copy);
        }
        return *this;
    }
    YList& operator=(YList&& other) noexcept {
        YList moved(std::move(other));
        swap(moved);
        return *this;
    }
    ~YList() { clear(); }

    /// Inserts a copy of `v` before the first node.
    void push_front(const T& v) {
        m_head = new Node{v, m_head};
        ++m_count;
    }
    /// Links a copy of `v` after the last node.
    void push_back(const T& v) {
        Node** link = &m_head;
        while (*link)
            link = &(*link)->next;
        *link = new Node{v, nullptr};
        ++m_count;
    }
    /// Number of values.
    int size() const noexcept { return m_count; }
    bool empty() const noexcept { return m_count == 0; }
    /// Deletes every node from the head on.
    void clear() noexcept {
        while (m_head) {
            Node* next = m_head->next;
            delete m_head;
            m_head = next;
        }
        m_count = 0;
    }
    /// The first value; the list must not be empty.
    T& front() { return m_head->value; }
    const T& front() const { return m_head->value; }

    /// The first value equal to `text` without regard to letter case, or nullptr.
    const T* find(const char* text) const requires std::is_same_v<T, JString> {
        for (const Node* n = m_head; n; n = n->next)
            if (n->value == text)
                return &n->value;
        return nullptr;
    }
    T* find(const char* text) requires std::is_same_v<T, JString> {
        return const_cast<T*>(std::as_const(*this).find(text));
    }
    const T* find(const JString& text) const requires std::is_same_v<T, JString> {
        return find(*text);
    }
    T* find(const JString& text) requires std::is_same_v<T, JString> { return find(*text); }

    iterator begin() noexcept { return iterator(m_head); }
    iterator end() noexcept { return iterator(); }
    const_iterator begin() const noexcept { return const_iterator(m_head); }
    const_iterator end() const noexcept { return const_iterator(); }

    void swap(YList& other) noexcept {
        std::swap(m_head, other.m_head);
        std::swap(m_count, other.m_count);
    }

private:
    void appendAll(const YList& other) {
        Node** link = &m_head;
        for (const Node* n = other.m_head; n; n = n->next) {
            *link = new Node{n->value, nullptr};
            link = &(*link)->next;
            ++m_count;
        }
    }

    Node* m_head = nullptr;
    std::int32_t m_count = 0;
};
