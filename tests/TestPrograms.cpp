#include "TestPrograms.h"

#include <winternl.h>

#include <algorithm>
#include <iterator>

#include "HandleHolder.h"
#include "ProcessWalk.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "TextFold.h"

const wchar_t* const SetupCaption = L"Reelshifter SDK 1.3.0 \x30BB\x30C3\x30C8\x30A2\x30C3\x30D7";

StartedProgram StartProgramWithId(const std::wstring& commandLine, const wchar_t* currentFolder)
{
    std::wstring writable = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    StartedProgram started;
    if (CreateProcessW(nullptr, &writable[0], nullptr, nullptr, FALSE, 0, nullptr, currentFolder, &startup,
                       &process)) {
        const CHandleHolder thread(process.hThread);
        started.process = process.hProcess;
        started.id = process.dwProcessId;
    }
    return started;
}

HANDLE StartProgram(const std::wstring& commandLine)
{
    return StartProgramWithId(commandLine).process;
}

DWORD FinishProgram(HANDLE process, DWORD timeoutMilliseconds)
{
    if (!process) {
        return 0xFFFFFFFF;
    }
    DWORD exitCode = STILL_ACTIVE;
    if (WaitForSingleObject(process, timeoutMilliseconds) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process, &exitCode);
    } else {
        TerminateProcess(process, 99);
        WaitForSingleObject(process, 5000);
    }
    CloseHandle(process);
    return exitCode;
}

DWORD RunProgram(const std::wstring& commandLine, DWORD timeoutMilliseconds)
{
    return FinishProgram(StartProgram(commandLine), timeoutMilliseconds);
}

// Starts a Unix program given by its path on drive Z:, which Wine runs as it is. Its end
// cannot be awaited through the handle Wine returns: callers poll for its effect.
void RunUnixProgram(const wchar_t* program, const std::wstring& arguments)
{
    std::wstring commandLine = std::wstring(program) + L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (CreateProcessW((L"Z:" + std::wstring(program)).c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                       nullptr, &startup, &process)) {
        const CHandleHolder thread(process.hThread);
        const CHandleHolder started(process.hProcess);
        WaitForSingleObject(started.Get(), 10000);
    }
}

bool IsRunning(HANDLE process)
{
    return WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
}

std::wstring ProcessCommandLine(HANDLE process)
{
    using QueryInformation = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<QueryInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic = {};
    if (!query || query(process, ProcessBasicInformation, &basic, sizeof(basic), nullptr) != 0) {
        return L"";
    }
    PEB peb = {};
    RTL_USER_PROCESS_PARAMETERS parameters = {};
    SIZE_T got = 0;
    if (!ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof(peb), &got) ||
        !ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof(parameters), &got)) {
        return L"";
    }
    std::wstring line(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
    if (!line.empty() &&
        !ReadProcessMemory(process, parameters.CommandLine.Buffer, &line[0], parameters.CommandLine.Length, &got)) {
        return L"";
    }
    return line;
}

std::vector<DWORD> ProcessesNamed(const wchar_t* exeName)
{
    std::vector<DWORD> ids;
    const CHandleHolder snapshot = HoldValidHandle(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot) {
        ForEachProcess(snapshot.Get(), [&](const PROCESSENTRY32W& process) {
            if (EqualsFolded(process.szExeFile, exeName)) {
                ids.push_back(process.th32ProcessID);
            }
        });
    }
    return ids;
}

std::wstring ParentProcessName(DWORD processId)
{
    DWORD parent = 0;
    std::wstring name;
    const CHandleHolder snapshot = HoldValidHandle(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot) {
        ForEachProcess(snapshot.Get(), [&](const PROCESSENTRY32W& process) {
            if (process.th32ProcessID == processId) {
                parent = process.th32ParentProcessID;
            }
        });
        ForEachProcess(snapshot.Get(), [&](const PROCESSENTRY32W& process) {
            if (parent != 0 && process.th32ProcessID == parent) {
                name = process.szExeFile;
            }
        });
    }
    return name;
}

