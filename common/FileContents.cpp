#include "FileContents.h"

#include <cstring>

#include "HandleHolder.h"

bool ReadWholeFile(HANDLE file, CGrowableArray<char>& bytes)
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

namespace {

bool ReadWholeFile(const CWideString& path, CGrowableArray<char>& bytes)
{
    const CHandleHolder file = HoldValidHandle(CreateFileW(path, GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && ReadWholeFile(file.Get(), bytes);
}

}  // namespace

bool FilesHaveSameContents(const CWideString& first, const CWideString& second)
{
    CGrowableArray<char> firstBytes;
    CGrowableArray<char> secondBytes;
    return ReadWholeFile(first, firstBytes) && ReadWholeFile(second, secondBytes) &&
           firstBytes.GetSize() == secondBytes.GetSize() &&
           memcmp(firstBytes.GetData(), secondBytes.GetData(), static_cast<size_t>(firstBytes.GetSize())) == 0;
}

bool FileExists(const CWideString& path)
{
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
