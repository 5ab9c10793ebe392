#pragma once

// What a user's machine shows of the SDK after setup or the uninstaller ran, and of what
// lies around it, as text that two states can be compared by.
#include <string>
#include <vector>

// Everything setup makes or may have made before, removed so that a test starts clean.
void RemoveEverythingSetupMakes();
// The installed state as text: files, shortcut targets, uninstall entries, ARPCache and
// server keys; two equal dumps mean the same state.
std::wstring DumpInstalledState();

// What is around the SDK and not its own, one item per line: the other Uninstall and
// ARPCache entries with their values, Program Files, the Start menu and the class
// registrations' names. Lines of a snapshot missing from a later one were lost.
std::vector<std::wstring> SurroundingsSnapshot();
size_t LostLines(const std::vector<std::wstring>& before, const std::vector<std::wstring>& after);
