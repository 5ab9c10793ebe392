#pragma once

// Walks of the ToolHelp snapshots: every process of the system, every module of a process.

#include <windows.h>
#include <tlhelp32.h>

#include "HandleHolder.h"

#ifndef _WIN64  // the sizes of the 32-bit records
static_assert(sizeof(PROCESSENTRY32W) == 556 && sizeof(MODULEENTRY32W) == 1064 && sizeof(THREADENTRY32) == 28,
              "ToolHelp record sizes");
#endif

// A snapshot of every process, thread and module of the system; empty when it fails.
inline CHandleHolder TakeSystemSnapshot()
{
    return HoldValidHandle(CreateToolhelp32Snapshot(TH32CS_SNAPALL, 0));
}

// A snapshot of the modules of `processId`; empty when it fails. A process that is loading
// or unloading a module at that moment makes the snapshot fail with ERROR_BAD_LENGTH, and
// a new try may succeed.
inline CHandleHolder TakeModuleSnapshot(DWORD processId)
{
    constexpr int Attempts = 5;
    for (int i = 1;; ++i) {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
        if (snapshot != INVALID_HANDLE_VALUE || GetLastError() != ERROR_BAD_LENGTH || i == Attempts) {
            return HoldValidHandle(snapshot);
        }
        Sleep(10);
    }
}

// Calls `visit(process)` with the entry of every process of `system`, in snapshot order.
template <typename Visit>
void ForEachProcess(HANDLE system, Visit visit)
{
    PROCESSENTRY32W process = {};
    process.dwSize = sizeof(process);
    for (BOOL more = Process32FirstW(system, &process); more; more = Process32NextW(system, &process)) {
        visit(static_cast<const PROCESSENTRY32W&>(process));
    }
}

// Calls `visit(modulePath)` for every module of `processId`, in snapshot order, while it
// returns true. A module snapshot only: one of everything per process would list the
// whole system again each time. Nothing is visited when the snapshot fails.
template <typename Visit>
void ForEachModule(DWORD processId, Visit visit)
{
    const CHandleHolder modules = TakeModuleSnapshot(processId);
    if (!modules) {
        return;
    }
    MODULEENTRY32W module = {};
    module.dwSize = sizeof(module);
    for (BOOL more = Module32FirstW(modules.Get(), &module); more; more = Module32NextW(modules.Get(), &module)) {
        if (!visit(static_cast<const wchar_t*>(module.szExePath))) {
            return;
        }
    }
}
