#pragma once

// Files, folders and links as the tests read and plant them, through the Windows API of the
// test prefix; and where the programs, the package and the SDK's folders lie.
#include <windows.h>

#include <string>
#include <vector>

// The folder that holds the test program, and with it the built programs.
std::wstring BinFolder();
std::wstring BinPath(const wchar_t* name);
std::wstring FullPath(const std::wstring& path);
// The built package: setup.exe, Uninstall.exe, readme.txt and the help file.
std::wstring PackageFolder();

std::wstring ShellFolder(int csidl);
std::wstring InstallFolderPath();  // ...\Program Files\Ravelnest\Reelshifter SDK
std::wstring MakerFolderPath();
// The uninstaller's temporary copy: "Temp" beside the local application-data folder.
std::wstring UninstallCopyPath();
std::wstring TemporaryFolderPath();

std::wstring Quoted(const std::wstring& path);
// The text with A-Z in upper case, for paths given in another letter case.
std::wstring Upper(std::wstring text);

bool FileExists(const std::wstring& path);
bool FolderExists(const std::wstring& path);
std::vector<char> ReadBytes(const std::wstring& path);
void WriteBytes(const std::wstring& path, const std::vector<char>& bytes);
void WriteText(const std::wstring& path, const char* text);
// Removes a folder tree or a file, whatever its attributes; a folder link goes, not what it
// points at.
void DeleteTree(const std::wstring& path);
void CopyFolder(const std::wstring& from, const std::wstring& to);
// Sets `attributes` on everything below `folder`, folders after their contents.
void SetAttributesBelow(const std::wstring& folder, DWORD attributes);
// "name size" per line for every file below `folder`, sorted, folders marked with '\'.
std::wstring ListFolder(const std::wstring& folder);

// Where an image's data-directory entry `index` lies in the file (PE32 or PE32+), and the
// file offset of `rva` through its section table; 0 when there is none.
bool IsPe32Plus(const std::vector<char>& image);
size_t DataDirectoryOffset(const std::vector<char>& image, int index);
size_t RvaFileOffset(const std::vector<char>& image, DWORD rva);

// Plants a Unix symbolic link at `link` pointing at `target` (both Windows paths in the
// prefix); false when it could not be made. Wine shows a link to a folder as a reparse
// point (attributes 0x410) and a link to a file as a plain file.
bool PlantUnixLink(const std::wstring& link, const std::wstring& target);
// Removes such a link, which Wine's own calls cannot unlink when it points at a folder.
void RemoveUnixLink(const std::wstring& link);

// Under Wine, a share \\server\share is the prefix's dosdevices/unc/server/share, and a drive
// letter is the network's when Wine's mount manager says so. Each object makes one of them
// lead to a local `folder` for its lifetime; Valid() is false when that failed.
class CWineNetworkPlace {
public:
    // `name`: "server\share" for a share, "r:" for a network drive.
    CWineNetworkPlace(const std::wstring& name, const std::wstring& folder);
    ~CWineNetworkPlace();
    CWineNetworkPlace(const CWineNetworkPlace&) = delete;
    CWineNetworkPlace& operator=(const CWineNetworkPlace&) = delete;

    bool Valid() const { return m_valid; }

private:
    std::string m_link;
    std::wstring m_drive;
    bool m_valid = false;
};

// The target a shell link names, or an empty string.
std::wstring ShortcutTarget(const std::wstring& shortcut);
