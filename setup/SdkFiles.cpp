#include "SdkFiles.h"

namespace {

// Windows refuses to copy over a read-only or hidden file; an earlier installation's file
// with such attributes would stay as it was while setup reports success.
// CopyFileW also copies the download's mark (the Zone.Identifier stream of a file unpacked
// from a downloaded zip): the help viewer would refuse the installed help file, and the
// installed uninstaller would carry the Internet's mark. Only the stream goes.
void CopyOver(const CWideString& source, const CWideString& target)
{
    if (GetFileAttributesW(target) != INVALID_FILE_ATTRIBUTES) {
        SetFileAttributesW(target, FILE_ATTRIBUTE_NORMAL);
    }
    CopyFileW(source, target, FALSE);
    DeleteFileW(target + L":Zone.Identifier");
}

}  // namespace

void CopySdkFiles(const InstallationPaths& paths)
{
    CreateDirectoryW(paths.makerFolder, nullptr);
    CreateDirectoryW(paths.installFolder, nullptr);
    CopyOver(paths.sourceHelp, paths.targetHelp);
    CopyOver(paths.sourceUninstaller, paths.targetUninstaller);
    CopyOver(paths.sourceReadme, paths.targetReadme);
}
