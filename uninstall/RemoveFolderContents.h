#pragma once

#include "WideString.h"

// Removes, depth-first, what `target` names: a folder or file with all its content, or with
// a trailing "\*" only a folder's content. Refuses, changing nothing, when the target's
// parent folder is a drive root, relative, or one of the shell's special folders; the same
// refusal applies at every level below. Links are unlinked, never entered.
void RemoveFolderContents(const CWideString& target);
