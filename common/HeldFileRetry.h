#pragma once

#include <windows.h>

// Virus scanners and Explorer's icon extraction hold a file for a moment. Calls `attempt`
// (true on success, the last error set on failure) again while it fails because another
// program holds the file, or with `alsoPassing` (such as ERROR_ACCESS_DENIED for a name
// whose file is being deleted), for about two seconds in all; a file held longer still
// fails, with the last error of the last attempt.
template <typename Attempt>
bool RetryWhileHeld(Attempt attempt, DWORD alsoPassing = ERROR_SUCCESS)
{
    constexpr int Attempts = 20;
    constexpr DWORD PauseMilliseconds = 100;
    for (int i = 1;; ++i) {
        if (attempt()) {
            return true;
        }
        const DWORD error = GetLastError();
        const bool passing = error == ERROR_SHARING_VIOLATION || error == ERROR_USER_MAPPED_FILE ||
                             (alsoPassing != ERROR_SUCCESS && error == alsoPassing);
        if (!passing || i == Attempts) {
            SetLastError(error);
            return false;
        }
        Sleep(PauseMilliseconds);
    }
}
