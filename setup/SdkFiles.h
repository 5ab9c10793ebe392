#pragma once

#include "FileContents.h"
#include "InstallationPaths.h"

// The SDK's files as setup installs them: read once from the source folder and checked
// against the digests the build recorded, then written from those very bytes, so that a
// file another program changes in the download folder meanwhile is never installed.
// Each file keeps the source's last-write time, read with its bytes: the installed file
// carries the package's time, as a copy would.
struct SdkFile {
    CFileBytes bytes;
    FILETIME lastWriteTime = {};
};

struct SdkFileContents {
    SdkFile help;
    SdkFile uninstaller;
    SdkFile readme;
    bool hasReadme = false;
};

// Reads each source file whole, denying writes and deletion while it is read, and checks
// its digest. False when the help file or the uninstaller is missing, or when any file
// that is there cannot be read or is not the one the build made. A missing readme is
// allowed.
bool ReadVerifiedSdkFiles(const InstallationPaths& paths, SdkFileContents& contents);

// Creates the maker and installation folders and writes the help file, the uninstaller
// and the readme (read as "readme.txt", written as "Readme.txt"), over old copies, each
// with its source's last-write time.
void WriteSdkFiles(const InstallationPaths& paths, const SdkFileContents& contents);

// True when every file is installed with exactly the verified bytes.
bool SdkFilesAreInstalled(const InstallationPaths& paths, const SdkFileContents& contents);
