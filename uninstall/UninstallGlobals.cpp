// Uninstall's process-wide objects. Defined in one file so that they are constructed in
// this order and destroyed in the reverse order at normal exit.
#include "ProcessGlobals.h"
#include "ProductConstants.h"
#include "StartupGuard.h"
#include "UninstallFolders.h"

RAVELNEST_PRODUCT_CONSTANTS(RAVELNEST_DEFINE_CONSTANT)
CWideString ModulePath;
StartupGuard Guard(StartupGuard::UninstallProgram);
CWideString ProgramFilesFolder;
CWideString MakerFolder;
CWideString InstallFolder;
CWideString CommonProgramsFolder;
CWideString TemporaryFolder;
CWideString TemporaryCopyPath;

