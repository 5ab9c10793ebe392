// Test helper: a program that stays running until it is ended (or 120 s pass), so that
// tests can leave a process with a module in the installation folder. With "ignore" it
// ignores WM_QUIT and WM_CLOSE; otherwise it ends on either.
#include <windows.h>

#include <cwchar>

namespace {

bool IgnoreRequests = false;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        if (!IgnoreRequests) {
            PostQuitMessage(0);
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int)
{
    IgnoreRequests = wcsstr(commandLine, L"ignore") != nullptr;
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
            if (IgnoreRequests) {
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
