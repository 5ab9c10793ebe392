#include "DownloadPage.h"

#include <shellapi.h>
#include <shlwapi.h>

#include "FileContents.h"
#include "RegistryKey.h"

namespace {

const wchar_t* const InternetExplorerAppPath = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\iexplore.exe";

}  // namespace

CWideString InternetExplorerPath()
{
    CRegistryKey appPath;
    if (appPath.Open(HKEY_LOCAL_MACHINE, InternetExplorerAppPath) != ERROR_SUCCESS) {
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
    const CWideString browser = InternetExplorerPath();
    if (browser.Length() > 0) {
        const CWideString parameters = CWideString(L"-new ") + url;
        const HINSTANCE started = ShellExecuteW(nullptr, nullptr, browser, parameters, nullptr, SW_SHOWNORMAL);
        if (reinterpret_cast<INT_PTR>(started) > 32) {
            return;
        }
    }
    ShellExecuteW(nullptr, L"open", url, nullptr, nullptr, SW_SHOWNORMAL);
}
