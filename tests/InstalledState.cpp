#include "InstalledState.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <utility>

#include "FolderWalk.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "TextFold.h"

namespace {

// Start-menu entries named like setup's shortcut, directly in the common and per-user folders.
std::vector<std::pair<int, std::wstring>> ProductShortcuts()
{
    std::vector<std::pair<int, std::wstring>> entries;
    for (int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
        const std::wstring folder = ShellFolder(csidl);
        ForEachFolderEntry((folder + L"\\Reelshifter SDK*").c_str(), [&](const WIN32_FIND_DATAW& found) {
            entries.emplace_back(csidl, folder + L"\\" + found.cFileName);
        });
    }
    return entries;
}

// Uninstall and ARPCache keys whose names hold the maker's or the product's name.
std::vector<std::wstring> ProductEntryKeys()
{
    std::vector<std::wstring> keys;
    for (const wchar_t* parent : {UninstallKey, ArpCacheKey}) {
        for (const std::wstring& name : SubkeyNames(HKEY_LOCAL_MACHINE, parent)) {
            std::wstring lower = name;
            FoldAsciiLetters(&lower[0]);
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
