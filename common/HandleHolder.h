#pragma once

#include <windows.h>

// Owns at most one kernel handle (null when empty) and closes it once.
class CHandleHolder {
public:
    CHandleHolder() noexcept = default;
    explicit CHandleHolder(HANDLE handle) noexcept : m_handle(handle) {}
    ~CHandleHolder();

    CHandleHolder(const CHandleHolder&) = delete;
    CHandleHolder& operator=(const CHandleHolder&) = delete;
    CHandleHolder(CHandleHolder&& other) noexcept : m_handle(other.Detach()) {}
    CHandleHolder& operator=(CHandleHolder&& other) noexcept;

    HANDLE Get() const noexcept { return m_handle; }
    explicit operator bool() const noexcept { return m_handle != nullptr; }

    // Closes what was held (keeping the caller's last error) and holds `handle`.
    void Attach(HANDLE handle) noexcept;
    HANDLE Detach() noexcept;

    // CloseHandle's result, or 0 when nothing was held; the holder is empty afterwards.
    BOOL Close() noexcept;

private:
    HANDLE m_handle = nullptr;
};
