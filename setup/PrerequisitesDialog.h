#pragma once

#include <windows.h>

// The record passed as the dialog's creation parameter and kept in GWL_USERDATA.
struct PrerequisitesDialogState {
    HWND dialog;
};

INT_PTR CALLBACK PrerequisitesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// A string of setup's resources.
class CWideString;
CWideString LoadResourceText(UINT id);
