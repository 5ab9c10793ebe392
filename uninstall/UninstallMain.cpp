#include <windows.h>

#include "CloseRunningInstances.h"
#include "ConverterServerRemoval.h"
#include "Relocation.h"
#include "RemovalSteps.h"
#include "SubkeyRemoval.h"
#include "UninstallFolders.h"

// No window, no question, no message: the exit code is the only result. 1 when a shell
// folder cannot be obtained (then nothing has been created, copied or removed), or when the
// first instance cannot write or start its temporary copy (then nothing is removed).
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    if (!FormUninstallFolders()) {
        return 1;
    }
    CreateDirectoryW(TemporaryFolder, nullptr);
    // Every run schedules the copy's deletion, the first instance before the copy exists.
    MoveFileExW(TemporaryCopyPath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    if (!IsTemporaryCopy()) {
        return StartTemporaryCopy() ? 0 : 1;
    }
    CloseRunningInstances();
    RemoveArpCacheEntries();
    RemoveUninstallEntries();
    RemoveConverterServerRegistration();
    RemoveStartMenuShortcuts();
    RemoveInstallationFolders();
    return 0;
}
