// Test helper: appends its command line (UTF-16, one line) to the file named by the tests'
// registry value HKCU\Software\RavelnestTests\RecorderLog (not by an environment variable:
// a program that the desktop's shell starts has the shell's environment), then exits.
// Registered by tests as the browser or as the text-file handler to observe what setup
// starts.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    wchar_t log[MAX_PATH] = {};
    DWORD size = sizeof(log);
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\RavelnestTests", L"RecorderLog", RRF_RT_REG_SZ, nullptr, log,
                     &size) != ERROR_SUCCESS) {
        return 2;
    }
    HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 3;
    }
    const wchar_t* line = GetCommandLineW();
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(lstrlenW(line) * sizeof(wchar_t)), &written, nullptr);
    WriteFile(file, L"\n", sizeof(wchar_t), &written, nullptr);
    CloseHandle(file);
    return 0;
}
