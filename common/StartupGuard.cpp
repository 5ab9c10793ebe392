#include "StartupGuard.h"

#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

#include "ImageVerification.h"
#include "Pattern.h"
#include "ProcessGlobals.h"
#include "ProcessHardening.h"
#include "ProductConstants.h"

bool EmbeddingMode = false;
HANDLE InstanceMutex = nullptr;

CWideString InstanceMutexName(bool embedding)
{
    return embedding ? FullProductName() + L" Embedding" : FullProductName();
}

StartupGuard::StartupGuard(Program program) : m_program(program)
{
    // Before anything can load a DLL: the program may start from a downloads folder.
    HardenProcess();

    constexpr DWORD PathCapacity = 0x7FFF;
    CWideString path;
    const DWORD length = GetModuleFileNameW(nullptr, path.GetBuffer(PathCapacity), PathCapacity);
    if (length == 0) {
        ExitProcess(1);
    }
    path.ReleaseBufferSetLength(static_cast<int>(length < PathCapacity ? length : PathCapacity));
    if (!VerifyOwnImage(path)) {
        ExitProcess(1);
    }
    ModulePath = path;

    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments) {
        ExitProcess(1);
    }
    if (program == SetupProgram) {
        for (int i = 1; i < count; ++i) {
            if (MatchPattern(true, arguments[i], L"^[-/]Embedding$")) {
                EmbeddingMode = true;
            }
        }
    }
    GlobalFree(arguments);

    if (program == SetupProgram) {
        InstanceMutex = CreateMutexW(nullptr, TRUE, InstanceMutexName(EmbeddingMode));
        if (!InstanceMutex) {
            ExitProcess(1);
        }
        if (GetLastError() == ERROR_ALREADY_EXISTS) {
            CloseHandle(InstanceMutex);
            ExitProcess(1);
        }
    }

    if (OleInitialize(nullptr) != S_OK) {
        ExitProcess(1);
    }
}

StartupGuard::~StartupGuard()
{
    OleUninitialize();
    if (m_program == SetupProgram) {
        CloseHandle(InstanceMutex);
    }
}
