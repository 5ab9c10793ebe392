#pragma once

#include "WideString.h"

// Writes the uninstall entry "Ravelnest Reelshifter SDK 1.3.0" with its DisplayName and
// the quoted path of the installed uninstaller as UninstallString.
void WriteUninstallEntry(const CWideString& installFolder);
bool UninstallEntryExists();
