#pragma once

#include <windows.h>

#include "WideString.h"

// Names of the subkeys of `parent`, in enumeration order, that `accept` takes. The list is
// complete before anything is removed, so removals cannot shift the enumeration.
CWideStringArray CollectSubkeyNames(HKEY parent, bool (*accept)(const wchar_t* name));

// Removes the maker's and product's cached Add/Remove Programs entries: every ARPCache
// subkey whose name contains "Ravelnest" or "Reelshifter" in any letter case.
void RemoveArpCacheEntries();
