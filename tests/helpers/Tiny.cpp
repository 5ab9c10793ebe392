// Test helper: a DLL that does nothing, copied many times into a folder so that one
// process has more modules there than one wait can hold.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
