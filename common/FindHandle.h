#pragma once

#include <windows.h>

// Owns one directory search handle (INVALID_HANDLE_VALUE when empty) and closes it once.
class CFindHandle {
public:
    explicit CFindHandle(HANDLE find) noexcept : m_find(find) {}
    ~CFindHandle()
    {
        if (m_find != INVALID_HANDLE_VALUE) {
            FindClose(m_find);
        }
    }
    CFindHandle(const CFindHandle&) = delete;
    CFindHandle& operator=(const CFindHandle&) = delete;

    bool IsValid() const noexcept { return m_find != INVALID_HANDLE_VALUE; }
    HANDLE Get() const noexcept { return m_find; }

private:
    HANDLE m_find;
};
