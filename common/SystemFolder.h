#pragma once

#include "WideString.h"

// The system directory (System32), without a trailing backslash; empty when the system
// cannot name it.
CWideString SystemFolder();
