#include "TestSupport.h"

#include <shlobj.h>
#include <shlwapi.h>

#include "MachineState.h"

std::wstring BinFolder()
{
    wchar_t path[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, path, static_cast<DWORD>(sizeof(path) / sizeof(path[0])));
    PathRemoveFileSpecW(path);
    return path;
}

std::wstring BinPath(const wchar_t* name)
{
    return BinFolder() + L"\\" + name;
}

std::wstring Quoted(const std::wstring& path)
{
    return L"\"" + path + L"\"";
}

HANDLE StartProgram(const std::wstring& commandLine)
{
    std::wstring writable = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &writable[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
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

void DeleteTestKey(HKEY root, const wchar_t* path)
{
    SHDeleteKeyW(root, path);
}

bool KeyExists(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

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
        CloseHandle(process.hThread);
        started.process = process.hProcess;
        started.id = process.dwProcessId;
    }
    return started;
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

bool IsRunning(HANDLE process)
{
    return WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
}

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

DWORD WaitForExitOrWindow(const StartedProgram& program, const wchar_t* className, const wchar_t* caption,
                          HWND& window, DWORD timeoutMilliseconds)
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

std::wstring WindowText(HWND window)
{
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

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

std::wstring FullPath(const std::wstring& path)
{
    wchar_t full[MAX_PATH] = {};
    GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return full;
}

std::wstring PackageFolder()
{
    return FullPath(BinFolder() + L"\\..\\package\\ReelshifterSDK");
}

// Replaces a registry string for the life of the object.
CStringOverride::CStringOverride(HKEY root, std::wstring path, const wchar_t* name, const std::wstring& value)
    : m_root(root), m_path(std::move(path)), m_name(name ? name : L""), m_hadValue(false)
{
    m_hadValue = ReadString(m_root, m_path, NameOrNull(), m_old);
    SetString(m_root, m_path, NameOrNull(), value);
}

CStringOverride::~CStringOverride()
{
    if (m_hadValue) {
        SetString(m_root, m_path, NameOrNull(), m_old);
    } else {
        HKEY key = nullptr;
        if (RegOpenKeyExW(m_root, m_path.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueW(key, NameOrNull());
            RegCloseKey(key);
        }
    }
}

HWND WaitForMessageBox(DWORD processId, HWND dialog, HANDLE process)
{
    for (int i = 0; i < 600; ++i) {
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

SetupRun RunSetup(const std::wstring& setupPath, Confirm confirm)
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
    if (confirm == Confirm::Click) {
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    } else {
        PostMessageW(GetDlgItem(dialog, IDOK), WM_KEYDOWN, VK_RETURN, 0);
    }
    if (HWND box = WaitForMessageBox(setup.id, dialog, setup.process)) {
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


CReadmeRecorder::CReadmeRecorder(const std::wstring& log)
{
    SetEnvironmentVariableW(L"RAVELNEST_RECORDER_LOG", log.c_str());
    SetString(HKEY_CLASSES_ROOT, L"RavelnestTests.TextFile\\shell\\open\\command", nullptr,
              Quoted(BinPath(L"recorder.exe")) + L" \"%1\"");
    m_textFiles.reset(new CStringOverride(HKEY_CLASSES_ROOT, L".txt", nullptr, L"RavelnestTests.TextFile"));
}

CReadmeRecorder::~CReadmeRecorder()
{
    m_textFiles.reset();
    SHDeleteKeyW(HKEY_CLASSES_ROOT, L"RavelnestTests.TextFile");
}

void EndTestPrograms()
{
    for (const wchar_t* name : {L"setup.exe", L"recorder.exe", L"sleeper.exe", L"notepad.exe", L"Uninstall.exe",
                                L"iexplore.exe", L"Ravelnest Reelshifter SDK Uninstall.exe"}) {
        for (DWORD id : ProcessesNamed(name)) {
            if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id)) {
                TerminateProcess(process, 99);
                WaitForSingleObject(process, 5000);
                CloseHandle(process);
            }
        }
    }
}

std::wstring UninstallCopyPath()
{
    std::wstring folder = ShellFolder(CSIDL_LOCAL_APPDATA);
    folder.erase(folder.find_last_of(L'\\'));
    return folder + L"\\Temp\\Ravelnest Reelshifter SDK Uninstall.exe";
}

std::wstring TemporaryFolderPath()
{
    std::wstring folder = UninstallCopyPath();
    return folder.erase(folder.find_last_of(L'\\'));
}

std::wstring UninstallEntryCommand()
{
    std::wstring command;
    ReadString(HKEY_LOCAL_MACHINE, std::wstring(UninstallKey) + L"\\" + EntryName, L"UninstallString", command);
    return command;
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
        HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, id);
        if (!process) {
            continue;
        }
        wchar_t image[MAX_PATH * 2] = {};
        DWORD length = MAX_PATH * 2;
        if (QueryFullProcessImageNameW(process, 0, image, &length) && lstrcmpiW(image, copy.c_str()) == 0) {
            if (WaitForSingleObject(process, timeoutMilliseconds) != WAIT_OBJECT_0) {
                TerminateProcess(process, 99);
                WaitForSingleObject(process, 5000);
            }
            DWORD exitCode = 0xFFFFFFFF;
            GetExitCodeProcess(process, &exitCode);
            exitCodes.push_back(exitCode);
        }
        CloseHandle(process);
    }
    return exitCodes;
}
