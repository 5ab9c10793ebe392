#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// The folder that holds the test program, and with it the built programs.
std::wstring BinFolder();
std::wstring BinPath(const wchar_t* name);

// Starts `commandLine`; returns a null handle when the process could not be started.
HANDLE StartProgram(const std::wstring& commandLine);
// Waits for the process and closes its handle: its exit code, or STILL_ACTIVE after a timeout
// (the process is then terminated), or 0xFFFFFFFF when `process` is null.
DWORD FinishProgram(HANDLE process, DWORD timeoutMilliseconds = 30000);
DWORD RunProgram(const std::wstring& commandLine, DWORD timeoutMilliseconds = 30000);

std::wstring Quoted(const std::wstring& path);

// Registry helpers for the tests' own keys.
void DeleteTestKey(HKEY root, const wchar_t* path);
bool KeyExists(HKEY root, const std::wstring& path);

// A started program with its id, for finding its windows.
struct StartedProgram {
    HANDLE process = nullptr;
    DWORD id = 0;
};
StartedProgram StartProgramWithId(const std::wstring& commandLine, const wchar_t* currentFolder = nullptr);

// The first visible-or-not top-level window of `processId` of class `className` (null: any)
// whose caption is `caption` (null: any); waits up to `timeoutMilliseconds`.
HWND WaitForWindow(DWORD processId, const wchar_t* className, const wchar_t* caption,
                   DWORD timeoutMilliseconds = 20000);
// Either the process ends (returns its exit code) or the window appears (returns STILL_ACTIVE
// and sets `window`).
DWORD WaitForExitOrWindow(const StartedProgram& program, const wchar_t* className, const wchar_t* caption,
                          HWND& window, DWORD timeoutMilliseconds = 20000);
bool IsRunning(HANDLE process);
std::wstring WindowText(HWND window);

// Starts setup with `arguments`; when its dialog appears, quits it with its 終了 button.
DWORD RunSetupAndQuit(const std::wstring& setupPath, const std::wstring& arguments);

std::wstring FullPath(const std::wstring& path);
// The built package: setup.exe, Uninstall.exe, readme.txt and the help file.
std::wstring PackageFolder();

// Replaces a registry string for the life of the object.
class CStringOverride {
public:
    CStringOverride(HKEY root, std::wstring path, const wchar_t* name, const std::wstring& value);
    ~CStringOverride();
    CStringOverride(const CStringOverride&) = delete;
    CStringOverride& operator=(const CStringOverride&) = delete;

private:
    const wchar_t* NameOrNull() const { return m_name.empty() ? nullptr : m_name.c_str(); }

    HKEY m_root;
    std::wstring m_path;
    std::wstring m_name;
    bool m_hadValue;
    std::wstring m_old;
};

// Opens text files (setup's readme) in the tests' recorder, which appends each file it is
// given to `log`, instead of a Notepad that would stay open; for the life of the object.
class CReadmeRecorder {
public:
    explicit CReadmeRecorder(const std::wstring& log);
    ~CReadmeRecorder();
    CReadmeRecorder(const CReadmeRecorder&) = delete;
    CReadmeRecorder& operator=(const CReadmeRecorder&) = delete;

private:
    std::unique_ptr<CStringOverride> m_textFiles;
};

// Ends whatever a failed test may have left running of setup, the uninstaller and the
// helpers, so that the next test starts with setup's mutex free.
void EndTestPrograms();

// The uninstaller's temporary copy: "Temp" beside the local application-data folder.
std::wstring UninstallCopyPath();
std::wstring TemporaryFolderPath();
// The installed entry's UninstallString, or an empty string.
std::wstring UninstallEntryCommand();
// Starts the entry's UninstallString as the Add/Remove Programs panel does, from the
// installation folder as Explorer would; the first instance's exit code.
DWORD RunUninstallEntry();
// Waits for every running process of the temporary copy to end; their exit codes.
std::vector<DWORD> WaitForTemporaryCopies(DWORD timeoutMilliseconds = 60000);

struct SetupRun {
    DWORD exitCode = 0xFFFFFFFF;
    bool sawMessage = false;
    std::wstring messageText;
    bool messageHasErrorIcon = false;
};

enum class Confirm { Click, EnterKey };

// Setup's message box after its dialog `dialog` (completion or failure), or null when the
// process ends first or 30 s pass.
HWND WaitForMessageBox(DWORD processId, HWND dialog, HANDLE process);

// Starts `setupPath` from its own folder, confirms the dialog, reads and dismisses the
// message that follows.
SetupRun RunSetup(const std::wstring& setupPath, Confirm confirm = Confirm::Click);

extern const wchar_t* const SetupCaption;  // Reelshifter SDK 1.3.0 セットアップ
