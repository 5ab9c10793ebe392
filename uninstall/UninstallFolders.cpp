#include "UninstallFolders.h"

#include <shlobj.h>

#include "ProductConstants.h"

namespace {

// The shell folder `csidl`, created when missing, without a trailing backslash.
bool QueryShellFolder(int csidl, CWideString& folder)
{
    wchar_t* buffer = folder.GetBuffer(MAX_PATH);
    buffer[0] = 0;
    const HRESULT result = SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, 0, buffer);
    folder.ReleaseBuffer();
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
    TemporaryCopyPath = TemporaryFolder + L"\\" + MakerName + L" " + ProductName + L" Uninstall.exe";
    return true;
}
