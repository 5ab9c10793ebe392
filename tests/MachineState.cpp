#include "MachineState.h"

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <functional>
#include <utility>
#include <cwctype>
#include <string>

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

std::wstring ShellFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, 0, path);
    return path;
}

std::wstring MakerFolderPath()
{
    return ShellFolder(CSIDL_PROGRAM_FILES) + L"\\Ravelnest";
}

std::wstring InstallFolderPath()
{
    return MakerFolderPath() + L"\\Reelshifter SDK";
}

bool FileExists(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FolderExists(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<char> ReadBytes(const std::wstring& path)
{
    std::vector<char> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return bytes;
    }
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    CloseHandle(file);
    return bytes;
}

void WriteBytes(const std::wstring& path, const std::vector<char>& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

void WriteText(const std::wstring& path, const char* text)
{
    WriteBytes(path, std::vector<char>(text, text + strlen(text)));
}

void DeleteTree(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        DeleteFileW(path.c_str());
        return;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        WIN32_FIND_DATAW found = {};
        HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                if (wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0) {
                    DeleteTree(path + L"\\" + found.cFileName);
                }
            } while (FindNextFileW(find, &found));
            FindClose(find);
        }
    }
    RemoveDirectoryW(path.c_str());
}

namespace {

// Wine's own export: the Unix path of a Windows path, or null.
std::string UnixPath(const std::wstring& path)
{
    using Converter = char*(CDECL*)(const wchar_t*);
    const auto convert = reinterpret_cast<Converter>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* unix = convert ? convert(path.c_str()) : nullptr;
    if (!unix) {
        return std::string();
    }
    std::string result(unix);
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

std::wstring Widened(const std::string& text)
{
    std::wstring wide(text.size() * 2 + 1, L'\0');
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
    wide.resize(length > 0 ? static_cast<size_t>(length - 1) : 0);
    return wide;
}

// Starts a Unix program given by its path on drive Z:, which Wine runs as it is. Its end
// cannot be awaited through the handle Wine returns: callers poll for its effect.
void RunUnixProgram(const wchar_t* program, const std::wstring& arguments)
{
    std::wstring commandLine = std::wstring(program) + L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (CreateProcessW((L"Z:" + std::wstring(program)).c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                       nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

}  // namespace

bool PlantUnixLink(const std::wstring& link, const std::wstring& target)
{
    const std::string unixLink = UnixPath(link);
    const std::string unixTarget = UnixPath(target);
    if (unixLink.empty() || unixTarget.empty()) {
        return false;
    }
    RunUnixProgram(L"/bin/ln", L"-s -n \"" + Widened(unixTarget) + L"\" \"" + Widened(unixLink) + L"\"");
    for (int i = 0; i < 100; ++i) {
        if (GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES) {
            return true;
        }
        Sleep(50);
    }
    return false;
}

void RemoveUnixLink(const std::wstring& link)
{
    const std::string unixLink = UnixPath(link);
    if (!unixLink.empty()) {
        RunUnixProgram(L"/bin/rm", L"-f \"" + Widened(unixLink) + L"\"");
    }
    for (int i = 0; i < 100 && GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) {
        Sleep(50);
    }
}

namespace {

// Calls `visit` with every entry of `folder` except "." and "..".
void ForEachEntry(const std::wstring& folder, const std::function<void(const WIN32_FIND_DATAW&)>& visit)
{
    WIN32_FIND_DATAW found = {};
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if (lstrcmpW(found.cFileName, L".") != 0 && lstrcmpW(found.cFileName, L"..") != 0) {
            visit(found);
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

}  // namespace

void CopyFolder(const std::wstring& from, const std::wstring& to)
{
    CreateDirectoryW(to.c_str(), nullptr);
    ForEachEntry(from, [&](const WIN32_FIND_DATAW& found) {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            CopyFileW((from + L"\\" + found.cFileName).c_str(), (to + L"\\" + found.cFileName).c_str(), FALSE);
        }
    });
}

void SetAttributesBelow(const std::wstring& folder, DWORD attributes)
{
    ForEachEntry(folder, [&](const WIN32_FIND_DATAW& found) {
        const std::wstring path = folder + L"\\" + found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            SetAttributesBelow(path, attributes);
        }
        SetFileAttributesW(path.c_str(), attributes);
    });
}

namespace {

void ListInto(const std::wstring& folder, const std::wstring& relative, std::vector<std::wstring>& lines)
{
    ForEachEntry(folder, [&](const WIN32_FIND_DATAW& found) {
        const std::wstring name = found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            lines.push_back(relative + name + L"\\");
            ListInto(folder + L"\\" + name, relative + name + L"\\", lines);
        } else {
            lines.push_back(relative + name + L" " + std::to_wstring(found.nFileSizeLow));
        }
    });
}

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c + 32);
        }
    }
    return text;
}

