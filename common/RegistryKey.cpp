#include "RegistryKey.h"

#include <cwchar>

CRegistryKey::~CRegistryKey()
{
    const DWORD lastError = GetLastError();
    Close();
    SetLastError(lastError);
}

LONG CRegistryKey::Hold(LONG result, HKEY key) noexcept
{
    if (result != ERROR_SUCCESS) {
        return result;
    }
    const LONG closed = Close();
    m_key = key;
    return closed;
}

LONG CRegistryKey::Open(HKEY parent, const wchar_t* name) noexcept
{
    HKEY key = nullptr;
    const LONG result = RegOpenKeyExW(parent, name, 0, Access, &key);
    return Hold(result, key);
}

LONG CRegistryKey::OpenForReading(HKEY parent, const wchar_t* name) noexcept
{
    HKEY key = nullptr;
    const LONG result = RegOpenKeyExW(parent, name, 0, KEY_READ, &key);
    return Hold(result, key);
}

LONG CRegistryKey::Create(HKEY parent, const wchar_t* name) noexcept
{
    HKEY key = nullptr;
    const LONG result = RegCreateKeyExW(parent, name, 0, nullptr, 0, Access, nullptr, &key, nullptr);
    return Hold(result, key);
}

LONG CRegistryKey::SetStringValue(const wchar_t* valueName, const wchar_t* text) noexcept
{
    const DWORD bytes = static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t));
    return RegSetValueExW(m_key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
}

LONG CRegistryKey::SetDWordValue(const wchar_t* valueName, DWORD value) noexcept
{
    return RegSetValueExW(m_key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

LONG CRegistryKey::QueryStringValue(const wchar_t* valueName, wchar_t* text, DWORD capacity, DWORD& type,
                                    DWORD& bytes) const noexcept
{
    if (capacity == 0) {
        return ERROR_MORE_DATA;
    }
    text[0] = 0;
    // One code unit kept back, so that a value stored without its terminator still gets one.
    bytes = (capacity - 1) * sizeof(wchar_t);
    const LONG result = RegQueryValueExW(m_key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes);
    if (result != ERROR_SUCCESS) {
        text[0] = 0;
        return result;
    }
    text[bytes / sizeof(wchar_t)] = 0;
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        text[0] = 0;
        return ERROR_INVALID_DATATYPE;
    }
    return ERROR_SUCCESS;
}

LONG CRegistryKey::Close() noexcept
{
    if (!m_key) {
        return ERROR_SUCCESS;
    }
    HKEY key = m_key;
    m_key = nullptr;
    return RegCloseKey(key);
}

LONG CRegistryKey::DeleteKeyTree(const wchar_t* name) noexcept
{
    CRegistryKey subkey;
    const LONG opened = subkey.Open(m_key, name);
    if (opened != ERROR_SUCCESS) {
        return opened;
    }
    wchar_t child[256];
    DWORD childLength = 256;
    // Always index 0: the subkey just removed no longer occupies it.
    while (RegEnumKeyExW(subkey.m_key, 0, child, &childLength, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        const LONG result = subkey.DeleteKeyTree(child);
        if (result != ERROR_SUCCESS) {
            return result;
        }
        childLength = 256;
    }
    subkey.Close();
    return RegDeleteKeyW(m_key, name);
}
