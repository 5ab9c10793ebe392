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
    CWideString shortcutPath;  // chosen when the shortcut's turn comes (ChooseShortcutPath)
};

// The source, Windows and program-files folders, then the maker, installation and converter
// paths and the six file paths, in this order. False, when the own executable's path or the
// program-files folder has no long form: then nothing can be installed.
bool FormInstallationPaths(InstallationPaths& paths);

// The common programs folder, as setup's searches and its shortcut use it.
CWideString FormCommonProgramsFolder();

// The shortcut's path: in the common programs folder, or in the per-user one when the
// common folder is empty or lies inside the Windows folder (as on systems without an
// all-users profile).
void ChooseShortcutPath(InstallationPaths& paths);
