#include "SdkFiles.h"

#include <cstring>

#include "HandleHolder.h"
#include "HeldFileRetry.h"
#include "SdkFileDigests.h"
#include "SignedImageParts.h"

namespace {

enum class SourceRead { Read, Missing, Failed };

// Read through one handle that denies writing and deletion, so that the bytes checked are
// the bytes of one version of the file, and its time that version's.
SourceRead ReadSource(const CWideString& path, SdkFile& source)
{
    const CHandleHolder file = HoldValidHandle(
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? SourceRead::Missing : SourceRead::Failed;
    }
    return GetFileTime(file.Get(), nullptr, nullptr, &source.lastWriteTime) && ReadWholeFile(file.Get(), source.bytes)
               ? SourceRead::Read
               : SourceRead::Failed;
}

const uint8_t* Bytes(const CFileBytes& bytes)
{
    return reinterpret_cast<const uint8_t*>(bytes.GetData());
}

bool HasDigest(const ByteSpan* spans, int count, const uint8_t (&expected)[Sha256Size])
{
    uint8_t digest[Sha256Size] = {};
    return ComputeSha256(spans, count, digest) && memcmp(digest, expected, Sha256Size) == 0;
}

bool IsBuiltFile(const CFileBytes& bytes, const uint8_t (&expected)[Sha256Size])
{
    const ByteSpan whole = {Bytes(bytes), static_cast<size_t>(bytes.GetSize())};
    return HasDigest(&whole, 1, expected);
}

// The uninstaller may have been signed after setup.exe was built: its digest leaves out
// what signing changes.
bool IsBuiltUninstaller(const CFileBytes& bytes)
{
    ImagePart parts[SignedImagePartCount];
    if (!FindSignedImageParts(Bytes(bytes), static_cast<size_t>(bytes.GetSize()), parts)) {
        return false;
    }
    ByteSpan spans[SignedImagePartCount];
    for (int i = 0; i < SignedImagePartCount; ++i) {
        spans[i] = {Bytes(bytes) + parts[i].begin, parts[i].end - parts[i].begin};
    }
    return HasDigest(spans, SignedImagePartCount, UninstallerDigest);
}

// An earlier installation's read-only or hidden file would refuse to be replaced. The
// download's mark of an earlier copy (the Zone.Identifier stream) goes too: the help viewer
// would refuse the help file, and the uninstaller would carry the Internet's mark.
void WriteOver(const CWideString& target, const SdkFile& source)
{
    if (GetFileAttributesW(target) != INVALID_FILE_ATTRIBUTES) {
        SetFileAttributesW(target, FILE_ATTRIBUTE_NORMAL);
    }
    RetryWhileHeld([&] {
        const CHandleHolder file = HoldValidHandle(
            CreateFileW(target, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        return file && WriteWholeFile(file.Get(), source.bytes) &&
               SetFileTime(file.Get(), nullptr, nullptr, &source.lastWriteTime);
    });
    DeleteFileW(target + L":Zone.Identifier");
}

}  // namespace

bool ReadVerifiedSdkFiles(const InstallationPaths& paths, SdkFileContents& contents)
{
    if (ReadSource(paths.sourceHelp, contents.help) != SourceRead::Read ||
        !IsBuiltFile(contents.help.bytes, HelpFileDigest) ||
        ReadSource(paths.sourceUninstaller, contents.uninstaller) != SourceRead::Read ||
        !IsBuiltUninstaller(contents.uninstaller.bytes)) {
        return false;
    }
    const SourceRead readme = ReadSource(paths.sourceReadme, contents.readme);
    contents.hasReadme = readme == SourceRead::Read;
    return readme == SourceRead::Missing || (contents.hasReadme && IsBuiltFile(contents.readme.bytes, ReadmeDigest));
}

void WriteSdkFiles(const InstallationPaths& paths, const SdkFileContents& contents)
{
    CreateDirectoryW(paths.makerFolder, nullptr);
    CreateDirectoryW(paths.installFolder, nullptr);
    WriteOver(paths.targetHelp, contents.help);
    WriteOver(paths.targetUninstaller, contents.uninstaller);
    if (contents.hasReadme) {
        WriteOver(paths.targetReadme, contents.readme);
    }
}

bool SdkFilesAreInstalled(const InstallationPaths& paths, const SdkFileContents& contents)
{
    return FileHoldsBytes(paths.targetHelp, contents.help.bytes) &&
           FileHoldsBytes(paths.targetUninstaller, contents.uninstaller.bytes) &&
           (!contents.hasReadme || FileHoldsBytes(paths.targetReadme, contents.readme.bytes));
}
