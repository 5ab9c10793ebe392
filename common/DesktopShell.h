#pragma once

#include <shldisp.h>

#include "ComHolder.h"
#include "WideString.h"

// Starts programs as the user who owns the desktop, not with this elevated process's token:
// through the desktop's shell (Explorer, the desktop user's own unelevated process), which
// runs the start in its own process. An elevated program that started the readme viewer or
// the browser itself would give the user an administrator's Notepad (whose File > Open runs
// anything) and an administrator's browser.
class CDesktopShell {
public:
    // Finds the desktop's shell; COM must be initialised on the thread.
    CDesktopShell();

    // True when the desktop's shell was found.
    bool Reached() const noexcept { return static_cast<bool>(m_shell); }
    // True when programs may be started at all: through the desktop's shell, or directly
    // where this process does not run with an administrator's full token.
    bool CanStart() const noexcept { return Reached() || !m_elevated; }

    // Opens `file` with `parameters` in `folder` with `verb` (null: the default verb), shown
    // normally, as ShellExecuteW does: through the desktop's shell when it was reached,
    // otherwise with ShellExecuteW itself where that is allowed. True when it was started.
    bool Open(const wchar_t* file, const wchar_t* parameters, const wchar_t* folder, const wchar_t* verb) const;

private:
    CComHolder<IShellDispatch2> m_shell;
    bool m_elevated;
};

// True when this process runs with the full token of an administrator whose standard
// token was split off (TokenElevationTypeFull), and when its token cannot be read: the
// rights of a token that cannot be read are not to be carried onto the user's desktop.
bool RunsWithElevatedFullToken();
