#include "DetachedProgram.h"

#include "HandleHolder.h"

bool StartDetachedProgram(const CWideString& application, CWideString commandLine, const wchar_t* currentFolder)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);  // 68
    PROCESS_INFORMATION started = {};
    // CreateProcessW may write into the command line: it gets a private buffer.
    if (!CreateProcessW(application, commandLine.GetBuffer(commandLine.Length()), nullptr, nullptr, FALSE, 0, nullptr,
                        currentFolder, &startup, &started)) {
        return false;
    }
    CHandleHolder thread(started.hThread);
    CHandleHolder process(started.hProcess);
    return true;
}
