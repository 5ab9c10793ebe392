#include "CloseRunningInstances.h"

#include <shlwapi.h>

#include "GrowableArray.h"
#include "HandleHolder.h"
#include "ProcessGlobals.h"
#include "ProcessWalk.h"
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
    thread.dwSize = sizeof(thread);
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

// Once for each of the process's modules that lies in the folder: the walk goes on after
// a match.
void OpenAndSignalMatches(HANDLE system, DWORD processId, CProcessHandles& processes)
{
    ForEachModule(processId, [&](const wchar_t* modulePath) {
        if (LiesDirectlyInInstallFolder(modulePath)) {
            // A process that cannot be opened is still asked to close.
            if (HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId)) {
                processes.Add(process);
            }
            SignalProcessThreads(system, processId);
        }
        return true;
    });
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
    CProcessHandles processes;
    {
        const CHandleHolder system = TakeSystemSnapshot();
        if (system) {
            ForEachProcess(system.Get(), [&](const PROCESSENTRY32W& process) {
                OpenAndSignalMatches(system.Get(), process.th32ProcessID, processes);
            });
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
