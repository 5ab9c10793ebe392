#include "TestRegistry.h"

#include <shlwapi.h>

#include <algorithm>

#include "RegistryKey.h"
#include "TestFiles.h"

const wchar_t* const UninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t* const ArpCacheKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache";
const wchar_t* const EntryName = L"Ravelnest Reelshifter SDK 1.3.0";
const wchar_t* const ServerKeys[] = {
    L"TypeLib\\{5C0B7A21-3E94-4D1F-8A62-1B7D9E4C3F08}", L"AppID\\{5C0B7A21-3E94-4D1F-8A62-1B7D9E4C3F08}",
    L"AppID\\{E2A4D6F8-1B3C-4E5F-9071-A2B4C6D8E0F1}", L"AppID\\Reelshifter.exe",
    L"CLSID\\{E2A4D6F8-1B3C-4E5F-9071-A2B4C6D8E0F1}", L"Interface\\{3F6E9B12-7C4D-4A85-B0E3-D92C1A5F7B46}",
    L"Interface\\{A7D31C59-E084-42B6-9F1A-6C8E2D4B0F93}", L"Ravelnest.Reelshifter", L"Ravelnest.Reelshifter1",
    L"Reelshifter.Reelshifter", L"Reelshifter.Reelshifter1", L"ReelshifterLibrary.Reelshifter",
    L"ReelshifterLibrary.Reelshifter1",
};

namespace {

// The key's name in the native registry ("\\REGISTRY\\MACHINE\\..."), as a link names its
// target; empty when it cannot be read.
std::wstring NativeKeyName(HKEY key)
{
    using QueryKey = LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<QueryKey>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryKey")));
    union {
        ULONG length;  // KEY_NAME_INFORMATION: the name's length in bytes, then the name
        BYTE bytes[sizeof(ULONG) + 65536];
    } information;
    ULONG size = 0;
    constexpr int KeyNameInformation = 3;
    if (!query || query(key, KeyNameInformation, &information, sizeof(information), &size) < 0) {
        return std::wstring();
    }
    return std::wstring(reinterpret_cast<const wchar_t*>(information.bytes + sizeof(ULONG)),
                        information.length / sizeof(wchar_t));
}

}  // namespace

bool CreateRegistryLink(HKEY root, const std::wstring& path, HKEY targetRoot, const std::wstring& targetPath)
{
    CRegistryKey target;
    if (target.Open(targetRoot, targetPath.c_str()) != ERROR_SUCCESS) {
        return false;
    }
    const std::wstring name = NativeKeyName(target.Get());
    HKEY link = nullptr;
    if (name.empty() || RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                                        KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &link, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    // Without a terminator.
    const LONG set = RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(name.data()),
                                    static_cast<DWORD>(name.size() * sizeof(wchar_t)));
    RegCloseKey(link);
    return set == ERROR_SUCCESS;
}

bool KeyExists(HKEY root, const std::wstring& path)
{
    CRegistryKey key;
    return key.Open(root, path.c_str()) == ERROR_SUCCESS;
}

void DeleteTestKey(HKEY root, const wchar_t* path)
{
    SHDeleteKeyW(root, path);
}

std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring& path)
{
    std::vector<std::wstring> names;
    CRegistryKey key;
    if (key.Open(root, path.c_str()) != ERROR_SUCCESS) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[32768];
        DWORD length = 32767;
        if (RegEnumKeyExW(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;
        }
        names.push_back(name);
    }
    return names;
}

