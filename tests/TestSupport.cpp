#include "TestSupport.h"

#include <shlwapi.h>

std::wstring BinFolder()
{
    wchar_t path[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, path, static_cast<DWORD>(sizeof(path) / sizeof(path[0])));
    PathRemoveFileSpecW(path);
    return path;
}

std::wstring BinPath(const wchar_t* name)
{
    return BinFolder() + L"\\" + name;
}

std::wstring Quoted(const std::wstring& path)
{
    return L"\"" + path + L"\"";
}

HANDLE StartProgram(const std::wstring& commandLine)
{
    std::wstring writable = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &writable[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

DWORD FinishProgram(HANDLE process, DWORD timeoutMilliseconds)
{
    if (!process) {
        return 0xFFFFFFFF;
    }
    DWORD exitCode = STILL_ACTIVE;
    if (WaitForSingleObject(process, timeoutMilliseconds) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process, &exitCode);
    } else {
        TerminateProcess(process, 99);
        WaitForSingleObject(process, 5000);
    }
    CloseHandle(process);
    return exitCode;
}

DWORD RunProgram(const std::wstring& commandLine, DWORD timeoutMilliseconds)
{
    return FinishProgram(StartProgram(commandLine), timeoutMilliseconds);
}

void DeleteTestKey(HKEY root, const wchar_t* path)
{
    SHDeleteKeyW(root, path);
}

bool KeyExists(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

const wchar_t* const SetupCaption = L"Reelshifter SDK 1.3.0 \x30BB\x30C3\x30C8\x30A2\x30C3\x30D7";

StartedProgram StartProgramWithId(const std::wstring& commandLine, const wchar_t* currentFolder)
{
    std::wstring writable = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    StartedProgram started;
    if (CreateProcessW(nullptr, &writable[0], nullptr, nullptr, FALSE, 0, nullptr, currentFolder, &startup,
                       &process)) {
        CloseHandle(process.hThread);
        started.process = process.hProcess;
        started.id = process.dwProcessId;
    }
    return started;
}

namespace {

struct WindowSearch {
    DWORD processId;
    const wchar_t* className;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId) {
        return TRUE;
    }
    wchar_t text[512] = {};
    if (search->className) {
        GetClassNameW(window, text, 512);
        if (wcscmp(text, search->className) != 0) {
            return TRUE;
        }
    }
    if (search->caption) {
        GetWindowTextW(window, text, 512);
        if (wcscmp(text, search->caption) != 0) {
            return TRUE;
        }
    }
    search->found = window;
    return FALSE;
}

HWND FindProcessWindow(DWORD processId, const wchar_t* className, const wchar_t* caption)
{
    WindowSearch search = {processId, className, caption, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

bool IsRunning(HANDLE process)
{
    return WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
}

HWND WaitForWindow(DWORD processId, const wchar_t* className, const wchar_t* caption, DWORD timeoutMilliseconds)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMilliseconds;
    do {
        if (HWND window = FindProcessWindow(processId, className, caption)) {
            return window;
        }
        Sleep(50);
    } while (GetTickCount64() < deadline);
    return nullptr;
}

DWORD WaitForExitOrWindow(const StartedProgram& program, const wchar_t* className, const wchar_t* caption,
                          HWND& window, DWORD timeoutMilliseconds)
{
    window = nullptr;
    const ULONGLONG deadline = GetTickCount64() + timeoutMilliseconds;
    do {
        if (WaitForSingleObject(program.process, 50) == WAIT_OBJECT_0) {
            DWORD exitCode = 0;
            GetExitCodeProcess(program.process, &exitCode);
            return exitCode;
        }
        window = FindProcessWindow(program.id, className, caption);
    } while (!window && GetTickCount64() < deadline);
    return STILL_ACTIVE;
}

std::wstring WindowText(HWND window)
{
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

DWORD RunSetupAndQuit(const std::wstring& setupPath, const std::wstring& arguments)
{
    const StartedProgram setup = StartProgramWithId(Quoted(setupPath) + L" " + arguments);
    if (!setup.process) {
        return 0xFFFFFFFF;
    }
    HWND dialog = nullptr;
    const DWORD early = WaitForExitOrWindow(setup, L"#32770", SetupCaption, dialog);
    if (early != STILL_ACTIVE || !dialog) {
        return FinishProgram(setup.process);
    }
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
    return FinishProgram(setup.process);
}
