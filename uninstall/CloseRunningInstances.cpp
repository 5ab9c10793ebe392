#include "CloseRunningInstances.h"

#include <shlwapi.h>
#include <tlhelp32.h>

#include "GrowableArray.h"
#include "HandleHolder.h"
#include "ProcessGlobals.h"
#include "TextFold.h"
#include "UninstallFolders.h"

namespace {

constexpr DWORD CloseTime = 3000;
constexpr DWORD TerminationTime = 1000;

// Owns the opened processes; one entry per matching module, so a process may be in it
// more than once, each time with a handle of its own.
class CProcessHandles {
public:
    CProcessHandles() = default;
    CProcessHandles(const CProcessHandles&) = delete;
    CProcessHandles& operator=(const CProcessHandles&) = delete;
    ~CProcessHandles()
    {
        for (int i = 0; i < m_handles.GetSize(); ++i) {
            CloseHandle(m_handles[i]);
        }
    }

    void Add(HANDLE process)
    {
        CHandleHolder holder(process);  // closed again when the array cannot grow
        m_handles.Add(process);
        holder.Detach();
    }
    int Count() const noexcept { return m_handles.GetSize(); }
    HANDLE* Data() noexcept { return m_handles.GetData(); }

private:
    CGrowableArray<HANDLE> m_handles;
};

BOOL CALLBACK CloseThreadWindow(HWND window, LPARAM)
{
    PostMessageW(window, WM_CLOSE, 0, 0);
    return TRUE;
}

void SignalProcessThreads(HANDLE snapshot, DWORD processId)
{
    THREADENTRY32 thread = {};
    thread.dwSize = sizeof(thread);  // 28
    for (BOOL more = Thread32First(snapshot, &thread); more; more = Thread32Next(snapshot, &thread)) {
        if (thread.th32OwnerProcessID == processId) {
            PostThreadMessageW(thread.th32ThreadID, WM_QUIT, 0, 0);
            EnumThreadWindows(thread.th32ThreadID, CloseThreadWindow, 0);
        }
    }
}

bool LiesDirectlyInInstallFolder(const wchar_t* modulePath)
{
    if (EqualsFolded(modulePath, ModulePath)) {
        return false;  // the caller's own executable, wherever it runs from
    }
    CWideString folder(modulePath);
    folder.RemoveLastComponent();
    folder.RemoveTrailingBackslash();
    return EqualsFolded(folder, InstallFolder);
}

void OpenAndSignalMatches(HANDLE system, DWORD processId, CProcessHandles& processes)
{
    const CHandleHolder modules = HoldValidHandle(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId));
    if (!modules) {
        return;
    }
    MODULEENTRY32W module = {};
    module.dwSize = sizeof(module);  // 1064
    for (BOOL more = Module32FirstW(modules.Get(), &module); more; more = Module32NextW(modules.Get(), &module)) {
        if (!LiesDirectlyInInstallFolder(module.szExePath)) {
            continue;
        }
        // A process that cannot be opened is still asked to close.
        if (HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId)) {
            processes.Add(process);
        }
        SignalProcessThreads(system, processId);
    }
}

DWORD TimeLeft(DWORD start, DWORD total)
{
    const DWORD spent = GetTickCount() - start;
    return spent < total ? total - spent : 0;
}

// Waits until every process has ended or `total` ms have passed, in groups that one wait
// can hold. True when all have ended. A group whose wait fails is waited for one by one.
bool WaitForAll(HANDLE* handles, int count, DWORD total)
{
    const DWORD start = GetTickCount();
    bool allEnded = true;
    for (int first = 0; first < count; first += MAXIMUM_WAIT_OBJECTS) {
        const int size = count - first < MAXIMUM_WAIT_OBJECTS ? count - first : MAXIMUM_WAIT_OBJECTS;
        const DWORD result = WaitForMultipleObjects(static_cast<DWORD>(size), handles + first, TRUE,
                                                    TimeLeft(start, total));
        if (result < WAIT_OBJECT_0 + static_cast<DWORD>(size)) {
            continue;
        }
        if (result == WAIT_TIMEOUT) {
            allEnded = false;
            continue;
        }
        for (int i = first; i < first + size; ++i) {
            if (WaitForSingleObject(handles[i], TimeLeft(start, total)) != WAIT_OBJECT_0) {
                allEnded = false;
            }
        }
    }
    return allEnded;
}

}  // namespace

void CloseRunningInstances()
{
    static_assert(sizeof(PROCESSENTRY32W) == 556 && sizeof(MODULEENTRY32W) == 1064 && sizeof(THREADENTRY32) == 28,
                  "ToolHelp record sizes");
    CProcessHandles processes;
    {
        const CHandleHolder system = HoldValidHandle(CreateToolhelp32Snapshot(TH32CS_SNAPALL, 0));
        if (system) {
            PROCESSENTRY32W process = {};
            process.dwSize = sizeof(process);  // 556
            for (BOOL more = Process32FirstW(system.Get(), &process); more;
                 more = Process32NextW(system.Get(), &process)) {
                OpenAndSignalMatches(system.Get(), process.th32ProcessID, processes);
            }
        }
    }
    if (processes.Count() == 0 || WaitForAll(processes.Data(), processes.Count(), CloseTime)) {
        return;
    }
    for (int i = 0; i < processes.Count(); ++i) {
        if (WaitForSingleObject(processes.Data()[i], 0) != WAIT_OBJECT_0) {
            TerminateProcess(processes.Data()[i], 0);
        }
    }
    WaitForAll(processes.Data(), processes.Count(), TerminationTime);
}
