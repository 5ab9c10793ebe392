#include "DownloadPage.h"

#include <shlwapi.h>

#include "DesktopShell.h"
#include "FileContents.h"
#include "RegistryKey.h"

namespace {

const wchar_t* const InternetExplorerAppPath = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\iexplore.exe";

}  // namespace

CWideString InternetExplorerPath()
{
    CRegistryKey appPath;
    if (appPath.OpenForReading(HKEY_LOCAL_MACHINE, InternetExplorerAppPath) != ERROR_SUCCESS) {
        return CWideString();
    }
    CWideString stored;
    DWORD type = 0;
    DWORD bytes = 0;
    const LONG read = appPath.QueryStringValue(nullptr, stored.GetBuffer(MAX_PATH), MAX_PATH + 1, type, bytes);
    stored.ReleaseBuffer();
    if (read != ERROR_SUCCESS) {
        return CWideString();
    }
    CWideString path;
    const DWORD expanded = ExpandEnvironmentStringsW(stored, path.GetBuffer(MAX_PATH), MAX_PATH + 1);
    path.ReleaseBufferSetLength(expanded > 0 && expanded <= MAX_PATH + 1 ? static_cast<int>(expanded) - 1 : 0);
    PathUnquoteSpacesW(path.GetBuffer(path.Length()));
    path.ReleaseBuffer();
    // Only a full path to an existing file: anything else would be searched for again.
    if (path.Length() == 0 || PathIsRelativeW(path) || !FileExists(path)) {
        return CWideString();
    }
    return path;
}

void OpenDownloadPage(const wchar_t* url)
{
    CDesktopShell shell;
    if (!shell.CanStart()) {
        return;
    }
    const CWideString browser = InternetExplorerPath();
    if (browser.Length() > 0 && shell.Open(browser, CWideString(L"-new ") + url, nullptr, nullptr)) {
        return;
    }
    shell.Open(url, nullptr, nullptr, L"open");
}
