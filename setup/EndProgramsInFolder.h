#pragma once

#include "WideString.h"

// Terminates every other process with a module below `installFolder` (compared in long
// form, ignoring the case of A-Z), then pauses 1000 ms. The own process is left alone:
// setup may itself run from the installation folder.
void EndProgramsRunningFromFolder(const CWideString& installFolder);
