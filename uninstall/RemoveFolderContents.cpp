#include "RemoveFolderContents.h"

#include <shlobj.h>
#include <shlwapi.h>

#include "FolderWalk.h"
#include "HandleHolder.h"
#include "ShellFolders.h"
#include "TextFold.h"

namespace {

// Every special folder the shell knows on this machine, without trailing backslashes.
CWideStringArray SpecialFolders()
{
    CWideStringArray folders;
    for (int csidl = 0; csidl <= 255; ++csidl) {
        CWideString folder;
        if (GetShellFolder(csidl, folder) == S_OK) {
            folder.RemoveTrailingBackslash();
            folders.Add(folder);
        }
    }
    return folders;
}

// `guard` is the target's parent folder with a trailing backslash, `folder` the same
// without it.
bool IsRefused(const CWideString& guard, const CWideString& folder, const CWideStringArray& specialFolders)
{
    if (PathIsRootW(guard) || PathIsRelativeW(guard)) {
        return true;
    }
    for (int i = 0; i < specialFolders.GetSize(); ++i) {
        if (EqualsFolded(folder, specialFolders[i])) {
            return true;
        }
    }
    return false;
}

// Names of 255 characters and deep folders inside the installation folder give paths past
// MAX_PATH, where the plain form of the file calls stops; the extended form has no such
// limit. Shorter paths keep the plain form.
CWideString ExtendedLengthPath(const CWideString& path)
{
    const wchar_t* text = path;
    if (path.Length() < MAX_PATH - 12) {
        return path;
    }
    if (text[0] == L'\\' && text[1] == L'\\') {
        return text[2] == L'?' ? path : CWideString(L"\\\\?\\UNC\\") + (text + 2);
    }
    return text[1] == L':' ? L"\\\\?\\" + path : path;
}

// Clears read-only, hidden and system on the link itself; the attributes of whatever it
// points at stay as they are.
void ClearLinkAttributes(const CWideString& link)
{
    const CHandleHolder file = HoldValidHandle(
        CreateFileW(ExtendedLengthPath(link), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) {
        return;
    }
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(file.Get(), FileBasicInfo, &basic, sizeof(basic));
}

void RemoveEntry(const CWideString& path, DWORD attributes, const CWideStringArray& specialFolders);

void RemoveBelow(const CWideString& target, const CWideStringArray& specialFolders)
{
    CWideString guard = target;
    guard.RemoveTrailingBackslash();
    guard.RemoveLastComponent();
    guard.AddTrailingBackslash();
    CWideString folder = guard;
    folder.RemoveTrailingBackslash();
    if (IsRefused(guard, folder, specialFolders)) {
        return;
    }
    CWideString pattern = target;
    pattern.RemoveTrailingBackslash();
    ForEachFolderEntry(ExtendedLengthPath(pattern), [&](const WIN32_FIND_DATAW& found) {
        RemoveEntry(folder + L"\\" + found.cFileName, found.dwFileAttributes, specialFolders);
    });
}

void RemoveEntry(const CWideString& path, DWORD attributes, const CWideStringArray& specialFolders)
{
    const CWideString extended = ExtendedLengthPath(path);
    const bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // A junction, symbolic link or mount point: only the link goes, never its target.
        ClearLinkAttributes(path);
        if (directory) {
            RemoveDirectoryW(extended);
        } else {
            DeleteFileW(extended);
        }
        return;
    }
    SetFileAttributesW(extended, FILE_ATTRIBUTE_NORMAL);
    if (directory) {
        RemoveBelow(path + L"\\*", specialFolders);
        RemoveDirectoryW(extended);
    } else {
        DeleteFileW(extended);
    }
}

}  // namespace

void RemoveFolderContents(const CWideString& target)
{
    // The refusal needs the same 256 shell answers at every level: ask once.
    RemoveBelow(target, SpecialFolders());
}
