#include "EndProgramsInFolder.h"

#include <tlhelp32.h>

#include "HandleHolder.h"
#include "TextFold.h"

namespace {

bool ModuleLiesBelow(const wchar_t* modulePath, const CWideString& folderWithBackslash)
{
    CWideString path(modulePath);
    wchar_t* buffer = path.GetBuffer(32767);
    const DWORD length = GetLongPathNameW(buffer, buffer, 32767);
    if (length == 0 || length >= 32767) {
        return false;
    }
    path.ReleaseBufferSetLength(static_cast<int>(length));
    return CompareFoldedPrefix(path, folderWithBackslash, static_cast<size_t>(folderWithBackslash.Length())) == 0;
}

bool HasModuleBelow(DWORD processId, const CWideString& folderWithBackslash)
{
    const CHandleHolder modules = HoldValidHandle(CreateToolhelp32Snapshot(TH32CS_SNAPALL, processId));
    if (!modules) {
        return false;
    }
    MODULEENTRY32W module = {};
    module.dwSize = sizeof(module);  // 1064
    for (BOOL more = Module32FirstW(modules.Get(), &module); more; more = Module32NextW(modules.Get(), &module)) {
        if (ModuleLiesBelow(module.szExePath, folderWithBackslash)) {
            return true;
        }
    }
    return false;
}

}  // namespace

void EndProgramsRunningFromFolder(const CWideString& installFolder)
{
    static_assert(sizeof(PROCESSENTRY32W) == 556 && sizeof(MODULEENTRY32W) == 1064, "ToolHelp record sizes");
    const CWideString folderWithBackslash = installFolder + L"\\";
    const CHandleHolder processes = HoldValidHandle(CreateToolhelp32Snapshot(TH32CS_SNAPALL, 0));
    if (processes) {
        PROCESSENTRY32W process = {};
        process.dwSize = sizeof(process);  // 556
        for (BOOL more = Process32FirstW(processes.Get(), &process); more;
             more = Process32NextW(processes.Get(), &process)) {
            if (process.th32ProcessID == GetCurrentProcessId() ||
                !HasModuleBelow(process.th32ProcessID, folderWithBackslash)) {
                continue;
            }
            CHandleHolder running(OpenProcess(PROCESS_TERMINATE, FALSE, process.th32ProcessID));
            if (running) {
                TerminateProcess(running.Get(), 0);
            }
        }
    }
    Sleep(1000);
}
