#include "NameArray.h"

NameArray::NameArray(const NameArray& other)
    : m_names(other.m_names ? new YArray<JString>(*other.m_names) : nullptr) {}

NameArray& NameArray::operator=(const NameArray& other) {
    if (this != &other) {
        YArray<JString>* copy = other.m_names ? new YArray<JString>(*other.m_names) : nullptr;
        delete m_names;
        m_names = copy;
    }
    return *this;
}

NameArray::~NameArray() {
    delete m_names;
}

int NameArray::add(const JString& name) {
    if (!m_names)
        m_names = new YArray<JString>(10);
    return m_names->add(name);
}

JString NameArray::operator[](int i) const {
    if (i < 0 || i >= size())
        return JString();
    return (*m_names)[i];
}

void NameArray::clear() {
    if (m_names)
        m_names->clear();
}

bool NameArray::compare(const NameArray& other) const {
    int n = size();
    if (n != other.size())
        return false;
    for (int i = n - 1; i >= 0; --i)
        if (!((*m_names)[i] == (*other.m_names)[i]))
            return false;
    return true;
}