namespace {

void DumpInto(HKEY root, const std::wstring& path, std::wstring& out)
{
    CRegistryKey key;
    if (key.Open(root, path.c_str()) != ERROR_SUCCESS) {
        return;
    }
    out += L"[" + path + L"]\n";
    std::vector<std::wstring> values;
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD nameLength = 16384;
        DWORD type = 0;
        BYTE data[4096];
        DWORD bytes = sizeof(data);
        if (RegEnumValueW(key.Get(), index, name, &nameLength, nullptr, &type, data, &bytes) != ERROR_SUCCESS) {
            break;
        }
        std::wstring line = (nameLength ? std::wstring(name) : std::wstring(L"@")) + L" type " + std::to_wstring(type) +
                            L" bytes " + std::to_wstring(bytes) + L" ";
        if (type == REG_SZ) {
            std::wstring text(reinterpret_cast<const wchar_t*>(data), bytes / 2);
            if (!text.empty() && text.back() == L'\0') {
                text.pop_back();  // the byte count shows the terminator
            }
            line += text;
        } else if (type == REG_DWORD && bytes == 4) {
            line += std::to_wstring(*reinterpret_cast<const DWORD*>(data));
        }
        values.push_back(line);
    }
    std::sort(values.begin(), values.end());
    for (const std::wstring& line : values) {
        out += L"  " + line + L"\n";
    }
    key.Close();
    std::vector<std::wstring> subkeys = SubkeyNames(root, path);
    std::sort(subkeys.begin(), subkeys.end());
    for (const std::wstring& subkey : subkeys) {
        DumpInto(root, path + L"\\" + subkey, out);
    }
}

}  // namespace

std::wstring DumpKey(HKEY root, const std::wstring& path)
{
    std::wstring out;
    DumpInto(root, path, out);
    return out;
}

bool ReadString(HKEY root, const std::wstring& path, const wchar_t* name, std::wstring& value)
{
    CRegistryKey key;
    wchar_t data[4096] = {};
    DWORD type = 0;
    DWORD bytes = 0;
    if (key.OpenForReading(root, path.c_str()) != ERROR_SUCCESS ||
        key.QueryStringValue(name, data, sizeof(data) / sizeof(data[0]), type, bytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return false;
    }
    value = data;
    return true;
}

void CreateKey(HKEY root, const std::wstring& path)
{
    CRegistryKey key;
    key.Create(root, path.c_str());
}

void SetString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value)
{
    CRegistryKey key;
    if (key.Create(root, path.c_str()) == ERROR_SUCCESS) {
        key.SetStringValue(name, value.c_str());
    }
}

std::wstring UninstallEntryCommand()
{
    std::wstring command;
    ReadString(HKEY_LOCAL_MACHINE, std::wstring(UninstallKey) + L"\\" + EntryName, L"UninstallString", command);
    return command;
}

CStringOverride::CStringOverride(HKEY root, std::wstring path, const wchar_t* name, const std::wstring& value)
    : m_root(root), m_path(std::move(path)), m_name(name ? name : L""), m_hadValue(false)
{
    m_hadValue = ReadString(m_root, m_path, NameOrNull(), m_old);
    SetString(m_root, m_path, NameOrNull(), value);
}

CStringOverride::~CStringOverride()
{
    if (m_hadValue) {
        SetString(m_root, m_path, NameOrNull(), m_old);
        return;
    }
    CRegistryKey key;
    if (key.Open(m_root, m_path.c_str()) == ERROR_SUCCESS) {
        RegDeleteValueW(key.Get(), NameOrNull());
    }
}

namespace {

// Where the tests' recorder finds the log it appends to.
const wchar_t* const RecorderLogKey = L"Software\\RavelnestTests";

}  // namespace

CReadmeRecorder::CReadmeRecorder(const std::wstring& log)
{
    SetString(HKEY_CURRENT_USER, RecorderLogKey, L"RecorderLog", log);
    SetString(HKEY_CLASSES_ROOT, L"RavelnestTests.TextFile\\shell\\open\\command", nullptr,
              Quoted(BinPath(L"recorder.exe")) + L" \"%1\"");
    m_textFiles.reset(new CStringOverride(HKEY_CLASSES_ROOT, L".txt", nullptr, L"RavelnestTests.TextFile"));
}

CReadmeRecorder::~CReadmeRecorder()
{
    m_textFiles.reset();
    SHDeleteKeyW(HKEY_CLASSES_ROOT, L"RavelnestTests.TextFile");
    SHDeleteKeyW(HKEY_CURRENT_USER, RecorderLogKey);
}
