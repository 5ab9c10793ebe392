#include "UninstallEntry.h"

#include <cwchar>

#include "OldInstallations.h"
#include "ProductConstants.h"
#include "RegistryKey.h"
#include "SubkeyRemoval.h"

namespace {

// Quoted: the path has spaces, and whatever runs the command would otherwise try
// "C:\Program.exe" first.
CWideString UninstallCommand(const CWideString& installFolder)
{
    CWideString uninstaller = installFolder;
    uninstaller.AppendComponent(L"Uninstall.exe");
    return L"\"" + uninstaller + L"\"";
}

bool ValueReadsBack(const CRegistryKey& entry, const wchar_t* name, const CWideString& expected)
{
    CWideString stored;
    DWORD type = 0;
    DWORD bytes = 0;
    const int capacity = expected.Length() + 2;  // room to see a longer value as different
    const LONG read =
        entry.QueryStringValue(name, stored.GetBuffer(capacity), static_cast<DWORD>(capacity) + 1, type, bytes);
    stored.ReleaseBuffer();
    return read == ERROR_SUCCESS && type == REG_SZ &&
           bytes == static_cast<DWORD>(expected.Length() + 1) * sizeof(wchar_t) &&
           wcscmp(stored, expected) == 0;
}

}  // namespace

void WriteUninstallEntry(const CWideString& installFolder)
{
    CRegistryKey uninstall;
    if (uninstall.Open(HKEY_LOCAL_MACHINE, UninstallKeyPath) != ERROR_SUCCESS) {
        return;
    }
    CRegistryKey entry;
    if (entry.Create(uninstall.Get(), FullProductName()) == ERROR_SUCCESS) {
        entry.SetStringValue(L"DisplayName", FullProductName());
        entry.SetStringValue(L"UninstallString", UninstallCommand(installFolder));
        entry.Close();
    }
    uninstall.Close();
}

bool UninstallEntryReadsBack(const CWideString& installFolder)
{
    CRegistryKey entry;
    return entry.OpenForReading(HKEY_LOCAL_MACHINE, CWideString(UninstallKeyPath) + L"\\" + FullProductName()) ==
               ERROR_SUCCESS &&
           ValueReadsBack(entry, L"DisplayName", FullProductName()) &&
           ValueReadsBack(entry, L"UninstallString", UninstallCommand(installFolder));
}
