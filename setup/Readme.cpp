#include "Readme.h"

#include <shellapi.h>

#include "DetachedProgram.h"
#include "SystemFolder.h"

void OpenReadme(const CWideString& readmePath)
{
    const CWideString viewerFolder = SystemFolder();
    const HINSTANCE opened =
        ShellExecuteW(nullptr, L"open", readmePath, nullptr, viewerFolder, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(opened) > 32 || viewerFolder.Length() == 0) {
        return;
    }
    // Named by its full path: a search for "notepad.exe" would look in setup's own folder
    // first, where anything may lie beside a downloaded setup.exe.
    CWideString notepad = viewerFolder;
    notepad.AppendComponent(L"notepad.exe");
    StartDetachedProgram(notepad, L"notepad.exe \"" + readmePath + L"\"", viewerFolder);
}
