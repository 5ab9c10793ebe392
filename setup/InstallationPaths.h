#pragma once

#include "WideString.h"

// Every path of the installation, derived from shell folders and the product constants.
struct InstallationPaths {
    CWideString sourceFolder;  // the folder that holds setup.exe, long form
    CWideString windowsFolder;
    CWideString programFilesFolder;
    CWideString makerFolder;
    CWideString installFolder;
    CWideString converterExecutable;
    CWideString sourceHelp, sourceUninstaller, sourceReadme;
    CWideString targetHelp, targetUninstaller, targetReadme;
};

// False when the own executable's path has no long form.
bool FormSourceFolder(CWideString& folder);
// The system directory without its last component; empty when that is unavailable.
CWideString FormWindowsFolder();
// False when the program-files folder cannot be obtained in long form.
bool FormProgramFilesFolder(CWideString& folder);
// Maker, installation and converter paths and the six file paths.
void ComposeInstallationPaths(InstallationPaths& paths);

CWideString FormCommonProgramsFolder();
// The common programs folder, or the per-user one when the common folder is empty or
// lies inside the Windows folder (as on systems without an all-users profile).
CWideString ChooseShortcutFolder(const CWideString& windowsFolder);
