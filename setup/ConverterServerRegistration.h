#pragma once

#include "WideString.h"

// Removes any earlier registration of Reelshifter's automation server, then writes its
// type library, AppID, class, interface and ProgID keys below the machine's classes, with
// `converterExecutable` as the server's path.
void RegisterConverterServer(const CWideString& converterExecutable);
