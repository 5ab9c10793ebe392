#include "Readme.h"

#include <shellapi.h>

void OpenReadme(const CWideString& installFolder, const CWideString& readmePath)
{
    const HINSTANCE opened = ShellExecuteW(nullptr, L"open", readmePath, nullptr, installFolder, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(opened) > 32) {
        return;
    }
    CWideString commandLine = L"notepad.exe \"" + readmePath + L"\"";
    // Named by its full path: a search for "notepad.exe" would look in setup's own folder
    // first, where anything may lie beside a downloaded setup.exe.
    CWideString notepad;
    const UINT length = GetSystemDirectoryW(notepad.GetBuffer(MAX_PATH), MAX_PATH);
    notepad.ReleaseBufferSetLength(length <= MAX_PATH ? static_cast<int>(length) : 0);
    notepad.AppendComponent(L"notepad.exe");
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);  // 68
    PROCESS_INFORMATION process = {};
    if (CreateProcessW(notepad, commandLine.GetBuffer(commandLine.Length()), nullptr, nullptr, FALSE, 0, nullptr,
                       nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}
