#include "Relocation.h"

#include "CopyHolds.h"
#include "DetachedProgram.h"
#include "FileContents.h"
#include "FinalPath.h"
#include "HandleHolder.h"
#include "HeldFileRetry.h"
#include "ProcessGlobals.h"
#include "TextFold.h"
#include "UninstallFolders.h"

// The copy path lies in a folder that unelevated programs of the user can write: the
// copy is held (CopyHolds.h) from before it is checked until the started process is seen to
// run the very file that was checked.

namespace {

bool ReadOwnImage(CFileBytes& image)
{
    const CHandleHolder source =
        HoldValidHandle(CreateFileW(ModulePath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    return source && ReadWholeFile(source.Get(), image);
}

// Starts the held copy, and lets it run only when the process runs that very file: a
// folder on the way re-pointed between the check and the start would run another program
// with this process's rights.
bool StartHeldCopy(HANDLE copy)
{
    CHandleHolder process;
    CHandleHolder thread;
    // The path has blanks: named as the application and quoted, so that no
    // "Temp\Ravelnest.exe" is tried first. The temporary folder as current folder keeps
    // the installation folder free for removal.
    const bool started = RetryWhileHeld([&] {
        return StartSuspendedProgram(TemporaryCopyPath, L"\"" + TemporaryCopyPath + L"\"", TemporaryFolder, process,
                                     thread);
    });
    if (!started) {
        return false;
    }
    if (!ProcessRunsImage(process.Get(), copy) || ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
        TerminateProcess(process.Get(), 1);
        return false;
    }
    return true;
}

}  // namespace

bool IsTemporaryCopy()
{
    return EqualsFolded(ModulePath, TemporaryCopyPath);
}

bool StartTemporaryCopy()
{
    CHandleHolder folder;
    if (!RetryWhileHeld([&] { return static_cast<bool>(folder = OpenTemporaryFolder()); })) {
        return false;
    }
    // Checked again through the handle that is held: the folder cannot move meanwhile.
    const CWideString expectedPath = ExpectedFinalCopyPath(folder.Get());
    CFileBytes image;
    if (!HandleLiesOnLocalFixedVolume(folder.Get()) || expectedPath.Length() == 0 || !ReadOwnImage(image)) {
        return false;
    }
    // A name whose file another uninstaller started at the same time is deleting refuses
    // to open (access denied) until that is done.
    CHandleHolder copy;
    return RetryWhileHeld([&] { return HoldCopy(expectedPath, image, copy); }, ERROR_ACCESS_DENIED) &&
           StartHeldCopy(copy.Get());
}
