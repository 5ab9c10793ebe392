#include "ProcessHardening.h"

#include <windows.h>

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif
#ifndef BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE
#define BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE 0x00000001
#endif
#ifndef BASE_SEARCH_PATH_PERMANENT
#define BASE_SEARCH_PATH_PERMANENT 0x00008000
#endif
#ifndef PROCESS_DEP_ENABLE
#define PROCESS_DEP_ENABLE 0x00000001
#endif

namespace {

template <typename Function>
Function Lookup(HMODULE module, const char* name)
{
    // Looked up by name so that start-up does not fail where the function is missing.
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

void HardenProcess()
{
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (!kernel) {
        return;
    }
    if (auto setDefaultDllDirectories = Lookup<BOOL(WINAPI*)(DWORD)>(kernel, "SetDefaultDllDirectories")) {
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    if (auto setSearchPathMode = Lookup<BOOL(WINAPI*)(DWORD)>(kernel, "SetSearchPathMode")) {
        setSearchPathMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);
    }
    if (auto setProcessDepPolicy = Lookup<BOOL(WINAPI*)(DWORD)>(kernel, "SetProcessDEPPolicy")) {
        setProcessDepPolicy(PROCESS_DEP_ENABLE);
    }
}
