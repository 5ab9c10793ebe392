#pragma once

#include <windows.h>

#include "WideString.h"

// Where an open file or folder really lies, links and junctions on the way followed, in
// DOS form with the letters A-Z folded; empty when the system cannot tell.
CWideString FinalPathOf(HANDLE handle);

// True when `process` was started from the file `image` holds open: the process's image
// path names the same file as the handle's final path. Both are read now, after the start,
// so that a folder on the way renamed since then shows as a difference. Compared in DOS
// form, and else in the system's native form.
bool ProcessRunsImage(HANDLE process, HANDLE image);
