#pragma once

#include <windows.h>

// The installation sequence, run when the user confirms the prerequisites dialog (the
// owner window). It ends the program by posting WM_QUIT to the main thread.
void RunInstallation(HWND owner);

// 0, or 1 when the installation could not put the SDK in place.
extern int SetupExitCode;
