#include "CopyHolds.h"

#include <shlwapi.h>

#include <utility>

#include "FileSecurity.h"
#include "FinalPath.h"
#include "GrowableArray.h"
#include "HeldFileRetry.h"
#include "ProcessWalk.h"
#include "TextFold.h"
#include "UninstallFolders.h"

// The copy path lies in a folder that unelevated programs of the user can write, below
// folders they can write too. Whatever lies at the copy path is opened on its own name and
// checked through that handle before anything is written or deleted; the copy is made anew,
// writable by administrators only, unless it is already such a copy of the own bytes; and
// the started process must run the very file that was checked before any of it runs.

namespace {

constexpr DWORD ProtectedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// What lies at the copy path is not ours to write or delete; never retried.
bool Refuse()
{
    SetLastError(ERROR_ALREADY_EXISTS);
    return false;
}



bool LiesAt(HANDLE handle, const CWideString& expectedPath)
{
    return EqualsFolded(FinalPathOf(handle), expectedPath);
}

bool HoldsImage(HANDLE file, const CFileBytes& image)
{
    CFileBytes held;
    return ReadWholeFile(file, held) && SameBytes(held, image);
}

// A second handle to the same file, never reopened by its path: the held one's access
// first allows the new one's sharing, then the old handle goes.
bool ReopenForReading(CHandleHolder& file, DWORD sharingWhileBothOpen)
{
    CHandleHolder reading = HoldValidHandle(ReOpenFile(file.Get(), GENERIC_READ, sharingWhileBothOpen, 0));
    if (!reading) {
        return false;
    }
    file.Close();
    // Now the only handle: a last one that denies writing and deletion.
    CHandleHolder held = HoldValidHandle(ReOpenFile(reading.Get(), GENERIC_READ, FILE_SHARE_READ, 0));
    if (!held) {
        return false;
    }
    file = std::move(held);
    return true;
}

// Waits, for as long as a copy's removal may take, until no process runs the open `file`;
// false when one still does.
bool WaitUntilNothingRuns(HANDLE file)
{
    CGrowableArray<HANDLE> running;
    const CHandleHolder processes = TakeSystemSnapshot();
    if (processes) {
        ForEachProcess(processes.Get(), [&](const PROCESSENTRY32W& entry) {
            HANDLE process =
                OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
            if (process && ProcessRunsImage(process, file) && running.GetSize() < MAXIMUM_WAIT_OBJECTS) {
                running.Add(process);
            } else if (process) {
                CloseHandle(process);
            }
        });
    }
    constexpr DWORD LongestRemovalMilliseconds = 15000;
    const bool ended = running.GetSize() == 0 ||
                       WaitForMultipleObjects(static_cast<DWORD>(running.GetSize()), running.GetData(), TRUE,
                                              LongestRemovalMilliseconds) != WAIT_TIMEOUT;
    for (int i = 0; i < running.GetSize(); ++i) {
        CloseHandle(running[i]);
    }
    return ended;
}

bool DeleteOnClose(HANDLE file)
{
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

// The name itself, a link never followed, denying writes and deletion to others.
HANDLE OpenCopyName(DWORD access)
{
    return CreateFileW(TemporaryCopyPath, access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// An earlier copy, the copy of an uninstaller that still runs, a planted file or link:
// opened on the name itself, a link never followed. Used as it is (held in `copy`) when it
// is a plain file that holds the own bytes and that only administrators can have written;
// anything else at the copy path is deleted through that handle. False with
// ERROR_FILE_NOT_FOUND when nothing is there.
bool TakeOverCopyPath(const CWideString& expectedPath, const CFileBytes& image, CHandleHolder& copy)
{
    constexpr DWORD Access = GENERIC_READ | DELETE | READ_CONTROL;
    // Wine lets only root write the attributes of a read-only file through a handle, but
    // changes them through one opened without that right, as Windows does not.
    CHandleHolder existing = HoldValidHandle(OpenCopyName(Access | FILE_WRITE_ATTRIBUTES));
    if (!existing && GetLastError() == ERROR_ACCESS_DENIED) {
        existing = HoldValidHandle(OpenCopyName(Access));
    }
    if (!existing) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!GetFileInformationByHandle(existing.Get(), &information) || !LiesAt(existing.Get(), expectedPath)) {
        return Refuse();  // a link the file system follows regardless, or a name it places elsewhere
    }
    const DWORD attributes = information.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return Refuse();  // a folder of the user's
    }
    const bool plainFile = (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
    // Only the copy path's own file: a second name of another file would clear that file's.
    if (plainFile && information.nNumberOfLinks == 1 && (attributes & ProtectedAttributes) != 0) {
        FILE_BASIC_INFO basic = {};  // zero times stay as they are
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        SetFileInformationByHandle(existing.Get(), FileBasicInfo, &basic, sizeof(basic));
    }
    if (plainFile && information.nNumberOfLinks == 1 && IsWritableByAdministratorsOnly(existing.Get()) &&
        HoldsImage(existing.Get(), image)) {
        copy = std::move(existing);
        return ReopenForReading(copy, FILE_SHARE_READ | FILE_SHARE_DELETE);
    }
    // Removes this name only: a second name of another file keeps its file, a link its target.
    // A file that a program runs cannot go until it has ended: the copy of another
    // uninstaller started at the same time, where the system cannot show who made it.
    if (!DeleteOnClose(existing.Get()) &&
        (GetLastError() != ERROR_ACCESS_DENIED || !WaitUntilNothingRuns(existing.Get()) ||
         !DeleteOnClose(existing.Get()))) {
        return Refuse();
    }
    SetLastError(ERROR_FILE_NOT_FOUND);  // gone once the handle closes
    return false;
}

// A new copy where no name exists (never created through a link), readable by the user and
// writable by administrators only; held as TakeOverCopyPath holds it.
bool CreateCopy(const CWideString& expectedPath, const CFileBytes& image, CHandleHolder& copy)
{
    CAdministratorsOnlySecurity security;
    if (!security.Attributes()) {
        return Refuse();
    }
    CHandleHolder written = HoldValidHandle(CreateFileW(TemporaryCopyPath, GENERIC_READ | GENERIC_WRITE | DELETE,
                                                        FILE_SHARE_READ, security.Attributes(), CREATE_NEW,
                                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!written) {
        return false;
    }
    if (!LiesAt(written.Get(), expectedPath)) {
        DeleteOnClose(written.Get());  // made where a link on the way led: left to nobody
        return Refuse();
    }
    if (!WriteWholeFile(written.Get(), image)) {
        return false;
    }
    copy = std::move(written);
    return ReopenForReading(copy, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE) && HoldsImage(copy.Get(), image);
}

}  // namespace

CHandleHolder OpenTemporaryFolder()
{
    // With attribute access alone, the system would not apply the share mode to this handle.
    return HoldValidHandle(CreateFileW(TemporaryFolder, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// A profile legitimately redirected elsewhere resolves there too.
CWideString ExpectedFinalCopyPath(HANDLE folder)
{
    const CWideString folderPath = FinalPathOf(folder);
    if (folderPath.Length() == 0) {
        return folderPath;
    }
    return folderPath + L"\\" + PathFindFileNameW(TemporaryCopyPath);
}

bool HoldCopy(const CWideString& expectedPath, const CFileBytes& image, CHandleHolder& copy)
{
    // A name that another uninstaller creates between the two steps is taken over anew.
    for (int round = 0; round < 3; ++round) {
        if (TakeOverCopyPath(expectedPath, image, copy)) {
            return true;
        }
        if (GetLastError() != ERROR_FILE_NOT_FOUND) {
            return false;
        }
        if (CreateCopy(expectedPath, image, copy)) {
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            return false;
        }
    }
    return false;
}
