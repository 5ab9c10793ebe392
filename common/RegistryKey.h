#pragma once

#include <windows.h>

// Owns one open registry key, opened with KEY_READ | KEY_WRITE, or with KEY_READ alone where
// it is only read. Every operation returns the Windows result code (0 is success) and never
// raises.
class CRegistryKey {
public:
    static constexpr REGSAM Access = KEY_READ | KEY_WRITE;  // 0x2001F

    CRegistryKey() noexcept = default;
    ~CRegistryKey();
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    HKEY Get() const noexcept { return m_key; }

    // RegOpenKeyExW's error; on failure the held key is unchanged. On success the old key is
    // closed and that close's result (0 when none was held) is returned. A null name gives a
    // new handle to `parent` itself.
    LONG Open(HKEY parent, const wchar_t* name) noexcept;
    // As Open, with KEY_READ alone: for a key that is only read, which administrators may be
    // allowed no more than to read.
    LONG OpenForReading(HKEY parent, const wchar_t* name) noexcept;
    // As Open, through RegCreateKeyExW (non-volatile; an existing key is opened).
    LONG Create(HKEY parent, const wchar_t* name) noexcept;

    // REG_SZ with its terminator: (length + 1) * 2 bytes. A null name is the default value.
    LONG SetStringValue(const wchar_t* valueName, const wchar_t* text) noexcept;
    LONG SetDWordValue(const wchar_t* valueName, DWORD value) noexcept;

    // Reads a REG_SZ or REG_EXPAND_SZ value into `text`, which has room for `capacity` code
    // units including the terminator, and always ends with one; `type` and `bytes` are the
    // stored type and size. RegQueryValueExW's error (ERROR_MORE_DATA when it does not fit),
    // or ERROR_INVALID_DATATYPE for any other type.
    LONG QueryStringValue(const wchar_t* valueName, wchar_t* text, DWORD capacity, DWORD& type,
                          DWORD& bytes) const noexcept;

    // RegCloseKey's result, or 0 when nothing was held.
    LONG Close() noexcept;

    // Removes the held key's subkey `name` with everything below it, bottom-up. A registry
    // link in the tree (or `name` itself) is removed as a link, its target left as it is.
    // Returns the first failing code; keys removed before a failure stay removed.
    LONG DeleteKeyTree(const wchar_t* name) noexcept;

private:
    LONG Hold(LONG result, HKEY key) noexcept;

    HKEY m_key = nullptr;
};
