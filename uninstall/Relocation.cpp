#include "Relocation.h"

#include <shlwapi.h>

#include <cstring>
#include <cwchar>
#include <utility>

#include "DetachedProgram.h"
#include "FileContents.h"
#include "GrowableArray.h"
#include "HandleHolder.h"
#include "ProcessGlobals.h"
#include "TextFold.h"
#include "UninstallFolders.h"

// The copy path lies in a folder that unelevated programs of the user can write. A link, a
// second name of another file, or a link on the way there would make the elevated copy
// write into another file; so would a link that the file system does not report as one.

namespace {

constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Where an open file or folder really lies, links and junctions on the way followed, in
// DOS form with the letters A-Z folded; empty when the system cannot tell.
CWideString FinalPathOf(HANDLE handle)
{
    CWideString path;
    DWORD capacity = MAX_PATH;
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(handle, path.GetBuffer(static_cast<int>(capacity)),
                                                       capacity + 1, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) {
            path.ReleaseBufferSetLength(0);
            return path;
        }
        if (length <= capacity) {
            path.ReleaseBufferSetLength(static_cast<int>(length));
            break;
        }
        path.ReleaseBufferSetLength(0);
        capacity = length;  // the size needed, terminator included
    }
    FoldAsciiLetters(path.GetBuffer(path.Length()));
    path.ReleaseBuffer();
    return path;
}

// The final path the copy must have: the temporary folder's own final path (a profile
// legitimately redirected elsewhere resolves there too), a backslash and the copy's name.
CWideString ExpectedFinalCopyPath()
{
    const CHandleHolder folder = HoldValidHandle(CreateFileW(TemporaryFolder, FILE_READ_ATTRIBUTES, ShareAll,
                                                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                                             nullptr));
    const CWideString folderPath = folder ? FinalPathOf(folder.Get()) : CWideString();
    if (folderPath.Length() == 0) {
        return folderPath;
    }
    CWideString expected = folderPath + L"\\" + PathFindFileNameW(TemporaryCopyPath);
    FoldAsciiLetters(expected.GetBuffer(expected.Length()));
    expected.ReleaseBuffer();
    return expected;
}

// Neither a link nor a folder, the only name of its file, and lying where the copy belongs.
bool IsOwnPlainFile(HANDLE file, const CWideString& expectedPath)
{
    BY_HANDLE_FILE_INFORMATION information = {};
    return GetFileInformationByHandle(file, &information) &&
           (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
           information.nNumberOfLinks == 1 && wcscmp(FinalPathOf(file), expectedPath) == 0;
}

HANDLE OpenLink(const CWideString& path, DWORD access, DWORD share, DWORD disposition)
{
    return CreateFileW(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                       nullptr);
}

// Unlinks a link or a second name planted at the copy path, never following it, and clears
// read-only, hidden and system from an earlier copy, so that it can be written again.
// False when what lies there may not be written: a folder, or a file that the file system
// places elsewhere.
bool PrepareCopyPath(const CWideString& path, const CWideString& expectedPath)
{
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return true;  // nothing there; a dangling link is refused when the copy is created
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveDirectoryW(path);
        } else {
            DeleteFileW(path);
        }
        return true;  // what may be left is checked again when the copy is opened
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information = {};
    {
        const CHandleHolder file =
            HoldValidHandle(OpenLink(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, ShareAll, OPEN_EXISTING));
        if (!file || !GetFileInformationByHandle(file.Get(), &information)) {
            return true;  // the writing decides
        }
        if (information.nNumberOfLinks == 1) {
            if (!IsOwnPlainFile(file.Get(), expectedPath)) {
                return false;
            }
            FILE_BASIC_INFO basic = {};  // zero times stay as they are
            basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
            SetFileInformationByHandle(file.Get(), FileBasicInfo, &basic, sizeof(basic));
            return true;
        }
    }
    DeleteFileW(path);  // removes this name only; the other names keep their file
    return true;
}

// True when `file` is our own plain file at the copy path holding exactly `image`.
bool HoldsImage(const CHandleHolder& file, const CWideString& expectedPath, const CGrowableArray<char>& image)
{
    CGrowableArray<char> held;
    return file && IsOwnPlainFile(file.Get(), expectedPath) && ReadWholeFile(file.Get(), held) &&
           held.GetSize() == image.GetSize() &&
           memcmp(held.GetData(), image.GetData(), static_cast<size_t>(image.GetSize())) == 0;
}

// Returns the copy at `path` held for reading only, denying writes and deletion, so that
// nobody can change it before it has been started (which opens it for execution, and so
// cannot happen while a handle with write access is open). A copy that already holds the
// own executable's bytes, such as one that another uninstaller started and still runs, is
// used as it is; otherwise the own executable is written there first. Nothing is written
// before the open file is known to be our own plain file.
CHandleHolder WriteHeldCopy(const CWideString& path, const CWideString& expectedPath)
{
    CGrowableArray<char> image;
    {
        const CHandleHolder source = HoldValidHandle(
            CreateFileW(ModulePath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!source || !ReadWholeFile(source.Get(), image)) {
            return CHandleHolder();
        }
    }
    CHandleHolder held = HoldValidHandle(OpenLink(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    if (HoldsImage(held, expectedPath, image)) {
        return held;
    }
    held.Close();
    {
        CHandleHolder target =
            HoldValidHandle(OpenLink(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING));
        if (!target && GetLastError() == ERROR_FILE_NOT_FOUND) {
            // Never created through a link: a new file only where no name exists.
            target = HoldValidHandle(OpenLink(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW));
        }
        DWORD written = 0;
        if (!target || !IsOwnPlainFile(target.Get(), expectedPath) ||
            !WriteFile(target.Get(), image.GetData(), static_cast<DWORD>(image.GetSize()), &written, nullptr) ||
            written != static_cast<DWORD>(image.GetSize()) || !SetEndOfFile(target.Get())) {
            return CHandleHolder();
        }
    }
    held = HoldValidHandle(OpenLink(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    return HoldsImage(held, expectedPath, image) ? std::move(held) : CHandleHolder();
}

}  // namespace

bool IsTemporaryCopy()
{
    return EqualsFolded(ModulePath, TemporaryCopyPath);
}

bool StartTemporaryCopy()
{
    const CWideString expectedPath = ExpectedFinalCopyPath();
    if (expectedPath.Length() == 0 || !PrepareCopyPath(TemporaryCopyPath, expectedPath)) {
        return false;
    }
    const CHandleHolder copy = WriteHeldCopy(TemporaryCopyPath, expectedPath);
    if (!copy) {
        return false;
    }
    // The path has blanks: named as the application and quoted, so that no
    // "Temp\Ravelnest.exe" is tried first. The temporary folder as current folder keeps
    // the installation folder free for removal.
    return StartDetachedProgram(TemporaryCopyPath, L"\"" + TemporaryCopyPath + L"\"", TemporaryFolder);
}
