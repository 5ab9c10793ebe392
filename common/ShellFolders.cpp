#include "ShellFolders.h"

#include <shlobj.h>

HRESULT GetShellFolder(int csidl, CWideString& folder)
{
    wchar_t* buffer = folder.GetBuffer(MAX_PATH);
    ZeroMemory(buffer, (MAX_PATH + 1) * sizeof(wchar_t));
    const HRESULT result = SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer);
    folder.ReleaseBuffer();
    return result;
}

CWideString GetSpecialFolder(int csidl)
{
    CWideString folder;
    wchar_t* buffer = folder.GetBuffer(MAX_PATH);
    buffer[0] = 0;
    SHGetSpecialFolderPathW(nullptr, buffer, csidl, TRUE);
    folder.ReleaseBuffer();
    return folder;
}

bool ConvertToLongPath(CWideString& path)
{
    constexpr int Capacity = 32767;
    const CWideString original = path;
    wchar_t* buffer = path.GetBuffer(Capacity);
    const DWORD length = GetLongPathNameW(buffer, buffer, Capacity);
    if (length == 0 || length >= static_cast<DWORD>(Capacity)) {
        path = original;
        return false;
    }
    path.ReleaseBufferSetLength(static_cast<int>(length));
    return true;
}
