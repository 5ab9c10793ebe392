#include "ArpCacheEntries.h"

#include "Pattern.h"
#include "RegistryKey.h"

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

namespace {

bool IsMakerOrProductEntry(const wchar_t* name)
{
    return MatchPattern(true, name, L"(Ravelnest)|(Reelshifter)");
}

}  // namespace

void RemoveArpCacheEntries()
{
    CRegistryKey cache;
    if (cache.Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache") !=
        ERROR_SUCCESS) {
        return;
    }
    const CWideStringArray names = CollectSubkeyNames(cache.Get(), IsMakerOrProductEntry);
    for (int i = 0; i < names.GetSize(); ++i) {
        cache.DeleteKeyTree(names[i]);
    }
    cache.Close();
}
