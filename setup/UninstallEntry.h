#pragma once

#include "WideString.h"

// Writes the uninstall entry "Ravelnest Reelshifter SDK 1.3.0" with its DisplayName and
// the quoted path of the installed uninstaller as UninstallString.
void WriteUninstallEntry(const CWideString& installFolder);

// True when the entry's DisplayName and UninstallString read back exactly as
// WriteUninstallEntry writes them (REG_SZ, terminator included).
bool UninstallEntryReadsBack(const CWideString& installFolder);
