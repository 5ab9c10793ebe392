#include "Readme.h"

#include <shellapi.h>

#include "SystemFolder.h"

void OpenReadme(const CWideString& readmePath)
{
    const CWideString viewerFolder = SystemFolder();
    const HINSTANCE opened =
        ShellExecuteW(nullptr, L"open", readmePath, nullptr, viewerFolder, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(opened) > 32 || viewerFolder.Length() == 0) {
        return;
    }
    CWideString commandLine = L"notepad.exe \"" + readmePath + L"\"";
    // Named by its full path: a search for "notepad.exe" would look in setup's own folder
    // first, where anything may lie beside a downloaded setup.exe.
    CWideString notepad = viewerFolder;
    notepad.AppendComponent(L"notepad.exe");
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);  // 68
    PROCESS_INFORMATION process = {};
    if (CreateProcessW(notepad, commandLine.GetBuffer(commandLine.Length()), nullptr, nullptr, FALSE, 0, nullptr,
                       viewerFolder, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}
