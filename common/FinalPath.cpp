#include "FinalPath.h"

#include "TextFold.h"

namespace {

void Fold(CWideString& path)
{
    FoldAsciiLetters(path.GetBuffer(path.Length()));
    path.ReleaseBuffer();
}

CWideString FinalPathIn(HANDLE handle, DWORD volumeForm)
{
    CWideString path;
    DWORD capacity = MAX_PATH;
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(handle, path.GetBuffer(static_cast<int>(capacity)),
                                                       capacity + 1, FILE_NAME_NORMALIZED | volumeForm);
        if (length == 0) {
            path.ReleaseBufferSetLength(0);
            return path;
        }
        if (length <= capacity) {
            path.ReleaseBufferSetLength(static_cast<int>(length));
            break;
        }
        path.ReleaseBufferSetLength(0);
        capacity = length;  // the size needed, terminator included
    }
    Fold(path);
    return path;
}

CWideString ImagePathIn(HANDLE process, DWORD form)
{
    CWideString path;
    DWORD length = 32767;
    if (!QueryFullProcessImageNameW(process, form, path.GetBuffer(static_cast<int>(length)), &length)) {
        length = 0;
    }
    path.ReleaseBufferSetLength(static_cast<int>(length));
    Fold(path);
    return path;
}

bool SameNonEmpty(const CWideString& first, const CWideString& second)
{
    return first.Length() > 0 && first.Length() == second.Length() && EqualsFolded(first, second);
}

}  // namespace

CWideString ImageFormOfFinalPath(const CWideString& path)
{
    if (CompareFoldedPrefix(path, L"\\\\?\\unc\\", 8) == 0) {
        return L"\\\\" + CWideString(path.Text() + 8);
    }
    if (CompareFoldedPrefix(path, L"\\\\?\\", 4) == 0) {
        return CWideString(path.Text() + 4);
    }
    return path;
}

CWideString FinalPathOf(HANDLE handle)
{
    return FinalPathIn(handle, VOLUME_NAME_DOS);
}

bool ProcessRunsImage(HANDLE process, HANDLE image)
{
    return SameNonEmpty(ImagePathIn(process, 0), ImageFormOfFinalPath(FinalPathIn(image, VOLUME_NAME_DOS))) ||
           SameNonEmpty(ImagePathIn(process, PROCESS_NAME_NATIVE), FinalPathIn(image, VOLUME_NAME_NT));
}

bool LiesOnLocalFixedDrive(const CWideString& path)
{
    const wchar_t* text = path.Text();
    if (CompareFoldedPrefix(text, L"\\\\?\\", 4) == 0) {
        text += 4;  // "\\?\UNC\..." is left with "UNC\", no drive
    }
    const wchar_t letter = FoldAsciiLetter(text[0]);
    if (letter < L'a' || letter > L'z' || text[1] != L':' || text[2] != L'\\') {
        return false;
    }
    const wchar_t root[] = {letter, L':', L'\\', 0};
    return GetDriveTypeW(root) == DRIVE_FIXED;
}

bool HandleLiesOnLocalFixedVolume(HANDLE handle)
{
    FILE_REMOTE_PROTOCOL_INFO protocol = {};
    if (GetFileInformationByHandleEx(handle, FileRemoteProtocolInfo, &protocol, sizeof(protocol))) {
        return false;
    }
    return LiesOnLocalFixedDrive(FinalPathOf(handle));
}
