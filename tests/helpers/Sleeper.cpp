// Test helper: a program that stays running until it is ended (or 120 s pass), so that
// tests can leave a process with a module in the installation folder. Its window appears
// once it is ready. Arguments:
//   ignore       ignores WM_QUIT and WM_CLOSE: only termination ends it (exit code 0)
//   ignore-quit  ignores WM_QUIT; WM_CLOSE ends it with exit code 9
//   load         first loads every *.dll in its own folder
// Otherwise WM_QUIT ends it with exit code 7 (WM_CLOSE too, when it comes first).
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

bool IgnoreQuit = false;
bool IgnoreClose = false;
bool Closed = false;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        if (!IgnoreClose) {
            Closed = true;
            PostQuitMessage(0);
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void LoadLibrariesBesideMe()
{
    wchar_t folder[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, folder, MAX_PATH);
    *wcsrchr(folder, L'\\') = 0;
    WIN32_FIND_DATAW found = {};
    HANDLE find = FindFirstFileW((std::wstring(folder) + L"\\*.dll").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        LoadLibraryW((std::wstring(folder) + L"\\" + found.cFileName).c_str());
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int)
{
    const bool ignoreBoth = wcsstr(commandLine, L"ignore") != nullptr && wcsstr(commandLine, L"ignore-quit") == nullptr;
    IgnoreQuit = wcsstr(commandLine, L"ignore") != nullptr;
    IgnoreClose = ignoreBoth;
    if (wcsstr(commandLine, L"load")) {
        LoadLibrariesBesideMe();
    }
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"RavelnestTestSleeper";
    RegisterClassW(&windowClass);
    CreateWindowW(windowClass.lpszClassName, L"sleeper", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, instance,
                  nullptr);
    SetTimer(nullptr, 0, 120000, nullptr);
    MSG message;
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            if (Closed) {
                return IgnoreQuit ? 9 : 7;
            }
            if (IgnoreQuit) {
                continue;
            }
            return 7;
        }
        if (got < 0 || message.message == WM_TIMER) {
            return 8;
        }
        DispatchMessageW(&message);
    }
}
