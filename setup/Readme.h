#pragma once

#include "WideString.h"

// Opens the installed readme with its associated program, or with Notepad when no
// program is associated with it, as the desktop's user (nothing, when that cannot be
// done and this process has an administrator's full token). Neither is waited for. The viewer's working folder is
// the system folder: a viewer left open would otherwise hold the folder it works in, and
// the uninstaller could not remove the installation folder.
void OpenReadme(const CWideString& readmePath);
