#include "DesktopShell.h"

#include <exdisp.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include "ComHolder.h"
#include "HandleHolder.h"

namespace {

// Owns one BSTR.
class CBstr {
public:
    explicit CBstr(const wchar_t* text) : m_text(text ? SysAllocString(text) : nullptr) {}
    ~CBstr() { SysFreeString(m_text); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;

    BSTR Get() const noexcept { return m_text; }

private:
    BSTR m_text;
};

// A text argument, or an empty one (the method's default) for null.
VARIANT TextArgument(const CBstr& text)
{
    VARIANT argument;
    VariantInit(&argument);
    if (text.Get()) {
        argument.vt = VT_BSTR;
        argument.bstrVal = text.Get();
    }
    return argument;
}

// The desktop window's browser, its active view's background object and that object's
// application: the Shell.Application of the desktop's own process. An instance created
// here would run inside this process.
void FindDesktopShell(CComHolder<IShellDispatch2>& shell)
{
    CComHolder<IShellWindows> windows;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                windows.Receive()))) {
        return;
    }
    VARIANT desktopLocation;
    VariantInit(&desktopLocation);
    desktopLocation.vt = VT_I4;
    desktopLocation.lVal = CSIDL_DESKTOP;
    VARIANT noRoot;
    VariantInit(&noRoot);
    long window = 0;
    CComHolder<IDispatch> desktop;
    if (windows->FindWindowSW(&desktopLocation, &noRoot, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                              reinterpret_cast<IDispatch**>(desktop.Receive())) != S_OK ||
        !desktop) {
        return;
    }
    CComHolder<IServiceProvider> services;
    CComHolder<IShellBrowser> browser;
    CComHolder<IShellView> view;
    CComHolder<IDispatch> background;
    CComHolder<IShellFolderViewDual> folderView;
    CComHolder<IDispatch> application;
    if (FAILED(desktop->QueryInterface(IID_IServiceProvider, services.Receive())) ||
        FAILED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.Receive())) ||
        FAILED(browser->QueryActiveShellView(reinterpret_cast<IShellView**>(view.Receive()))) || !view ||
        FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.Receive())) || !background ||
        FAILED(background->QueryInterface(IID_IShellFolderViewDual, folderView.Receive())) ||
        FAILED(folderView->get_Application(reinterpret_cast<IDispatch**>(application.Receive()))) ||
        !application) {
        return;
    }
    application->QueryInterface(IID_IShellDispatch2, shell.Receive());
}

// One call on the route to the desktop's shell: find it, then, when `open` is set, open the
// file through it. Shared by the caller and the thread that makes the call; whichever lets
// go last frees it, so that a caller that stopped waiting leaves the thread nothing freed.
struct CShellCall {
    LONG references = 2;
    LONG abandoned = 0;
    bool open = false;
    CWideString file;
    CWideString parameters;
    CWideString folder;
    CWideString verb;
    bool hasParameters = false;
    bool hasFolder = false;
    bool hasVerb = false;
    bool reached = false;
    bool started = false;
};

void Release(CShellCall* call)
{
    if (InterlockedDecrement(&call->references) == 0) {
        delete call;
    }
}

bool OpenThrough(const CComHolder<IShellDispatch2>& shell, const CShellCall& call)
{
    const CBstr fileText(call.file);
    const CBstr parametersText(call.hasParameters ? call.parameters.Text() : nullptr);
    const CBstr folderText(call.hasFolder ? call.folder.Text() : nullptr);
    const CBstr verbText(call.hasVerb ? call.verb.Text() : nullptr);
    VARIANT show;
    VariantInit(&show);
    show.vt = VT_I4;
    show.lVal = SW_SHOWNORMAL;
    // S_FALSE: the shell could not start it.
    return fileText.Get() && shell->ShellExecute(fileText.Get(), TextArgument(parametersText),
                                                 TextArgument(folderText), TextArgument(verbText), show) == S_OK;
}

DWORD WINAPI MakeShellCall(void* parameter)
{
    CShellCall* call = static_cast<CShellCall*>(parameter);
    // An apartment of the thread's own, which needs no message loop for its outgoing calls.
    if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        {
            CComHolder<IShellDispatch2> shell;
            FindDesktopShell(shell);
            call->reached = static_cast<bool>(shell);
            // A caller that stopped waiting counts the shell as unreached: nothing starts late.
            if (shell && call->open && InterlockedCompareExchange(&call->abandoned, 0, 0) == 0) {
                call->started = OpenThrough(shell, *call);
            }
        }
        CoUninitialize();
    }
    Release(call);
    return 0;
}

bool IsInput(UINT message)
{
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) || (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK);
}

