#include "SdkFiles.h"

#include <objbase.h>
#include <shlobj.h>

void CopySdkFiles(const InstallationPaths& paths)
{
    CreateDirectoryW(paths.makerFolder, nullptr);
    CreateDirectoryW(paths.installFolder, nullptr);
    CopyFileW(paths.sourceHelp, paths.targetHelp, FALSE);
    CopyFileW(paths.sourceUninstaller, paths.targetUninstaller, FALSE);
    CopyFileW(paths.sourceReadme, paths.targetReadme, FALSE);
}

void CreateHelpShortcut(const CWideString& target, const CWideString& shortcutPath)
{
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
        return;  // nothing later depends on the shortcut
    }
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        link->SetPath(target);
        file->Save(shortcutPath, TRUE);
        file->Release();
    }
    link->Release();
}
