#include "UninstallEntry.h"

#include "OldInstallations.h"
#include "ProductConstants.h"
#include "RegistryKey.h"
#include "SubkeyRemoval.h"

namespace {

CWideString UninstallEntryName()
{
    return MakerName + L" " + ProductName + L" " + ProductVersion;
}

}  // namespace

void WriteUninstallEntry(const CWideString& installFolder)
{
    CRegistryKey uninstall;
    if (uninstall.Open(HKEY_LOCAL_MACHINE, UninstallKeyPath) != ERROR_SUCCESS) {
        return;
    }
    CRegistryKey entry;
    if (entry.Create(uninstall.Get(), UninstallEntryName()) == ERROR_SUCCESS) {
        CWideString uninstaller = installFolder;
        uninstaller.AppendComponent(L"Uninstall.exe");
        entry.SetStringValue(L"DisplayName", UninstallEntryName());
        // Quoted: the path has spaces, and whatever runs the command would otherwise try
        // "C:\Program.exe" first.
        entry.SetStringValue(L"UninstallString", L"\"" + uninstaller + L"\"");
        entry.Close();
    }
    uninstall.Close();
}

bool UninstallEntryExists()
{
    CRegistryKey entry;
    return entry.Open(HKEY_LOCAL_MACHINE, CWideString(UninstallKeyPath) + L"\\" + UninstallEntryName()) ==
           ERROR_SUCCESS;
}
