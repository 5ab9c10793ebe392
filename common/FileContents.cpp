#include "FileContents.h"

#include <cstring>

#include "HandleHolder.h"

bool ReadWholeFile(HANDLE file, CFileBytes& bytes)
{
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file, &size) || size.QuadPart > 64 * 1024 * 1024) {
        return false;
    }
    const int length = static_cast<int>(size.QuadPart);
    bytes.Resize(length + 1);  // one more, to see that the file ends where its size says
    DWORD read = 0;
    if (!ReadFile(file, bytes.GetData(), static_cast<DWORD>(length + 1), &read, nullptr) ||
        read != static_cast<DWORD>(length)) {
        return false;
    }
    bytes.Resize(length);
    return true;
}

bool WriteWholeFile(HANDLE file, const CFileBytes& bytes)
{
    DWORD written = 0;
    return WriteFile(file, bytes.GetData(), static_cast<DWORD>(bytes.GetSize()), &written, nullptr) &&
           written == static_cast<DWORD>(bytes.GetSize()) && SetEndOfFile(file);
}

bool SameBytes(const CFileBytes& first, const CFileBytes& second)
{
    return first.GetSize() == second.GetSize() &&
           memcmp(first.GetData(), second.GetData(), static_cast<size_t>(first.GetSize())) == 0;
}

bool FileHoldsBytes(const CWideString& path, const CFileBytes& bytes)
{
    const CHandleHolder file = HoldValidHandle(CreateFileW(path, GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    CFileBytes held;
    return file && ReadWholeFile(file.Get(), held) && SameBytes(held, bytes);
}

bool FileExists(const CWideString& path)
{
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
