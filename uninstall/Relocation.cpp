#include "Relocation.h"

#include <cstring>

#include "GrowableArray.h"
#include "HandleHolder.h"
#include "ProcessGlobals.h"
#include "TextFold.h"
#include "UninstallFolders.h"

namespace {

// Neither a link nor a folder, and the only name of its file.
bool IsPlainFile(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION information = {};
    return GetFileInformationByHandle(file, &information) &&
           (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
           information.nNumberOfLinks == 1;
}

// The copy path lies in a folder that unelevated programs of the user can write: a link or
// a hard link planted there would make the elevated copy write into another file.
void RemovePlantedLink(const CWideString& path)
{
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveDirectoryW(path);
        } else {
            DeleteFileW(path);
        }
        return;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        return;  // a real folder: the copy cannot be written, nothing is written through it
    }
    bool shared = false;
    {
        const CHandleHolder file = HoldValidHandle(CreateFileW(path, FILE_READ_ATTRIBUTES,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
            FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        shared = file && !IsPlainFile(file.Get());
    }
    if (shared) {
        DeleteFileW(path);  // removes this name only; the other names keep their file
    }
}

bool ReadWhole(HANDLE file, CGrowableArray<char>& bytes)
{
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file, &size) || size.QuadPart > 64 * 1024 * 1024) {
        return false;
    }
    const int length = static_cast<int>(size.QuadPart);
    bytes.Resize(length + 1);  // one more, to see that the file ends where its size says
    DWORD read = 0;
    if (!ReadFile(file, bytes.GetData(), static_cast<DWORD>(length + 1), &read, nullptr) ||
        read != static_cast<DWORD>(length)) {
        return false;
    }
    bytes.Resize(length);
    return true;
}

HANDLE OpenLink(const CWideString& path, DWORD access, DWORD share, DWORD disposition)
{
    return CreateFileW(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                       nullptr);
}

// Writes the own executable to `path` and returns it held for reading only, denying
// writes and deletion, so that nobody can change it before it has been started (which
// opens it for execution, and so cannot happen while a handle with write access is open).
// Nothing is truncated before the file is known to be no link; what is held is checked
// to be a plain file with exactly the written bytes.
CHandleHolder WriteHeldCopy(const CWideString& path)
{
    CGrowableArray<char> image;
    {
        const CHandleHolder source = HoldValidHandle(
            CreateFileW(ModulePath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!source || !ReadWhole(source.Get(), image)) {
            return CHandleHolder();
        }
    }
    {
        const CHandleHolder target =
            HoldValidHandle(OpenLink(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS));
        DWORD written = 0;
        if (!target || !IsPlainFile(target.Get()) ||
            !WriteFile(target.Get(), image.GetData(), static_cast<DWORD>(image.GetSize()), &written, nullptr) ||
            written != static_cast<DWORD>(image.GetSize()) || !SetEndOfFile(target.Get())) {
            return CHandleHolder();  // a link planted since the check above keeps its file as it was
        }
    }
    CHandleHolder held = HoldValidHandle(OpenLink(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    CGrowableArray<char> copied;
    if (!held || !IsPlainFile(held.Get()) || !ReadWhole(held.Get(), copied) || copied.GetSize() != image.GetSize() ||
        memcmp(copied.GetData(), image.GetData(), static_cast<size_t>(image.GetSize())) != 0) {
        return CHandleHolder();
    }
    return held;
}

}  // namespace

bool IsTemporaryCopy()
{
    return EqualsFolded(ModulePath, TemporaryCopyPath);
}

void StartTemporaryCopy()
{
    RemovePlantedLink(TemporaryCopyPath);
    const CHandleHolder copy = WriteHeldCopy(TemporaryCopyPath);
    if (!copy) {
        return;
    }
    // The path has blanks: named as the application and quoted, so that no
    // "Temp\Ravelnest.exe" is tried first. The temporary folder as current folder keeps
    // the installation folder free for removal.
    CWideString commandLine = L"\"" + TemporaryCopyPath + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);  // 68
    PROCESS_INFORMATION started = {};
    if (CreateProcessW(TemporaryCopyPath, commandLine.GetBuffer(commandLine.Length()), nullptr, nullptr, FALSE, 0,
                       nullptr, TemporaryFolder, &startup, &started)) {
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
    }
}
