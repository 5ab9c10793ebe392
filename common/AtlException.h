#pragma once

// The failure object of the foundation. It stands for exhausted memory or a broken
// invariant; nothing in either program catches it.

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdint>
typedef int32_t HRESULT;
#define E_INVALIDARG static_cast<HRESULT>(0x80070057u)
#define E_OUTOFMEMORY static_cast<HRESULT>(0x8007000Eu)
#endif

class CAtlException {
public:
    explicit CAtlException(HRESULT hr) noexcept : m_hr(hr) {}
    operator HRESULT() const noexcept { return m_hr; }

    HRESULT m_hr;
};

[[noreturn]] inline void AtlThrow(HRESULT hr) { throw CAtlException(hr); }
