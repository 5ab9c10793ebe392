#pragma once

// Registry keys and values as the tests read, seed and override them.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

extern const wchar_t* const UninstallKey;
extern const wchar_t* const ArpCacheKey;
extern const wchar_t* const EntryName;  // Ravelnest Reelshifter SDK 1.3.0
extern const wchar_t* const ServerKeys[13];  // every key the server registration removes

bool KeyExists(HKEY root, const std::wstring& path);
void DeleteTestKey(HKEY root, const wchar_t* path);
std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring& path);
// Every key below `path` (itself included) with its values: name, type, byte count, data.
std::wstring DumpKey(HKEY root, const std::wstring& path);
bool ReadString(HKEY root, const std::wstring& path, const wchar_t* name, std::wstring& value);
void CreateKey(HKEY root, const std::wstring& path);
void SetString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value);
// Makes root\`path` a registry link to the existing key targetRoot\`targetPath`; false
// when that fails. Such a link goes only with a removal that does not follow links.
bool CreateRegistryLink(HKEY root, const std::wstring& path, HKEY targetRoot, const std::wstring& targetPath);
// The installed entry's UninstallString, or an empty string.
std::wstring UninstallEntryCommand();

// Replaces a registry string for the life of the object.
class CStringOverride {
public:
    CStringOverride(HKEY root, std::wstring path, const wchar_t* name, const std::wstring& value);
    ~CStringOverride();
    CStringOverride(const CStringOverride&) = delete;
    CStringOverride& operator=(const CStringOverride&) = delete;

private:
    const wchar_t* NameOrNull() const { return m_name.empty() ? nullptr : m_name.c_str(); }

    HKEY m_root;
    std::wstring m_path;
    std::wstring m_name;
    bool m_hadValue;
    std::wstring m_old;
};

// Opens text files (setup's readme) in the tests' recorder, which appends each file it is
// given to `log`, instead of a Notepad that would stay open; for the life of the object.
class CReadmeRecorder {
public:
    explicit CReadmeRecorder(const std::wstring& log);
    ~CReadmeRecorder();
    CReadmeRecorder(const CReadmeRecorder&) = delete;
    CReadmeRecorder& operator=(const CReadmeRecorder&) = delete;

private:
    std::unique_ptr<CStringOverride> m_textFiles;
};