// Waits for `object` at most `milliseconds`. This thread's windows keep repainting meanwhile;
// clicks and keys that arrive meanwhile are dropped, so that a waiting dialog starts nothing
// a second time, and replays nothing once the wait is over.
bool WaitHandlingMessages(HANDLE object, DWORD milliseconds)
{
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD remaining = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        const DWORD waited = MsgWaitForMultipleObjects(1, &object, FALSE, remaining, QS_ALLINPUT);
        if (waited != WAIT_OBJECT_0 + 1) {
            return waited == WAIT_OBJECT_0;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                // For the loop that ends on it; this wait goes on without handling messages.
                PostQuitMessage(static_cast<int>(message.wParam));
                return WaitForSingleObject(object, remaining) == WAIT_OBJECT_0;
            }
            if (!IsInput(message.message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    }
}

// Makes `call` on a thread of its own and waits for it at most `milliseconds`; false, with
// the call abandoned, when it has not ended by then. Takes the thread's reference.
bool MakeBoundedShellCall(CShellCall* call, DWORD milliseconds)
{
    HANDLE thread = CreateThread(nullptr, 0, MakeShellCall, call, 0, nullptr);
    if (!thread) {
        Release(call);
        return false;
    }
    const CHandleHolder held(thread);
    if (WaitHandlingMessages(thread, milliseconds)) {
        return true;
    }
    InterlockedExchange(&call->abandoned, 1);
    return false;
}

}  // namespace

TokenFacts ReadTokenFacts()
{
    // What is not known counts as an administrator's.
    TokenFacts facts = {false, TokenElevationTypeDefault, true, SECURITY_MANDATORY_SYSTEM_RID};
    HANDLE opened = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) {
        return facts;
    }
    const CHandleHolder token(opened);
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    union {
        TOKEN_MANDATORY_LABEL label;
        BYTE bytes[sizeof(TOKEN_MANDATORY_LABEL) + SECURITY_MAX_SID_SIZE];
    } integrity;
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD administratorsSize = sizeof(administrators);
    DWORD size = 0;
    BOOL member = TRUE;
    if (!GetTokenInformation(token.Get(), TokenElevationType, &type, sizeof(type), &size) ||
        !GetTokenInformation(token.Get(), TokenIntegrityLevel, &integrity, sizeof(integrity), &size) ||
        !CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &administratorsSize) ||
        !CheckTokenMembership(nullptr, administrators, &member)) {
        return facts;
    }
    const PSID label = integrity.label.Label.Sid;
    const UCHAR count = *GetSidSubAuthorityCount(label);
    if (count == 0) {
        return facts;
    }
    return {true, type, member != FALSE, *GetSidSubAuthority(label, count - 1)};
}

StartRoute ChooseStartRoute(const TokenFacts& token, bool shellReached)
{
    if (shellReached) {
        return StartRoute::ThroughDesktopShell;
    }
    const bool carriesAdministratorsRights = !token.readable || token.administratorsEnabled ||
                                             token.integrityLevel >= SECURITY_MANDATORY_HIGH_RID ||
                                             token.elevationType == TokenElevationTypeFull;
    return carriesAdministratorsRights ? StartRoute::Nothing : StartRoute::Directly;
}

CDesktopShell::CDesktopShell()
    : m_deadline(GetTickCount64() + RouteMilliseconds), m_token(ReadTokenFacts()), m_reached(false)
{
    CShellCall* call = new CShellCall;
    m_reached = MakeBoundedShellCall(call, RemainingMilliseconds()) && call->reached;
    Release(call);
}

DWORD CDesktopShell::RemainingMilliseconds() const noexcept
{
    const ULONGLONG now = GetTickCount64();
    return now >= m_deadline ? 0 : static_cast<DWORD>(m_deadline - now);
}

bool CDesktopShell::CanStart() const noexcept
{
    return ChooseStartRoute(m_token, m_reached) != StartRoute::Nothing;
}

bool CDesktopShell::Open(const wchar_t* file, const wchar_t* parameters, const wchar_t* folder, const wchar_t* verb)
{
    switch (ChooseStartRoute(m_token, m_reached)) {
    case StartRoute::ThroughDesktopShell:
        break;
    case StartRoute::Directly:
        return reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, verb, file, parameters, folder, SW_SHOWNORMAL)) > 32;
    case StartRoute::Nothing:
        return false;
    }
    CShellCall* call = new CShellCall;
    call->open = true;
    call->file = file;
    call->hasParameters = parameters != nullptr;
    call->parameters = parameters ? parameters : L"";
    call->hasFolder = folder != nullptr;
    call->folder = folder ? folder : L"";
    call->hasVerb = verb != nullptr;
    call->verb = verb ? verb : L"";
    const bool ended = MakeBoundedShellCall(call, RemainingMilliseconds());
    // Cut off, or the shell gone since: from now on the shell counts as not reached.
    m_reached = ended && call->reached;
    const bool started = ended && call->started;
    Release(call);
    return started;
}
