// Linked into each program itself. The programs are started from download and temporary
// folders, where anyone may have left a DLL named like a system one. The loader resolves
// the DLLs that the programs' own imports pull in before any of our code can restrict the
// search, so the image asks for System32 only (Windows 10 1607 and later honour this).
// MSVC's runtime defines this structure itself; there the linker's /DEPENDENTLOADFLAG:0x800
// says the same.
#include <windows.h>

#if defined(__MINGW32__)
#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

extern "C" {

extern const IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used;

// Older GNU linkers do not point the load-configuration directory at this structure; the
// build's stamping tool does, from the link map.
// The 32-bit or the 64-bit layout, as the image is; both have 14 fields before CSDVersion.
const IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used = {
    sizeof(IMAGE_LOAD_CONFIG_DIRECTORY),
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0,                             // CSDVersion
    LOAD_LIBRARY_SEARCH_SYSTEM32,  // DependentLoadFlags (Reserved1 in older headers)
    0, 0, 0, 0,                    // no edit list, cookie or safe handler table
};

}
#endif
