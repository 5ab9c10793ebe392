#pragma once

#include "HandleHolder.h"
#include "WideString.h"

// Starts `application` with `commandLine` (no handles inherited, the caller's environment,
// a zeroed STARTUPINFOW) in `currentFolder` (null: the caller's), and does not wait for it;
// false when it could not be started.
bool StartDetachedProgram(const CWideString& application, CWideString commandLine, const wchar_t* currentFolder);

// As StartDetachedProgram, but with its first thread suspended, so that the caller can
// check what was started before any of it runs; `process` and `thread` hold the new
// process and that thread.
bool StartSuspendedProgram(const CWideString& application, CWideString commandLine, const wchar_t* currentFolder,
                           CHandleHolder& process, CHandleHolder& thread);
