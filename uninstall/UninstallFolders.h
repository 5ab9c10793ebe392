#pragma once

#include "WideString.h"

// Worked out anew from the shell at every start; none has a trailing backslash.
extern CWideString ProgramFilesFolder;
extern CWideString MakerFolder;
extern CWideString InstallFolder;  // maker folder + "\" + ProductName
extern CWideString CommonProgramsFolder;
extern CWideString TemporaryFolder;  // "Temp" beside the local application-data folder
extern CWideString TemporaryCopyPath;

// Fills the folders above from the shell; false, with nothing created, when one of the
// three shell folders cannot be obtained, or when the local application-data folder or
// the temporary folder lies anywhere but on a local fixed volume.
bool FormUninstallFolders();
