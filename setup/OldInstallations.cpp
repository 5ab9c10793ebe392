#include "OldInstallations.h"

#include "SubkeyRemoval.h"
#include "FolderWalk.h"
#include "InstallationPaths.h"
#include "ProductConstants.h"
#include "TextFold.h"

namespace {

bool HasUninstallEntryPrefix(const wchar_t* name)
{
    static const CWideString prefix = MakerAndProduct() + L" ";
    return CompareFoldedPrefix(name, prefix, static_cast<size_t>(prefix.Length())) == 0;
}

}  // namespace

void RemoveOldShortcuts()
{
    const CWideString folder = FormCommonProgramsFolder();
    if (folder.Length() == 0) {
        return;  // without a folder the search would run in the current folder
    }
    CWideString pattern = folder;
    pattern.AppendComponent(L"Reelshifter SDK*.lnk");
    ForEachFolderEntry(pattern, [&folder](const WIN32_FIND_DATAW& found) {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            CWideString path = folder;
            path.AppendComponent(found.cFileName);
            DeleteFileW(path);
        }
    });
}

void RemoveOldUninstallEntries()
{
    RemoveSubkeysWhere(UninstallKeyPath, HasUninstallEntryPrefix);
}
