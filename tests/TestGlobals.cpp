// The process globals that the foundation refers to, for test programs (which have no
// start-up guard of their own).
#include "ProcessGlobals.h"
#include "ProductConstants.h"

DWORD MainThreadId = GetCurrentThreadId();
RAVELNEST_PRODUCT_CONSTANTS(RAVELNEST_DEFINE_CONSTANT)
CWideString ModulePath;
