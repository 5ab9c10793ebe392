#pragma once

#include "WideString.h"

// Saves a shell link at `shortcutPath` whose target is `target`, overwriting a file there;
// nothing else (arguments, folder, icon) is set. Best effort: nothing is reported.
void CreateShortcut(const CWideString& target, const CWideString& shortcutPath);
