#include "RegistryKey.h"

#include <winternl.h>

#include <cwchar>

// Deletes the key a handle names, the link itself for a link opened as one.
extern "C" NTSTATUS NTAPI NtDeleteKey(HANDLE key);

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
    // A registry link is opened as itself, never followed: it goes, its target stays. A link
    // has no subkeys of its own, so the walk never leaves the tree through one.
    HKEY opened = nullptr;
    const LONG result = RegOpenKeyExW(m_key, name, REG_OPTION_OPEN_LINK, KEY_READ | DELETE, &opened);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    CRegistryKey subkey;
    subkey.m_key = opened;
    wchar_t child[256];
    DWORD childLength = 256;
    // Always index 0: the subkey just removed no longer occupies it.
    while (RegEnumKeyExW(subkey.m_key, 0, child, &childLength, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        const LONG removed = subkey.DeleteKeyTree(child);
        if (removed != ERROR_SUCCESS) {
            return removed;
        }
        childLength = 256;
    }
    // Through the handle: RegDeleteKeyW would open the name again, and follow a link.
    const NTSTATUS deleted = NtDeleteKey(subkey.m_key);
    return deleted >= 0 ? ERROR_SUCCESS : static_cast<LONG>(RtlNtStatusToDosError(deleted));
}
