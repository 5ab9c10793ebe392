#include "RemovalSteps.h"

#include "FindHandle.h"
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
    WIN32_FIND_DATAW found = {};
    const CFindHandle find(FindFirstFileW(CommonProgramsFolder + L"\\*", &found));
    if (!find.IsValid()) {
        return;
    }
    do {
        if (lstrcmpW(found.cFileName, L".") == 0 || lstrcmpW(found.cFileName, L"..") == 0) {
            continue;
        }
        const CWideString path = CommonProgramsFolder + L"\\" + found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && NamesTheSdk(path)) {
            DeleteFileW(path);
        }
    } while (FindNextFileW(find.Get(), &found));
}

void RemoveInstallationFolders()
{
    // Without "\*" the search finds the installation folder itself, which goes with its content.
    RemoveFolderContents(InstallFolder);
    RemoveDirectoryW(InstallFolder);
    RemoveDirectoryW(MakerFolder);  // only when empty: the converter's folder usually stays
}
