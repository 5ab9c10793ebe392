#include "InstallationPaths.h"

#include <shlobj.h>

#include "ProductConstants.h"
#include "SystemFolder.h"
#include "TextFold.h"

namespace {

constexpr int LongPathCapacity = 32767;

// Converts `path` in place to its long form; false when the conversion returns 0.
bool ToLongForm(CWideString& path)
{
    wchar_t* buffer = path.GetBuffer(LongPathCapacity);
    const DWORD length = GetLongPathNameW(buffer, buffer, LongPathCapacity);
    if (length == 0 || length >= static_cast<DWORD>(LongPathCapacity)) {
        path.ReleaseBuffer();
        return false;
    }
    path.ReleaseBufferSetLength(static_cast<int>(length));
    return true;
}

CWideString Joined(const CWideString& folder, const wchar_t* name)
{
    CWideString path = folder;
    path.AppendComponent(name);
    return path;
}

CWideString SpecialFolder(int csidl)
{
    CWideString folder;
    wchar_t* buffer = folder.GetBuffer(MAX_PATH);
    buffer[0] = 0;
    SHGetSpecialFolderPathW(nullptr, buffer, csidl, TRUE);
    folder.ReleaseBuffer();
    return folder;
}

}  // namespace

bool FormSourceFolder(CWideString& folder)
{
    wchar_t* buffer = folder.GetBuffer(LongPathCapacity);
    const DWORD length = GetModuleFileNameW(nullptr, buffer, LongPathCapacity);
    folder.ReleaseBufferSetLength(length < static_cast<DWORD>(LongPathCapacity) ? static_cast<int>(length) : 0);
    if (!ToLongForm(folder)) {
        return false;
    }
    folder.RemoveLastComponent();
    folder.RemoveTrailingBackslash();
    return true;
}

CWideString FormWindowsFolder()
{
    CWideString folder = SystemFolder();
    folder.RemoveLastComponent();
    return folder;
}

bool FormProgramFilesFolder(CWideString& folder)
{
    wchar_t* buffer = folder.GetBuffer(MAX_PATH);
    ZeroMemory(buffer, (MAX_PATH + 1) * sizeof(wchar_t));
    SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES | CSIDL_FLAG_CREATE, nullptr, 0, buffer);
    folder.ReleaseBuffer();
    if (!ToLongForm(folder)) {
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

CWideString FormCommonProgramsFolder()
{
    return SpecialFolder(CSIDL_COMMON_PROGRAMS);
}

CWideString ChooseShortcutFolder(const CWideString& windowsFolder)
{
    const CWideString common = FormCommonProgramsFolder();
    if (common.Length() == 0 ||
        CompareFoldedPrefix(common, windowsFolder, static_cast<size_t>(windowsFolder.Length())) == 0) {
        return SpecialFolder(CSIDL_PROGRAMS);
    }
    return common;
}
