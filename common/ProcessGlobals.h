#pragma once

#include <windows.h>

#include "WideString.h"

// Process-wide state recorded at start-up. MainThreadId and ModulePath are defined in each
// program's globals file (SetupGlobals.cpp, UninstallGlobals.cpp; the tests' TestGlobals.cpp),
// in the order that fixes their construction and destruction; the start-up guard fills
// ModulePath. EmbeddingMode and InstanceMutex belong to the guard (StartupGuard.cpp).
extern DWORD MainThreadId;     // setup: the thread that runs start-up and the message loop
extern CWideString ModulePath; // the running executable's full path
extern bool EmbeddingMode;     // setup: the embedding switch was given
extern HANDLE InstanceMutex;   // setup: the single-instance mutex
