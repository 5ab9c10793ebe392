#pragma once

// Owns one COM interface pointer (null when empty) and releases it once.
template <typename T>
class CComHolder {
public:
    CComHolder() noexcept = default;
    ~CComHolder()
    {
        if (m_pointer) {
            m_pointer->Release();
        }
    }
    CComHolder(const CComHolder&) = delete;
    CComHolder& operator=(const CComHolder&) = delete;

    // Where a creating call stores the new pointer; the holder must be empty.
    void** Receive() noexcept { return reinterpret_cast<void**>(&m_pointer); }
    T* operator->() const noexcept { return m_pointer; }
    explicit operator bool() const noexcept { return m_pointer != nullptr; }

private:
    T* m_pointer = nullptr;
};
