// Test helper: appends its command line (UTF-16, one line) to the file named by the
// environment variable RAVELNEST_RECORDER_LOG, then exits. Registered by tests as the
// browser or as the text-file handler to observe what setup starts.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    wchar_t log[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"RAVELNEST_RECORDER_LOG", log, MAX_PATH) == 0) {
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
