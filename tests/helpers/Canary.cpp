// Test helper: a DLL (or, built with CANARY_PROGRAM, a program) that tests plant where a
// careless loader or an unquoted path would pick it up. Once loaded or started, it writes
// C:\ravelnest-tests\canaries\<its own file name>.txt holding the image that loaded it.
#include <windows.h>

namespace {

void WriteCanary(HMODULE self)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(self, path, MAX_PATH);
    const wchar_t* name = path;
    for (const wchar_t* c = path; *c; ++c) {
        if (*c == L'\\') {
            name = c + 1;
        }
    }
    CreateDirectoryW(L"C:\\ravelnest-tests", nullptr);
    CreateDirectoryW(L"C:\\ravelnest-tests\\canaries", nullptr);
    wchar_t canary[MAX_PATH * 2] = L"C:\\ravelnest-tests\\canaries\\";
    lstrcatW(canary, name);
    lstrcatW(canary, L".txt");
    wchar_t loader[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, loader, MAX_PATH);
    HANDLE file = CreateFileW(canary, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, loader, static_cast<DWORD>(lstrlenW(loader) * sizeof(wchar_t)), &written, nullptr);
        WriteFile(file, L"\n", sizeof(wchar_t), &written, nullptr);
        CloseHandle(file);
    }
}

}  // namespace

#if defined(CANARY_PROGRAM)
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    WriteCanary(nullptr);
    return 0;
}
#else
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        WriteCanary(instance);
    }
    return TRUE;
}
#endif
