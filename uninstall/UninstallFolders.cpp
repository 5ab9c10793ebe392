#include "UninstallFolders.h"

#include <shlobj.h>

#include "FinalPath.h"
#include "HandleHolder.h"
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

// Where a link on the way leads shows in the final path of the folder's handle. A missing
// folder passes when `mustExist` is false: it is made later, inside checked folders.
bool FolderLiesOnLocalFixedVolume(const CWideString& folder, bool mustExist)
{
    const CHandleHolder opened = HoldValidHandle(CreateFileW(folder, FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
        nullptr));
    if (!opened) {
        const DWORD error = GetLastError();
        return !mustExist && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
    }
    return HandleLiesOnLocalFixedVolume(opened.Get());
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
    // The copy is checked and then started from the temporary folder beside the local
    // application-data folder, which the user names: on a share, a mapped drive or a WebDAV
    // folder, the server would answer each read as it likes, and the checks would mean
    // nothing. Refused before anything is created there.
    CWideString named;
    GetShellFolder(CSIDL_LOCAL_APPDATA | CSIDL_FLAG_DONT_VERIFY, named);
    if (!LiesOnLocalFixedDrive(named) || !QueryShellFolder(CSIDL_LOCAL_APPDATA, TemporaryFolder) ||
        !FolderLiesOnLocalFixedVolume(TemporaryFolder, true)) {
        return false;
    }
    TemporaryFolder.RemoveLastComponent();
    TemporaryFolder.AppendComponent(L"Temp");
    if (!FolderLiesOnLocalFixedVolume(TemporaryFolder, false)) {
        return false;
    }
    TemporaryCopyPath = TemporaryFolder + L"\\" + MakerAndProduct() + L" Uninstall.exe";
    return true;
}
