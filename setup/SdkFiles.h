#pragma once

#include "InstallationPaths.h"

// Creates the maker and installation folders and copies the help file, the uninstaller
// and the readme (read as "readme.txt", written as "Readme.txt"), overwriting old copies.
void CopySdkFiles(const InstallationPaths& paths);

