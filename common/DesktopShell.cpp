#include "DesktopShell.h"

#include <exdisp.h>
#include <shellapi.h>
#include <shlguid.h>
#include <shlobj.h>

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

}  // namespace

bool RunsWithElevatedFullToken()
{
    HANDLE opened = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) {
        return true;
    }
    const CHandleHolder token(opened);
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size = 0;
    return !GetTokenInformation(token.Get(), TokenElevationType, &type, sizeof(type), &size) ||
           type == TokenElevationTypeFull;
}

CDesktopShell::CDesktopShell() : m_elevated(RunsWithElevatedFullToken())
{
    FindDesktopShell(m_shell);
}

bool CDesktopShell::Open(const wchar_t* file, const wchar_t* parameters, const wchar_t* folder,
                         const wchar_t* verb) const
{
    if (!m_shell) {
        return !m_elevated && reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, verb, file, parameters, folder,
                                                                      SW_SHOWNORMAL)) > 32;
    }
    const CBstr fileText(file);
    const CBstr parametersText(parameters);
    const CBstr folderText(folder);
    const CBstr verbText(verb);
    VARIANT show;
    VariantInit(&show);
    show.vt = VT_I4;
    show.lVal = SW_SHOWNORMAL;
    // S_FALSE: the shell could not start it.
    return fileText.Get() && m_shell->ShellExecute(fileText.Get(), TextArgument(parametersText),
                                                   TextArgument(folderText), TextArgument(verbText), show) == S_OK;
}
