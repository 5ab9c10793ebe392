#pragma once

#include <windows.h>

#include "WideString.h"

// Below HKEY_LOCAL_MACHINE: Add/Remove Programs' entries and its cache of them.
extern const wchar_t* const UninstallKeyPath;
extern const wchar_t* const ArpCacheKeyPath;

// Removes, each with everything below it, the subkeys of HKEY_LOCAL_MACHINE\`parentPath`
// that `accept` takes, in enumeration order. The list is complete before anything is
// removed, so removals cannot shift the enumeration. Nothing happens when the parent does
// not open.
void RemoveSubkeysWhere(const wchar_t* parentPath, bool (*accept)(const wchar_t* name));

// Removes the maker's and product's cached Add/Remove Programs entries: every ARPCache
// subkey whose name contains "Ravelnest" or "Reelshifter" in any letter case.
void RemoveArpCacheEntries();
