// Drives setup.exe for the main job's unattended run: waits for the dialog, lets the caller
// take a screenshot, confirms, lets it take one of the completion message, dismisses it and
// prints what was installed. Prints one line per event; the caller watches for them.
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

#include "InstalledState.h"
#include "TestFiles.h"
#include "TestPrograms.h"
#include "TestRegistry.h"

namespace {

void Say(const std::wstring& line)
{
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, &text[0], bytes, nullptr, nullptr);
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        return 2;
    }
    const DWORD pause = argc > 2 ? static_cast<DWORD>(_wtoi(argv[2])) : 4000;
    CoInitialize(nullptr);
    const StartedProgram setup = StartProgramWithId(Quoted(argv[1]));
    HWND dialog = WaitForWindow(setup.id, L"#32770", SetupCaption, 300000);
    if (!dialog) {
        Say(L"NO-DIALOG");
        return 1;
    }
    Say(L"DIALOG " + WindowText(dialog));
    Sleep(pause);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    HWND box = WaitForMessageBox(setup.id, dialog, setup.process, 60000);
    if (!box) {
        Say(L"NO-MESSAGE");
        return 1;
    }
    wchar_t text[1024] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 1024);
    Say(std::wstring(L"MESSAGE ") + text);
    Sleep(pause);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    const DWORD exitCode = FinishProgram(setup.process);
    Say(L"EXIT " + std::to_wstring(exitCode));
    Say(L"INSTALLED\n" + DumpInstalledState());
    Say(L"END");
    CoUninitialize();
    return static_cast<int>(exitCode);
}
