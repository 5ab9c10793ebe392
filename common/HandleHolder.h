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

// Holds a handle from a function that reports failure as INVALID_HANDLE_VALUE (snapshots,
// files): that value becomes an empty holder.
inline CHandleHolder HoldValidHandle(HANDLE handle) noexcept
{
    return CHandleHolder(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}
