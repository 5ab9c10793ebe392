#include "RemovalSteps.h"

#include "FolderWalk.h"
#include "Pattern.h"
#include "RemoveFolderContents.h"
#include "SubkeyRemoval.h"
#include "UninstallFolders.h"

namespace {

bool NamesTheSdk(const wchar_t* text)
{
    return MatchPattern(true, text, L"Reelshifter") && MatchPattern(true, text, L"SDK");
}

}  // namespace

void RemoveUninstallEntries()
{
    RemoveSubkeysWhere(UninstallKeyPath, NamesTheSdk);
}

void RemoveStartMenuShortcuts()
{
    ForEachFolderEntry(CommonProgramsFolder + L"\\*", [](const WIN32_FIND_DATAW& found) {
        const CWideString path = CommonProgramsFolder + L"\\" + found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && NamesTheSdk(path)) {
            DeleteFileW(path);
        }
    });
}

void RemoveInstallationFolders()
{
    // Without "\*" the search finds the installation folder itself, which goes with its content.
    RemoveFolderContents(InstallFolder);
    RemoveDirectoryW(InstallFolder);
    RemoveDirectoryW(MakerFolder);  // only when empty: the converter's folder usually stays
}
