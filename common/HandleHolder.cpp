#include "HandleHolder.h"

CHandleHolder::~CHandleHolder()
{
    Attach(nullptr);
}

CHandleHolder& CHandleHolder::operator=(CHandleHolder&& other) noexcept
{
    if (this != &other) {
        Attach(other.Detach());
    }
    return *this;
}

void CHandleHolder::Attach(HANDLE handle) noexcept
{
    if (m_handle && m_handle != handle) {
        const DWORD lastError = GetLastError();
        CloseHandle(m_handle);
        SetLastError(lastError);
    }
    m_handle = handle;
}

HANDLE CHandleHolder::Detach() noexcept
{
    HANDLE handle = m_handle;
    m_handle = nullptr;
    return handle;
}

BOOL CHandleHolder::Close() noexcept
{
    if (!m_handle) {
        return 0;
    }
    return CloseHandle(Detach());
}
