#include "PrerequisitesDialog.h"

#include "DownloadPage.h"
#include "ProcessGlobals.h"
#include "ProductConstants.h"
#include "RunInstallation.h"
#include "SetupResources.h"

namespace {

struct DownloadPage {
    int control;
    const wchar_t* url;
};

const DownloadPage DownloadPages[] = {
    {IDC_QUICKTIME_703, L"http://www.apple.com/jp/quicktime/download/standalone.html"},
    {IDC_QUICKTIME_652, L"http://www.apple.com/jp/ftp-info/reference/quicktime652forwindows.html"},
    {IDC_QUICKTIME_652_NOTES, L"http://www.ravelnest.jp/ravelnest/qt6.htm"},
    {IDC_REELSHIFTER, L"http://www.ravelnest.jp/ravelnest/"},
    {IDC_3IVX, L"http://www.3ivx.com/download/windows.html"},
    {IDC_FLASH_VIDEO_EXPORTER, L"http://download.macromedia.com/pub/flash/updates/mx2004/video_update/flash_video_update.zip"},
};

void OnCommand(HWND dialog, int control)
{
    switch (control) {
    case IDOK:
        RunInstallation(dialog);
        return;
    case IDCANCEL:
        PostThreadMessageW(MainThreadId, WM_QUIT, 0, 0);
        return;
    default:
        for (const DownloadPage& page : DownloadPages) {
            if (page.control == control) {
                OpenDownloadPage(page.url);
            }
        }
        return;
    }
}

}  // namespace

CWideString LoadResourceText(UINT id)
{
    const wchar_t* text = nullptr;
    // With a zero length LoadStringW hands out a read-only pointer into the resource.
    const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    CWideString result;
    if (length > 0) {
        result.Assign(text, length);
    }
    return result;
}

INT_PTR CALLBACK PrerequisitesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(dialog, GWLP_USERDATA, lParam);
        const CWideString caption = ProductTitle() + LoadResourceText(IDS_SETUP_CAPTION_SUFFIX);
        SendMessageW(dialog, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(caption.Text()));
        return 1;
    }
    case WM_COMMAND:
        // Only button clicks (notification code 0) act.
        if (HIWORD(wParam) == 0) {
            OnCommand(dialog, LOWORD(wParam));
        }
        return 1;
    default:
        return 0;
    }
}
