#pragma once

#include <windows.h>

#include "FindHandle.h"

// Calls `visit(found)` for every entry that a search for `pattern` finds, in the order the
// file system gives them, "." and ".." excepted. Nothing is visited when the search
// cannot start.
template <typename Visit>
void ForEachFolderEntry(const wchar_t* pattern, Visit visit)
{
    WIN32_FIND_DATAW found = {};
    const CFindHandle find(FindFirstFileW(pattern, &found));
    if (!find.IsValid()) {
        return;
    }
    do {
        if (lstrcmpW(found.cFileName, L".") != 0 && lstrcmpW(found.cFileName, L"..") != 0) {
            visit(static_cast<const WIN32_FIND_DATAW&>(found));
        }
    } while (FindNextFileW(find.Get(), &found));
}
