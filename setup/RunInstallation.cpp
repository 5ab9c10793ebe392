#include "RunInstallation.h"

#include "SubkeyRemoval.h"
#include "ConverterServerRegistration.h"
#include "EndProgramsInFolder.h"
#include "FileContents.h"
#include "InstallationPaths.h"
#include "OldInstallations.h"
#include "PrerequisitesDialog.h"
#include "ProcessGlobals.h"
#include "ProductConstants.h"
#include "Readme.h"
#include "SdkFiles.h"
#include "SetupResources.h"
#include "UninstallEntry.h"

int SetupExitCode = 0;

namespace {

void QuitProgram()
{
    PostThreadMessageW(MainThreadId, WM_QUIT, 0, 0);
}

// Every step is best effort; what decides whether the SDK is usable is whether each file
// of the source folder is in place with exactly the source's bytes (a file held open by a
// viewer, or denied to the copy, keeps an older installation's contents), and whether the
// uninstall entry reads back as written.
bool InstallationIsComplete(const InstallationPaths& paths)
{
    return FilesHaveSameContents(paths.sourceHelp, paths.targetHelp) &&
           FilesHaveSameContents(paths.sourceUninstaller, paths.targetUninstaller) &&
           (!FileExists(paths.sourceReadme) || FilesHaveSameContents(paths.sourceReadme, paths.targetReadme)) &&
           UninstallEntryReadsBack(paths.installFolder);
}

}  // namespace

void RunInstallation(HWND owner)
{
    EnableWindow(owner, FALSE);

    // Without these two folders nothing can be installed: quit silently, reporting the
    // failure through the exit code.
    InstallationPaths paths;
    if (!FormSourceFolder(paths.sourceFolder)) {
        SetupExitCode = 1;
        QuitProgram();
        return;
    }
    paths.windowsFolder = FormWindowsFolder();
    if (!FormProgramFilesFolder(paths.programFilesFolder)) {
        SetupExitCode = 1;
        QuitProgram();
        return;
    }
    ComposeInstallationPaths(paths);

    EndProgramsRunningFromFolder(paths.installFolder);
    RemoveOldShortcuts();
    RemoveArpCacheEntries();
    RemoveOldUninstallEntries();
    CWideString shortcutPath = ChooseShortcutFolder(paths.windowsFolder);
    shortcutPath.AppendComponent(ProductName + L" " + ProductVersion + L".lnk");
    CopySdkFiles(paths);
    CreateHelpShortcut(paths.targetHelp, shortcutPath);
    WriteUninstallEntry(paths.installFolder);
    RegisterConverterServer(paths.converterExecutable);
    const bool installed = InstallationIsComplete(paths);

    ShowWindow(owner, SW_HIDE);
    OpenReadme(paths.targetReadme);
    Sleep(1000);

    const CWideString fullProductName = ProductName + L" " + ProductVersion;
    const CWideString caption = fullProductName + LoadResourceText(IDS_SETUP_CAPTION_SUFFIX);
    if (installed) {
        MessageBoxW(owner, fullProductName + LoadResourceText(IDS_COMPLETION_SUFFIX), caption, MB_OK);
    } else {
        SetupExitCode = 1;
        MessageBoxW(owner, fullProductName + LoadResourceText(IDS_FAILURE_SUFFIX), caption, MB_OK | MB_ICONERROR);
    }
    QuitProgram();
}
