#pragma once

// What a user's machine shows after setup or the uninstaller ran: folders, files, keys and
// values, read through the Windows API of the test prefix.
#include <windows.h>

#include <string>
#include <vector>

std::wstring ShellFolder(int csidl);
std::wstring InstallFolderPath();  // ...\Program Files\Ravelnest\Reelshifter SDK
std::wstring MakerFolderPath();

bool FileExists(const std::wstring& path);
bool FolderExists(const std::wstring& path);
std::vector<char> ReadBytes(const std::wstring& path);
void WriteBytes(const std::wstring& path, const std::vector<char>& bytes);
void WriteText(const std::wstring& path, const char* text);
// Removes a folder tree or a file, whatever its attributes.
void DeleteTree(const std::wstring& path);
// Plants a Unix symbolic link at `link` pointing at `target` (both Windows paths in the
// prefix); false when it could not be made. Wine shows a link to a folder as a reparse
// point (attributes 0x410) and a link to a file as a plain file.
bool PlantUnixLink(const std::wstring& link, const std::wstring& target);
// Removes such a link, which Wine's own calls cannot unlink when it points at a folder.
void RemoveUnixLink(const std::wstring& link);
void CopyFolder(const std::wstring& from, const std::wstring& to);
// Sets `attributes` on everything below `folder`, folders after their contents.
void SetAttributesBelow(const std::wstring& folder, DWORD attributes);
// "name size" per line for every file below `folder`, sorted, folders marked with '\'.
std::wstring ListFolder(const std::wstring& folder);

std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring& path);
// Every key below `path` (itself included) with its values: name, type, byte count, data.
std::wstring DumpKey(HKEY root, const std::wstring& path);
bool ReadString(HKEY root, const std::wstring& path, const wchar_t* name, std::wstring& value);
void CreateKey(HKEY root, const std::wstring& path);
void SetString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value);

std::wstring ShortcutTarget(const std::wstring& shortcut);
void CreateShortcut(const std::wstring& shortcut, const std::wstring& target);

// Command line of a running process, read from its process parameters.
std::wstring ProcessCommandLine(HANDLE process);
// Ids of running processes whose image file name is `exeName` (case-insensitive).
std::vector<DWORD> ProcessesNamed(const wchar_t* exeName);

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

extern const wchar_t* const UninstallKey;
extern const wchar_t* const ArpCacheKey;
extern const wchar_t* const EntryName;  // Ravelnest Reelshifter SDK 1.3.0
extern const wchar_t* const ServerKeys[13];  // every key the server registration removes
