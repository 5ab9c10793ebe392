#include "UninstallFolders.h"

#include <shlobj.h>

#include "ProductConstants.h"
#include "ShellFolders.h"

namespace {

// The shell folder `csidl`, created when missing, without a trailing backslash.
bool QueryShellFolder(int csidl, CWideString& folder)
{
    const HRESULT result = GetShellFolder(csidl | CSIDL_FLAG_CREATE, folder);
    folder.RemoveTrailingBackslash();
    return result == S_OK;
}

}  // namespace

bool FormUninstallFolders()
{
    if (!QueryShellFolder(CSIDL_PROGRAM_FILES, ProgramFilesFolder)) {
        return false;
    }
    MakerFolder = ProgramFilesFolder + L"\\" + MakerName;
    InstallFolder = MakerFolder + L"\\" + ProductName;
    if (!QueryShellFolder(CSIDL_COMMON_PROGRAMS, CommonProgramsFolder)) {
        return false;
    }
    if (!QueryShellFolder(CSIDL_LOCAL_APPDATA, TemporaryFolder)) {
        return false;
    }
    TemporaryFolder.RemoveLastComponent();
    TemporaryFolder.AppendComponent(L"Temp");
    TemporaryCopyPath = TemporaryFolder + L"\\" + MakerAndProduct() + L" Uninstall.exe";
    return true;
}