HANDLE WaitForNewProcess(const wchar_t* exeName, std::vector<DWORD>& seen, const wchar_t* commandLinePart,
                         DWORD timeoutMilliseconds)
{
    for (DWORD waited = 0; waited < timeoutMilliseconds; waited += 50) {
        for (DWORD id : ProcessesNamed(exeName)) {
            if (std::find(seen.begin(), seen.end(), id) != seen.end()) {
                continue;
            }
            CHandleHolder process(
                OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
            const std::wstring commandLine = process ? ProcessCommandLine(process.Get()) : std::wstring();
            if (!commandLine.empty() &&
                (!commandLinePart || commandLine.find(commandLinePart) != std::wstring::npos)) {
                seen.push_back(id);
                return process.Detach();
            }
        }
        Sleep(50);
    }
    return nullptr;
}

namespace {

bool LiesBelow(const std::wstring& path, const std::wstring& folder)
{
    const std::wstring prefix = folder + L"\\";
    return path.size() > prefix.size() && CompareFoldedPrefix(path.c_str(), prefix.c_str(), prefix.size()) == 0;
}

}  // namespace

void EndTestPrograms()
{
    // By name wherever they run from (Notepad and the browser from the system's folders),
    // and whatever runs from the maker's folder (helpers copied into the installation folder
    // or beside it under other names) or the temporary folder.
    const wchar_t* const names[] = {L"setup.exe",    L"recorder.exe", L"sleeper.exe", L"notepad.exe",
                                    L"Uninstall.exe", L"iexplore.exe", L"Ravelnest Reelshifter SDK Uninstall.exe"};
    const std::wstring places[] = {MakerFolderPath(), TemporaryFolderPath()};
    const CHandleHolder snapshot = HoldValidHandle(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return;
    }
    ForEachProcess(snapshot.Get(), [&](const PROCESSENTRY32W& entry) {
        const CHandleHolder process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE,
                                                FALSE, entry.th32ProcessID));
        if (!process || entry.th32ProcessID == GetCurrentProcessId()) {
            return;
        }
        bool ours = std::any_of(std::begin(names), std::end(names),
                                [&](const wchar_t* name) { return EqualsFolded(entry.szExeFile, name); });
        wchar_t image[MAX_PATH * 2] = {};
        DWORD length = MAX_PATH * 2;
        if (!ours && QueryFullProcessImageNameW(process.Get(), 0, image, &length)) {
            ours = std::any_of(std::begin(places), std::end(places),
                               [&](const std::wstring& place) { return LiesBelow(image, place); });
        }
        if (ours) {
            TerminateProcess(process.Get(), 99);
            WaitForSingleObject(process.Get(), 5000);
        }
    });
}

namespace {

struct WindowSearch {
    DWORD processId;
    const wchar_t* className;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId) {
        return TRUE;
    }
    wchar_t text[512] = {};
    if (search->className) {
        GetClassNameW(window, text, 512);
        if (wcscmp(text, search->className) != 0) {
            return TRUE;
        }
    }
    if (search->caption) {
        GetWindowTextW(window, text, 512);
        if (wcscmp(text, search->caption) != 0) {
            return TRUE;
        }
    }
    search->found = window;
    return FALSE;
}

