// The uninstaller's folder globals, for tests that drive its removal steps directly; each
// test sets the ones it needs.
#include "UninstallFolders.h"

CWideString ProgramFilesFolder;
CWideString MakerFolder;
CWideString InstallFolder;
CWideString CommonProgramsFolder;
CWideString TemporaryFolder;
CWideString TemporaryCopyPath;
