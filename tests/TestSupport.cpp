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
