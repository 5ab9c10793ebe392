#pragma once

#include <windows.h>

#include <string>

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

extern const wchar_t* const SetupCaption;  // Reelshifter SDK 1.3.0 セットアップ
