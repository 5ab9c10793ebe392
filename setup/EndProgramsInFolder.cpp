#include "EndProgramsInFolder.h"

#include <cwchar>

#include "GrowableArray.h"
#include "HandleHolder.h"
#include "ProcessWalk.h"
#include "ShellFolders.h"
#include "TextFold.h"

namespace {

bool ModuleLiesBelow(const wchar_t* modulePath, const CWideString& folderWithBackslash)
{
    CWideString path(modulePath);
    return ConvertToLongPath(path) &&
           CompareFoldedPrefix(path, folderWithBackslash, static_cast<size_t>(folderWithBackslash.Length())) == 0;
}

// Most processes share the system's DLLs: each distinct module path is converted to its
// long form and compared once per walk, not once per process that loaded it.
class CModuleVerdicts {
public:
    explicit CModuleVerdicts(const CWideString& folderWithBackslash) : m_folderWithBackslash(folderWithBackslash) {}

    bool LiesBelow(const wchar_t* modulePath)
    {
        for (int i = 0; i < m_paths.GetSize(); ++i) {
            if (std::wcscmp(m_paths[i], modulePath) == 0) {
                return m_below[i] != 0;
            }
        }
        const bool below = ModuleLiesBelow(modulePath, m_folderWithBackslash);
        m_paths.Add(CWideString(modulePath));
        m_below.Add(below ? 1 : 0);
        return below;
    }

private:
    const CWideString& m_folderWithBackslash;
    CWideStringArray m_paths;
    CGrowableArray<int> m_below;
};

bool HasModuleBelow(DWORD processId, CModuleVerdicts& verdicts)
{
    bool below = false;
    ForEachModule(processId, [&](const wchar_t* modulePath) {
        below = verdicts.LiesBelow(modulePath);
        return !below;
    });
    return below;
}

}  // namespace

void EndProgramsRunningFromFolder(const CWideString& installFolder)
{
    const CWideString folderWithBackslash = installFolder + L"\\";
    CModuleVerdicts verdicts(folderWithBackslash);
    const CHandleHolder processes = TakeSystemSnapshot();
    if (processes) {
        ForEachProcess(processes.Get(), [&](const PROCESSENTRY32W& process) {
            const DWORD processId = process.th32ProcessID;
            if (processId == GetCurrentProcessId() || !HasModuleBelow(processId, verdicts)) {
                return;
            }
            CHandleHolder running(OpenProcess(PROCESS_TERMINATE, FALSE, processId));
            if (running) {
                TerminateProcess(running.Get(), 0);
            }
        });
    }
    Sleep(1000);
}