void DumpInto(HKEY root, const std::wstring& path, std::wstring& out)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
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
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &bytes) != ERROR_SUCCESS) {
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
    RegCloseKey(key);
    std::vector<std::wstring> subkeys = SubkeyNames(root, path);
    std::sort(subkeys.begin(), subkeys.end());
    for (const std::wstring& subkey : subkeys) {
        DumpInto(root, path + L"\\" + subkey, out);
    }
}

}  // namespace

std::wstring ListFolder(const std::wstring& folder)
{
    std::vector<std::wstring> lines;
    ListInto(folder, L"", lines);
    std::sort(lines.begin(), lines.end());
    std::wstring out;
    for (const std::wstring& line : lines) {
        out += line + L"\n";
    }
    return out;
}

std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring& path)
{
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[32768];
        DWORD length = 32767;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;
        }
        names.push_back(name);
    }
    RegCloseKey(key);
    return names;
}

std::wstring DumpKey(HKEY root, const std::wstring& path)
{
    std::wstring out;
    DumpInto(root, path, out);
    return out;
}

bool ReadString(HKEY root, const std::wstring& path, const wchar_t* name, std::wstring& value)
{
    wchar_t data[4096] = {};
    DWORD bytes = sizeof(data) - sizeof(wchar_t);
    DWORD type = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    const LONG result = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ) {
        return false;
    }
    value = data;
    return true;
}

void CreateKey(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        RegCloseKey(key);
    }
}

void SetString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
}

std::wstring ShortcutTarget(const std::wstring& shortcut)
{
    std::wstring target;
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
        return target;
    }
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        if (SUCCEEDED(file->Load(shortcut.c_str(), STGM_READ))) {
            wchar_t path[MAX_PATH] = {};
            if (link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH) == S_OK) {
                target = path;
            }
        }
        file->Release();
    }
    link->Release();
    return target;
}

void CreateShortcut(const std::wstring& shortcut, const std::wstring& target)
{
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
        return;
    }
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        link->SetPath(target.c_str());
        file->Save(shortcut.c_str(), TRUE);
        file->Release();
    }
    link->Release();
}

std::wstring ProcessCommandLine(HANDLE process)
{
    using QueryInformation = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<QueryInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic = {};
    if (!query || query(process, ProcessBasicInformation, &basic, sizeof(basic), nullptr) != 0) {
        return L"";
    }
    PEB peb = {};
    RTL_USER_PROCESS_PARAMETERS parameters = {};
    SIZE_T got = 0;
    if (!ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof(peb), &got) ||
        !ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof(parameters), &got)) {
        return L"";
    }
    std::wstring line(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
    if (!line.empty() &&
        !ReadProcessMemory(process, parameters.CommandLine.Buffer, &line[0], parameters.CommandLine.Length, &got)) {
        return L"";
    }
    return line;
}

std::vector<DWORD> ProcessesNamed(const wchar_t* exeName)
{
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return ids;
    }
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (Lower(entry.szExeFile) == Lower(exeName)) {
            ids.push_back(entry.th32ProcessID);
        }
    }
    CloseHandle(snapshot);
    return ids;
}

