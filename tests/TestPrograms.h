#pragma once

// Programs and processes: starting and ending them, their windows, and driving the real
// setup and uninstaller as a user, Explorer and the Add/Remove Programs panel do.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// A started program with its id, for finding its windows.
struct StartedProgram {
    HANDLE process = nullptr;
    DWORD id = 0;
};

// Starts `commandLine` in `currentFolder` (null: the tests'); a null process when it could
// not be started.
StartedProgram StartProgramWithId(const std::wstring& commandLine, const wchar_t* currentFolder = nullptr);
HANDLE StartProgram(const std::wstring& commandLine);
// Waits for the process and closes its handle: its exit code, or STILL_ACTIVE after a timeout
// (the process is then terminated), or 0xFFFFFFFF when `process` is null.
DWORD FinishProgram(HANDLE process, DWORD timeoutMilliseconds = 30000);
DWORD RunProgram(const std::wstring& commandLine, DWORD timeoutMilliseconds = 30000);
// Starts a Unix program given by its path on drive Z:, which Wine runs as it is. Its end
// cannot be awaited through the handle Wine returns: callers poll for its effect.
void RunUnixProgram(const wchar_t* program, const std::wstring& arguments);
bool IsRunning(HANDLE process);

// Command line of a running process, read from its process parameters.
std::wstring ProcessCommandLine(HANDLE process);
// Ids of running processes whose image file name is `exeName` (A-Z case ignored).
std::vector<DWORD> ProcessesNamed(const wchar_t* exeName);
// The image file name of the process that started `processId`, while both run; empty
// otherwise.
std::wstring ParentProcessName(DWORD processId);
// The next process named `exeName`, not in `seen`, whose command line (once it has one:
// a process just started may not) holds `commandLinePart` (null: any): opened to query,
// read and end it, and added to `seen`. Null when none comes within the time.
HANDLE WaitForNewProcess(const wchar_t* exeName, std::vector<DWORD>& seen, const wchar_t* commandLinePart = nullptr,
                         DWORD timeoutMilliseconds = 10000);
// Ends whatever a failed test may have left running of setup, the uninstaller and the
// helpers, also under other names in the maker's or the temporary folder, so that the next
// test starts with setup's mutex free and nothing holding the installation folder.
void EndTestPrograms();

// The first top-level window of `processId` of class `className` (null: any) whose caption
// is `caption` (null: any); waits up to `timeoutMilliseconds`.
HWND WaitForWindow(DWORD processId, const wchar_t* className, const wchar_t* caption,
                   DWORD timeoutMilliseconds = 20000);
std::wstring WindowText(HWND window);

extern const wchar_t* const SetupCaption;  // Reelshifter SDK 1.3.0 セットアップ

// Starts setup with `arguments`; when its dialog appears, quits it with its 終了 button.
DWORD RunSetupAndQuit(const std::wstring& setupPath, const std::wstring& arguments);

struct SetupRun {
    DWORD exitCode = 0xFFFFFFFF;
    bool sawMessage = false;
    std::wstring messageText;
    bool messageHasErrorIcon = false;
};

enum class Confirm { Click, EnterKey };

// Setup's message box after its dialog `dialog` (completion or failure), or null when the
// process ends first or the time runs out.
HWND WaitForMessageBox(DWORD processId, HWND dialog, HANDLE process, DWORD timeoutMilliseconds = 30000);

// Starts `setupPath` from its own folder, calls `whileDialogWaits` once its dialog shows,
// confirms the dialog, reads and dismisses the message that follows.
SetupRun RunSetup(const std::wstring& setupPath, Confirm confirm = Confirm::Click,
                  const std::function<void()>& whileDialogWaits = nullptr, DWORD messageTimeoutMilliseconds = 30000);

// Starts the entry's UninstallString as the Add/Remove Programs panel does, from the
// installation folder as Explorer would; the first instance's exit code.
DWORD RunUninstallEntry();
// Waits for every running process of the temporary copy to end; their exit codes.
std::vector<DWORD> WaitForTemporaryCopies(DWORD timeoutMilliseconds = 60000);
