#pragma once

#include <windows.h>

#include "WideString.h"

// Process-wide state recorded at start-up. Each program defines these in its globals file,
// in the order that fixes their construction and destruction.
extern DWORD MainThreadId;     // setup: the thread that runs start-up and the message loop
extern CWideString ModulePath; // the running executable's full path
extern bool EmbeddingMode;     // setup: the embedding switch was given
extern HANDLE InstanceMutex;   // setup: the single-instance mutex