namespace {

// Start-menu entries named like setup's shortcut, directly in the common and per-user folders.
std::vector<std::pair<int, std::wstring>> ProductShortcuts()
{
    std::vector<std::pair<int, std::wstring>> entries;
    for (int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
        const std::wstring folder = ShellFolder(csidl);
        WIN32_FIND_DATAW found = {};
        HANDLE find = FindFirstFileW((folder + L"\\Reelshifter SDK*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                entries.emplace_back(csidl, folder + L"\\" + found.cFileName);
            } while (FindNextFileW(find, &found));
            FindClose(find);
        }
    }
    return entries;
}

// Uninstall and ARPCache keys whose names hold the maker's or the product's name.
std::vector<std::wstring> ProductEntryKeys()
{
    std::vector<std::wstring> keys;
    for (const wchar_t* parent : {UninstallKey, ArpCacheKey}) {
        for (const std::wstring& name : SubkeyNames(HKEY_LOCAL_MACHINE, parent)) {
            const std::wstring lower = Lower(name);
            if (lower.find(L"reelshifter") != std::wstring::npos || lower.find(L"ravelnest") != std::wstring::npos) {
                keys.push_back(std::wstring(parent) + L"\\" + name);
            }
        }
    }
    return keys;
}

}  // namespace

void RemoveEverythingSetupMakes()
{
    DeleteTree(InstallFolderPath());
    RemoveDirectoryW(MakerFolderPath().c_str());
    for (const auto& shortcut : ProductShortcuts()) {
        DeleteTree(shortcut.second);
    }
    for (const std::wstring& key : ProductEntryKeys()) {
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
    }
    for (const wchar_t* key : ServerKeys) {
        SHDeleteKeyW(HKEY_CLASSES_ROOT, key);
    }
}

std::wstring DumpInstalledState()
{
    std::wstring out = L"files:\n" + ListFolder(MakerFolderPath());
    for (const auto& shortcut : ProductShortcuts()) {
        out += L"shortcut " + std::to_wstring(shortcut.first) + L" " + shortcut.second + L" -> " +
               ShortcutTarget(shortcut.second) + L"\n";
    }
    for (const std::wstring& key : ProductEntryKeys()) {
        out += DumpKey(HKEY_LOCAL_MACHINE, key);
    }
    for (const wchar_t* key : ServerKeys) {
        out += DumpKey(HKEY_CLASSES_ROOT, key);
    }
    return out;
}

namespace {

void AddLines(const std::wstring& prefix, const std::wstring& text, std::vector<std::wstring>& lines)
{
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        lines.push_back(prefix + text.substr(start, end - start));
        start = end + 1;
    }
}

}  // namespace

std::vector<std::wstring> SurroundingsSnapshot()
{
    std::vector<std::wstring> lines;
    for (const wchar_t* parent : {UninstallKey, ArpCacheKey}) {
        for (const std::wstring& name : SubkeyNames(HKEY_LOCAL_MACHINE, parent)) {
            AddLines(L"key ", DumpKey(HKEY_LOCAL_MACHINE, std::wstring(parent) + L"\\" + name), lines);
        }
    }
    for (int csidl : {CSIDL_PROGRAM_FILES, CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
        AddLines(L"file " + std::to_wstring(csidl) + L" ", ListFolder(ShellFolder(csidl)), lines);
    }
    for (const std::wstring& name : SubkeyNames(HKEY_CLASSES_ROOT, L"")) {
        lines.push_back(L"class " + name);
    }
    for (const std::wstring& name : SubkeyNames(HKEY_CLASSES_ROOT, L"CLSID")) {
        lines.push_back(L"clsid " + name);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

size_t LostLines(const std::vector<std::wstring>& before, const std::vector<std::wstring>& after)
{
    size_t lost = 0;
    for (const std::wstring& line : before) {
        lost += std::binary_search(after.begin(), after.end(), line) ? 0 : 1;
    }
    return lost;
}
