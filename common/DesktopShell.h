#pragma once

#include <windows.h>

#include "WideString.h"

// What decides whether this process may start a program on the user's desktop itself.
struct TokenFacts {
    bool readable;  // false: the token could not be read, and nothing below is known
    TOKEN_ELEVATION_TYPE elevationType;
    bool administratorsEnabled;
    DWORD integrityLevel;  // the mandatory label's RID, SECURITY_MANDATORY_*_RID
};

// Starts programs as the user who owns the desktop, not with this elevated process's token:
// through the desktop's shell (Explorer, the desktop user's own unelevated process), which
// runs the start in its own process. An elevated program that started the readme viewer or
// the browser itself would give the user an administrator's Notepad (whose File > Open runs
// anything) and an administrator's browser.
//
// The route to the shell is cross-process COM, which a hung Explorer never answers: each
// call on it runs on a thread of its own, and the object gives the whole route about ten
// seconds. A call cut off counts as a shell that was not reached.
class CDesktopShell {
public:
    static constexpr DWORD RouteMilliseconds = 10000;

    // Looks for the desktop's shell; COM must be initialised on the thread.
    CDesktopShell();

    // True when the desktop's shell was reached (and no call to it has been cut off since).
    bool Reached() const noexcept { return m_reached; }
    // True when programs may be started at all: through the desktop's shell, or directly
    // where this process's token carries no administrator's rights.
    bool CanStart() const noexcept;

    // Opens `file` with `parameters` in `folder` with `verb` (null: the default verb), shown
    // normally, as ShellExecuteW does: through the desktop's shell when it was reached,
    // otherwise with ShellExecuteW itself where that is allowed. True when it was started.
    bool Open(const wchar_t* file, const wchar_t* parameters, const wchar_t* folder, const wchar_t* verb);

private:
    DWORD RemainingMilliseconds() const noexcept;

    ULONGLONG m_deadline;
    TokenFacts m_token;
    bool m_reached;
};

// The facts of this process's token.
TokenFacts ReadTokenFacts();

enum class StartRoute { ThroughDesktopShell, Directly, Nothing };

// Through the desktop's shell whenever it was reached. Otherwise directly only for a token
// that is known to carry no administrator's rights: neither Administrators enabled nor a
// high or system integrity level, whatever its elevation type (the built-in Administrator's
// token, or another account's given at the prompt, is not split, yet as powerful).
StartRoute ChooseStartRoute(const TokenFacts& token, bool shellReached);
