#pragma once

#include <windows.h>

// Virus scanners and Explorer's icon extraction hold a file for a moment. Calls `attempt`
// (true on success, the last error set on failure) again while it fails because another
// program holds the file, for about two seconds in all; a file held longer still fails,
// with the last error of the last attempt.
template <typename Attempt>
bool RetryWhileHeld(Attempt attempt)
{
    constexpr int Attempts = 20;
    constexpr DWORD PauseMilliseconds = 100;
    for (int i = 1;; ++i) {
        if (attempt()) {
            return true;
        }
        const DWORD error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_USER_MAPPED_FILE) || i == Attempts) {
            SetLastError(error);
            return false;
        }
        Sleep(PauseMilliseconds);
    }
}
