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
