#include "SystemFolder.h"

CWideString SystemFolder()
{
    CWideString folder;
    // A result of MAX_PATH or more is the size the path would need, not a path.
    const UINT length = GetSystemDirectoryW(folder.GetBuffer(MAX_PATH), MAX_PATH);
    folder.ReleaseBufferSetLength(length < MAX_PATH ? static_cast<int>(length) : 0);
    return folder;
}
