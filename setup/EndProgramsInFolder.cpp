#include "EndProgramsInFolder.h"

#include <tlhelp32.h>

#include <cwchar>

#include "GrowableArray.h"
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

// Most processes share the system's DLLs: each distinct module path is converted to its
// long form and compared once per walk, not once per process that loaded it.
class CModuleVerdicts {
public:
    explicit CModuleVerdicts(const CWideString& folderWithBackslash) : m_folderWithBackslash(folderWithBackslash) {}

    bool LiesBelow(const wchar_t* modulePath)
    {
        for (int i = 0; i < m_paths.GetSize(); ++i) {
            if (std::wcscmp(m_paths[i], modulePath) == 0) {
                return m_below[i] != 0;
            }
        }
        const bool below = ModuleLiesBelow(modulePath, m_folderWithBackslash);
        m_paths.Add(CWideString(modulePath));
        m_below.Add(below ? 1 : 0);
        return below;
    }

private:
    const CWideString& m_folderWithBackslash;
    CWideStringArray m_paths;
    CGrowableArray<int> m_below;
};

bool HasModuleBelow(DWORD processId, CModuleVerdicts& verdicts)
{
    // Modules only: a full snapshot per process would list every process and thread of the
    // machine again, for each process, and the walk reads nothing but the modules.
    const CHandleHolder modules = HoldValidHandle(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId));
    if (!modules) {
        return false;
    }
    MODULEENTRY32W module = {};
    module.dwSize = sizeof(module);  // 1064
    for (BOOL more = Module32FirstW(modules.Get(), &module); more; more = Module32NextW(modules.Get(), &module)) {
        if (verdicts.LiesBelow(module.szExePath)) {
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
    CModuleVerdicts verdicts(folderWithBackslash);
    const CHandleHolder processes = HoldValidHandle(CreateToolhelp32Snapshot(TH32CS_SNAPALL, 0));
    if (processes) {
        PROCESSENTRY32W process = {};
        process.dwSize = sizeof(process);  // 556
        for (BOOL more = Process32FirstW(processes.Get(), &process); more;
             more = Process32NextW(processes.Get(), &process)) {
            if (process.th32ProcessID == GetCurrentProcessId() ||
                !HasModuleBelow(process.th32ProcessID, verdicts)) {
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
