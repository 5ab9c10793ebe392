#include "OldInstallations.h"

#include "SubkeyRemoval.h"
#include "FindHandle.h"
#include "InstallationPaths.h"
#include "ProductConstants.h"
#include "TextFold.h"

namespace {

bool HasUninstallEntryPrefix(const wchar_t* name)
{
    static const CWideString prefix = MakerName + L" " + ProductName + L" ";
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
    WIN32_FIND_DATAW found = {};
    const CFindHandle find(FindFirstFileW(pattern, &found));
    if (!find.IsValid()) {
        return;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            CWideString path = folder;
            path.AppendComponent(found.cFileName);
            DeleteFileW(path);
        }
    } while (FindNextFileW(find.Get(), &found));
}

void RemoveOldUninstallEntries()
{
    RemoveSubkeysWhere(UninstallKeyPath, HasUninstallEntryPrefix);
}
