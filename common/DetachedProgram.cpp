#include "DetachedProgram.h"

namespace {

bool Start(const CWideString& application, CWideString& commandLine, const wchar_t* currentFolder, DWORD flags,
           CHandleHolder& process, CHandleHolder& thread)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);  // 68
    PROCESS_INFORMATION started = {};
    // CreateProcessW may write into the command line: it gets a private buffer.
    if (!CreateProcessW(application, commandLine.GetBuffer(commandLine.Length()), nullptr, nullptr, FALSE, flags,
                        nullptr, currentFolder, &startup, &started)) {
        return false;
    }
    thread.Attach(started.hThread);
    process.Attach(started.hProcess);
    return true;
}

}  // namespace

bool StartDetachedProgram(const CWideString& application, CWideString commandLine, const wchar_t* currentFolder)
{
    CHandleHolder process;
    CHandleHolder thread;
    return Start(application, commandLine, currentFolder, 0, process, thread);
}

bool StartSuspendedProgram(const CWideString& application, CWideString commandLine, const wchar_t* currentFolder,
                           CHandleHolder& process, CHandleHolder& thread)
{
    return Start(application, commandLine, currentFolder, CREATE_SUSPENDED, process, thread);
}
