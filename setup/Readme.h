#pragma once

#include "WideString.h"

// Opens the installed readme with its associated program, or with Notepad when no
// program is associated with it. Neither is waited for.
void OpenReadme(const CWideString& installFolder, const CWideString& readmePath);
