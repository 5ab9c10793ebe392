#include "RunInstallation.h"

#include "SubkeyRemoval.h"
#include "ConverterServerRegistration.h"
#include "EndProgramsInFolder.h"
#include "InstallationPaths.h"
#include "OldInstallations.h"
#include "PrerequisitesDialog.h"
#include "ProcessGlobals.h"
#include "ProductConstants.h"
#include "Readme.h"
#include "SdkFiles.h"
#include "SetupResources.h"
#include "ShellLink.h"
#include "UninstallEntry.h"

int SetupExitCode = 0;

namespace {

// Ends the program with `exitCode` once the message loop takes the quit message.
void QuitProgram(int exitCode)
{
    SetupExitCode = exitCode;
    PostThreadMessageW(MainThreadId, WM_QUIT, 0, 0);
}

// Every step is best effort; what decides whether the SDK is usable is whether each file
// is in place with exactly the verified bytes (a file held open by a viewer, or denied to
// the writing, keeps an older installation's contents), and whether the uninstall entry
// reads back as written.
bool InstallationIsComplete(const InstallationPaths& paths, const SdkFileContents& files)
{
    return SdkFilesAreInstalled(paths, files) && UninstallEntryReadsBack(paths.installFolder);
}

// The completion message, or the failure message with its icon when the SDK is not in
// place.
void ShowCompletionMessage(HWND owner, bool installed)
{
    const CWideString caption = ProductTitle() + LoadResourceText(IDS_SETUP_CAPTION_SUFFIX);
    const CWideString text = ProductTitle() + LoadResourceText(installed ? IDS_COMPLETION_SUFFIX : IDS_FAILURE_SUFFIX);
    MessageBoxW(owner, text, caption, installed ? MB_OK : MB_OK | MB_ICONERROR);
}

}  // namespace

void RunInstallation(HWND owner)
{
    EnableWindow(owner, FALSE);
    InstallationPaths paths;
    if (!FormInstallationPaths(paths)) {
        QuitProgram(1);  // nothing can be installed; nothing has been touched
        return;
    }
    // Before anything changes: a package that is incomplete, or that another program
    // changed while the dialog waited, leaves an earlier installation as it was.
    SdkFileContents files;
    if (!ReadVerifiedSdkFiles(paths, files)) {
        ShowWindow(owner, SW_HIDE);
        ShowCompletionMessage(owner, false);
        QuitProgram(1);
        return;
    }
    EndProgramsRunningFromFolder(paths.installFolder);
    RemoveOldShortcuts();
    RemoveArpCacheEntries();
    RemoveOldUninstallEntries();
    ChooseShortcutPath(paths);
    WriteSdkFiles(paths, files);
    CreateShortcut(paths.targetHelp, paths.shortcutPath);
    WriteUninstallEntry(paths.installFolder);
    RegisterConverterServer(paths.converterExecutable);
    const bool installed = InstallationIsComplete(paths, files);
    ShowWindow(owner, SW_HIDE);
    OpenReadme(paths.targetReadme);
    Sleep(1000);
    ShowCompletionMessage(owner, installed);
    QuitProgram(installed ? 0 : 1);
}
