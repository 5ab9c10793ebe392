#include "InstallationPaths.h"

#include <shlobj.h>

#include "ProductConstants.h"
#include "ShellFolders.h"
#include "SystemFolder.h"
#include "TextFold.h"

namespace {

CWideString Joined(const CWideString& folder, const wchar_t* name)
{
    CWideString path = folder;
    path.AppendComponent(name);
    return path;
}

bool FormSourceFolder(CWideString& folder)
{
    constexpr int Capacity = 32767;
    const DWORD length = GetModuleFileNameW(nullptr, folder.GetBuffer(Capacity), Capacity);
    folder.ReleaseBufferSetLength(length < static_cast<DWORD>(Capacity) ? static_cast<int>(length) : 0);
    if (!ConvertToLongPath(folder)) {
        return false;
    }
    folder.RemoveLastComponent();
    folder.RemoveTrailingBackslash();
    return true;
}

// The system directory without its last component; empty when that is unavailable.
CWideString FormWindowsFolder()
{
    CWideString folder = SystemFolder();
    folder.RemoveLastComponent();
    return folder;
}

bool FormProgramFilesFolder(CWideString& folder)
{
    // The query's own result is not what counts: an empty or unusable answer has no long form.
    GetShellFolder(CSIDL_PROGRAM_FILES | CSIDL_FLAG_CREATE, folder);
    if (!ConvertToLongPath(folder)) {
        return false;
    }
    folder.RemoveTrailingBackslash();
    return true;
}

void ComposeInstallationPaths(InstallationPaths& paths)
{
    paths.makerFolder = Joined(paths.programFilesFolder, MakerName);
    paths.makerFolder.RemoveTrailingBackslash();
    paths.installFolder = Joined(paths.makerFolder, ProductName);
    paths.installFolder.RemoveTrailingBackslash();
    paths.converterExecutable = Joined(Joined(paths.makerFolder, L"Reelshifter"), L"Reelshifter.exe");

    paths.sourceHelp = Joined(paths.sourceFolder, L"Reelshifter SDK.chm");
    paths.sourceUninstaller = Joined(paths.sourceFolder, L"Uninstall.exe");
    paths.sourceReadme = Joined(paths.sourceFolder, L"readme.txt");
    paths.targetHelp = Joined(paths.installFolder, L"Reelshifter SDK.chm");
    paths.targetUninstaller = Joined(paths.installFolder, L"Uninstall.exe");
    paths.targetReadme = Joined(paths.installFolder, L"Readme.txt");
}

}  // namespace

bool FormInstallationPaths(InstallationPaths& paths)
{
    if (!FormSourceFolder(paths.sourceFolder)) {
        return false;
    }
    paths.windowsFolder = FormWindowsFolder();
    if (!FormProgramFilesFolder(paths.programFilesFolder)) {
        return false;
    }
    ComposeInstallationPaths(paths);
    return true;
}

CWideString FormCommonProgramsFolder()
{
    return GetSpecialFolder(CSIDL_COMMON_PROGRAMS);
}

void ChooseShortcutPath(InstallationPaths& paths)
{
    const CWideString common = FormCommonProgramsFolder();
    const CWideString& windows = paths.windowsFolder;
    const bool useCommon = common.Length() != 0 &&
                           CompareFoldedPrefix(common, windows, static_cast<size_t>(windows.Length())) != 0;
    paths.shortcutPath = Joined(useCommon ? common : GetSpecialFolder(CSIDL_PROGRAMS), ProductTitle() + L".lnk");
}
