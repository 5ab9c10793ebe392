#pragma once

#include "WideString.h"

// Starts `application` with `commandLine` (no handles inherited, creation flags 0, the
// caller's environment, a zeroed STARTUPINFOW) in `currentFolder` (null: the caller's), and
// does not wait for it; false when it could not be started.
bool StartDetachedProgram(const CWideString& application, CWideString commandLine, const wchar_t* currentFolder);
