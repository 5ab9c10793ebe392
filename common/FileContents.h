#pragma once

#include <windows.h>

#include "GrowableArray.h"
#include "WideString.h"

// Reads the whole of an open file, from its current position, into `bytes`; false when it
// cannot be read, is larger than 64 MiB, or does not end where its size says.
bool ReadWholeFile(HANDLE file, CGrowableArray<char>& bytes);

// True when both files can be read and hold exactly the same bytes. Opens them sharing
// everything, so that a file another program holds open can still be compared.
bool FilesHaveSameContents(const CWideString& first, const CWideString& second);

// True when `path` names a file (not a folder).
bool FileExists(const CWideString& path);
