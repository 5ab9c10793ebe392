#pragma once

// The copy's removal steps besides the running-instance shutdown and the cache entries,
// in the order the copy runs them.

// Every uninstall entry whose name contains "Reelshifter" and "SDK", in any letter case
// and either order, with everything below it.
void RemoveUninstallEntries();

// Files directly in the common programs folder whose full path contains "Reelshifter"
// and "SDK"; subfolders are neither entered nor removed.
void RemoveStartMenuShortcuts();

// The installation folder with everything in it, then the maker folder when empty.
void RemoveInstallationFolders();
