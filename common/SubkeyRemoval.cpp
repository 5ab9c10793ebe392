#include "SubkeyRemoval.h"

#include "Pattern.h"
#include "RegistryKey.h"

const wchar_t* const UninstallKeyPath = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t* const ArpCacheKeyPath = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache";

namespace {

// Names of the subkeys of `parent`, in enumeration order, that `accept` takes.
CWideStringArray CollectSubkeyNames(HKEY parent, bool (*accept)(const wchar_t* name))
{
    CWideStringArray names;
    CWideString name;
    wchar_t* buffer = name.GetBuffer(32767);
    for (DWORD index = 0;; ++index) {
        DWORD capacity = 32766;
        if (RegEnumKeyExW(parent, index, buffer, &capacity, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;  // the end of the list or an error: either ends the enumeration
        }
        if (accept(buffer)) {
            names.Add(CWideString(buffer));
        }
    }
    return names;
}

}  // namespace

void RemoveSubkeysWhere(const wchar_t* parentPath, bool (*accept)(const wchar_t* name))
{
    CRegistryKey parent;
    if (parent.Open(HKEY_LOCAL_MACHINE, parentPath) != ERROR_SUCCESS) {
        return;
    }
    const CWideStringArray names = CollectSubkeyNames(parent.Get(), accept);
    for (int i = 0; i < names.GetSize(); ++i) {
        parent.DeleteKeyTree(names[i]);
    }
    parent.Close();
}

namespace {

bool IsMakerOrProductEntry(const wchar_t* name)
{
    return MatchPattern(true, name, L"(Ravelnest)|(Reelshifter)");
}

}  // namespace

void RemoveArpCacheEntries()
{
    RemoveSubkeysWhere(ArpCacheKeyPath, IsMakerOrProductEntry);
}
