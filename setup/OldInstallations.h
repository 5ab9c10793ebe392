#pragma once

#include "WideString.h"

// Deletes the files "Reelshifter SDK*.lnk" directly in the common programs folder; folders
// of that name and everything in subfolders stay.
void RemoveOldShortcuts();

// Removes every uninstall entry whose name begins with "Ravelnest Reelshifter SDK " in any
// letter case of A-Z, the entry of this version included (it is written anew).
void RemoveOldUninstallEntries();
