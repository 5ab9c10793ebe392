#pragma once

#include <windows.h>

#include "FileContents.h"
#include "HandleHolder.h"
#include "WideString.h"

// The holds that keep the uninstaller's temporary copy the file that was checked, from
// before it is written until it has been started (TemporaryFolder, TemporaryCopyPath).

// The temporary folder, held without delete sharing: it cannot be renamed or removed, and
// another put in its place, until the handle closes. Empty when it cannot be opened.
CHandleHolder OpenTemporaryFolder();

// The final path the copy must have: the held temporary folder's own final path, a
// backslash and the copy's name; empty when the system cannot tell.
CWideString ExpectedFinalCopyPath(HANDLE folder);

// The copy at the copy path, holding `image`, held in `copy` for reading only and denying
// writes and deletion, so that nobody can change it before it has been started: an earlier
// copy that only administrators can have written and that holds `image`, or one made anew.
// The handle is never reopened by the path, so it names the file that was checked.
bool HoldCopy(const CWideString& expectedPath, const CFileBytes& image, CHandleHolder& copy);
