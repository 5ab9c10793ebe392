#pragma once

#include "WideString.h"

// SHGetFolderPathW for `csidl` (add CSIDL_FLAG_CREATE to create a missing folder), no token,
// the current path; its result. `folder` is empty when the shell gives no path.
HRESULT GetShellFolder(int csidl, CWideString& folder);

// SHGetSpecialFolderPathW for `csidl`, creating the folder when missing; empty when the
// shell gives no path.
CWideString GetSpecialFolder(int csidl);

// Converts `path` in place to its long form (GetLongPathNameW); false, with `path` as it
// was, when the conversion fails.
bool ConvertToLongPath(CWideString& path);
