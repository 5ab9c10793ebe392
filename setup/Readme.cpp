#include "Readme.h"

#include "DesktopShell.h"
#include "DetachedProgram.h"
#include "SystemFolder.h"

void OpenReadme(const CWideString& readmePath)
{
    CDesktopShell shell;
    const CWideString viewerFolder = SystemFolder();
    if (!shell.CanStart() || shell.Open(readmePath, nullptr, viewerFolder, L"open") || viewerFolder.Length() == 0) {
        return;
    }
    // Named by its full path: a search for "notepad.exe" would look in setup's own folder
    // first, where anything may lie beside a downloaded setup.exe.
    CWideString notepad = viewerFolder;
    notepad.AppendComponent(L"notepad.exe");
    const CWideString quotedReadme = L"\"" + readmePath + L"\"";
    // The shell may have stopped answering since: then only a token without an
    // administrator's rights starts Notepad itself.
    if (shell.Reached()) {
        shell.Open(notepad, quotedReadme, viewerFolder, L"open");
    } else if (shell.CanStart()) {
        StartDetachedProgram(notepad, L"notepad.exe " + quotedReadme, viewerFolder);
    }
}
