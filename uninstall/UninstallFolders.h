#pragma once

#include "WideString.h"

// Worked out anew from the shell at every start; none has a trailing backslash.
extern CWideString ProgramFilesFolder;
extern CWideString MakerFolder;
extern CWideString InstallFolder;  // maker folder + "\" + ProductName
extern CWideString CommonProgramsFolder;
extern CWideString TemporaryFolder;