HWND FindProcessWindow(DWORD processId, const wchar_t* className, const wchar_t* caption)
{
    WindowSearch search = {processId, className, caption, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

HWND WaitForWindow(DWORD processId, const wchar_t* className, const wchar_t* caption, DWORD timeoutMilliseconds)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMilliseconds;
    do {
        if (HWND window = FindProcessWindow(processId, className, caption)) {
            return window;
        }
        Sleep(50);
    } while (GetTickCount64() < deadline);
    return nullptr;
}

std::wstring WindowText(HWND window)
{
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

namespace {

// Either the process ends (returns its exit code) or the window appears (returns STILL_ACTIVE
// and sets `window`).
DWORD WaitForExitOrWindow(const StartedProgram& program, const wchar_t* className, const wchar_t* caption,
                          HWND& window, DWORD timeoutMilliseconds = 20000)
{
    window = nullptr;
    const ULONGLONG deadline = GetTickCount64() + timeoutMilliseconds;
    do {
        if (WaitForSingleObject(program.process, 50) == WAIT_OBJECT_0) {
            DWORD exitCode = 0;
            GetExitCodeProcess(program.process, &exitCode);
            return exitCode;
        }
        window = FindProcessWindow(program.id, className, caption);
    } while (!window && GetTickCount64() < deadline);
    return STILL_ACTIVE;
}

}  // namespace

DWORD RunSetupAndQuit(const std::wstring& setupPath, const std::wstring& arguments)
{
    const StartedProgram setup = StartProgramWithId(Quoted(setupPath) + L" " + arguments);
    if (!setup.process) {
        return 0xFFFFFFFF;
    }
    HWND dialog = nullptr;
    const DWORD early = WaitForExitOrWindow(setup, L"#32770", SetupCaption, dialog);
    if (early != STILL_ACTIVE || !dialog) {
        return FinishProgram(setup.process);
    }
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
    return FinishProgram(setup.process);
}

HWND WaitForMessageBox(DWORD processId, HWND dialog, HANDLE process, DWORD timeoutMilliseconds)
{
    for (DWORD waited = 0; waited < timeoutMilliseconds; waited += 50) {
        HWND found = nullptr;
        while ((found = FindWindowExW(nullptr, found, L"#32770", SetupCaption)) != nullptr) {
            DWORD owner = 0;
            GetWindowThreadProcessId(found, &owner);
            if (owner == processId && found != dialog) {
                return found;
            }
        }
        if (!IsRunning(process)) {
            return nullptr;
        }
        Sleep(50);
    }
    return nullptr;
}

SetupRun RunSetup(const std::wstring& setupPath, Confirm confirm, const std::function<void()>& whileDialogWaits,
                  DWORD messageTimeoutMilliseconds)
{
    SetupRun run;
    // From its own folder, as Explorer starts a program.
    const std::wstring folder = setupPath.substr(0, setupPath.find_last_of(L'\\'));
    const StartedProgram setup = StartProgramWithId(Quoted(setupPath), folder.c_str());
    if (!setup.process) {
        return run;
    }
    HWND dialog = WaitForWindow(setup.id, L"#32770", SetupCaption);
    if (!dialog) {
        run.exitCode = FinishProgram(setup.process, 1000);
        return run;
    }
    if (whileDialogWaits) {
        whileDialogWaits();
    }
    if (confirm == Confirm::Click) {
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    } else {
        PostMessageW(GetDlgItem(dialog, IDOK), WM_KEYDOWN, VK_RETURN, 0);
    }
    if (HWND box = WaitForMessageBox(setup.id, dialog, setup.process, messageTimeoutMilliseconds)) {
        run.sawMessage = true;
        wchar_t text[1024] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 1024);
        run.messageText = text;
        // The message box's icon is a static control of its own beside the text.
        HWND icon = GetDlgItem(box, 0x0014);  // Windows
        if (!icon) {
            icon = GetDlgItem(box, 0x0440);  // Wine
        }
        run.messageHasErrorIcon = icon != nullptr && SendMessageW(icon, STM_GETICON, 0, 0) != 0;
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
    run.exitCode = FinishProgram(setup.process);
    return run;
}

DWORD RunUninstallEntry()
{
    const StartedProgram first = StartProgramWithId(UninstallEntryCommand(), InstallFolderPath().c_str());
    return FinishProgram(first.process);
}

std::vector<DWORD> WaitForTemporaryCopies(DWORD timeoutMilliseconds)
{
    const std::wstring copy = UninstallCopyPath();
    std::vector<DWORD> exitCodes;
    for (DWORD id : ProcessesNamed(L"Ravelnest Reelshifter SDK Uninstall.exe")) {
        const CHandleHolder process(
            OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, id));
        if (!process) {
            continue;
        }
        wchar_t image[MAX_PATH * 2] = {};
        DWORD length = MAX_PATH * 2;
        if (QueryFullProcessImageNameW(process.Get(), 0, image, &length) && EqualsFolded(image, copy.c_str())) {
            if (WaitForSingleObject(process.Get(), timeoutMilliseconds) != WAIT_OBJECT_0) {
                TerminateProcess(process.Get(), 99);
                WaitForSingleObject(process.Get(), 5000);
            }
            DWORD exitCode = 0xFFFFFFFF;
            GetExitCodeProcess(process.Get(), &exitCode);
            exitCodes.push_back(exitCode);
        }
    }
    return exitCodes;
}
