#pragma once

#include <windows.h>

#include "GrowableArray.h"
#include "WideString.h"

using CFileBytes = CGrowableArray<char>;

// Reads the whole of an open file, from its current position, into `bytes`; false when it
// cannot be read, is larger than 64 MiB, or does not end where its size says.
bool ReadWholeFile(HANDLE file, CFileBytes& bytes);

// Writes all of `bytes` at the file's current position and ends the file there; false when
// any of it could not be written.
bool WriteWholeFile(HANDLE file, const CFileBytes& bytes);

// True when both hold exactly the same bytes.
bool SameBytes(const CFileBytes& first, const CFileBytes& second);

// True when the file at `path` can be read and holds exactly `bytes`. Opened sharing
// everything, so that a file another program holds open can still be compared.
bool FileHoldsBytes(const CWideString& path, const CFileBytes& bytes);

// True when `path` names a file (not a folder).
bool FileExists(const CWideString& path);
