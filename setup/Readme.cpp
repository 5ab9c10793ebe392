#include "Readme.h"

#include <shellapi.h>

void OpenReadme(const CWideString& installFolder, const CWideString& readmePath)
{
    const HINSTANCE opened = ShellExecuteW(nullptr, L"open", readmePath, nullptr, installFolder, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(opened) > 32) {
        return;
    }
    CWideString commandLine = L"notepad.exe \"" + readmePath + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);  // 68
    PROCESS_INFORMATION process = {};
    if (CreateProcessW(nullptr, commandLine.GetBuffer(commandLine.Length()), nullptr, nullptr, FALSE, 0, nullptr,
                       nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}
