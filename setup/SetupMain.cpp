#include <windows.h>

#include "PrerequisitesDialog.h"
#include "RunInstallation.h"
#include "SetupResources.h"

namespace {

HINSTANCE ModuleInstance = nullptr;
HWND PrerequisitesDialog = nullptr;

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    ModuleInstance = instance;
    auto* state = new PrerequisitesDialogState();
    state->dialog = CreateDialogParamW(ModuleInstance, MAKEINTRESOURCEW(IDD_PREREQUISITES), nullptr,
                                       PrerequisitesDialogProc, reinterpret_cast<LPARAM>(state));
    if (!state->dialog) {
        // Nothing was shown and nothing installed: a failure, like the other early quits.
        SetupExitCode = 1;
        PostQuitMessage(1);
    }
    PrerequisitesDialog = state->dialog;
    ShowWindow(PrerequisitesDialog, SW_SHOWNORMAL);
    SetForegroundWindow(PrerequisitesDialog);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0)) {
        if (!IsDialogMessageW(PrerequisitesDialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    delete state;
    return SetupExitCode;
}
