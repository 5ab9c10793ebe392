#pragma once

#include <new>
#include <utility>
#include <vector>

#include "AtlException.h"

// A growable array whose failures are the foundation's: E_OUTOFMEMORY when it cannot
// grow, E_INVALIDARG for an index out of range.
template <typename T>
class CGrowableArray {
public:
    int Add(const T& element)
    {
        try {
            m_elements.push_back(element);
        } catch (const std::bad_alloc&) {
            AtlThrow(E_OUTOFMEMORY);
        }
        return static_cast<int>(m_elements.size()) - 1;
    }

    // New elements are value-initialised.
    void Resize(int size)
    {
        if (size < 0) {
            AtlThrow(E_INVALIDARG);
        }
        try {
            m_elements.resize(static_cast<size_t>(size));
        } catch (const std::bad_alloc&) {
            AtlThrow(E_OUTOFMEMORY);
        }
    }

    int GetSize() const noexcept { return static_cast<int>(m_elements.size()); }

    T& operator[](int index) { return m_elements[CheckIndex(index)]; }
    const T& operator[](int index) const { return m_elements[CheckIndex(index)]; }

    T* GetData() noexcept { return m_elements.data(); }
    const T* GetData() const noexcept { return m_elements.data(); }

    void RemoveAll() noexcept { m_elements.clear(); }

private:
    size_t CheckIndex(int index) const
    {
        if (index < 0 || static_cast<size_t>(index) >= m_elements.size()) {
            AtlThrow(E_INVALIDARG);
        }
        return static_cast<size_t>(index);
    }

    std::vector<T> m_elements;
};
