// setup's prerequisites dialog as a user meets it: its layout and resource, the ways to
// quit it, and the download buttons with the browser each one starts, whatever lies
// beside a downloaded setup.exe.
#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>
#include <sddl.h>
#include <shlwapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "HandleHolder.h"
#include "SetupFixture.h"
#include "SystemFolder.h"
#include "TestFiles.h"
#include "TestPrograms.h"
#include "TestRegistry.h"
#include "TextFold.h"

namespace {

const wchar_t* const AppPathsIexplore = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\iexplore.exe";

// Wine keeps a placeholder iexplore.exe in system32, which a search finds before App Paths;
// on Windows only App Paths names Internet Explorer.
std::wstring SystemIexplore()
{
    return std::wstring(SystemFolder()) + L"\\iexplore.exe";
}

// Replaces a file with another (or removes it, for an empty replacement) for the life of the
// object.
class CFileStandIn {
public:
    CFileStandIn(std::wstring path, const std::wstring& replacement)
        : m_path(std::move(path)), m_saved(m_path + L".ravelnest-saved")
    {
        m_moved = MoveFileExW(m_path.c_str(), m_saved.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
        if (!replacement.empty()) {
            CopyFileW(replacement.c_str(), m_path.c_str(), FALSE);
        }
    }
    ~CFileStandIn()
    {
        DeleteFileW(m_path.c_str());
        if (m_moved) {
            MoveFileExW(m_saved.c_str(), m_path.c_str(), MOVEFILE_REPLACE_EXISTING);
        }
    }
    CFileStandIn(const CFileStandIn&) = delete;
    CFileStandIn& operator=(const CFileStandIn&) = delete;

private:
    std::wstring m_path;
    std::wstring m_saved;
    bool m_moved = false;
};

// A registry key that everyone, administrators included, may only read, as Windows keeps
// the keys of its own installer; its permissions as they were afterwards.
class CReadOnlyKey {
public:
    CReadOnlyKey(HKEY root, const wchar_t* path)
    {
        if (RegOpenKeyExW(root, path, 0, READ_CONTROL | WRITE_DAC, &m_key) != ERROR_SUCCESS) {
            m_key = nullptr;
            return;
        }
        DWORD size = 0;
        RegGetKeySecurity(m_key, DACL_SECURITY_INFORMATION, nullptr, &size);
        m_saved.resize(size);
        PSECURITY_DESCRIPTOR readOnly = nullptr;
        m_applied = RegGetKeySecurity(m_key, DACL_SECURITY_INFORMATION, m_saved.data(), &size) == ERROR_SUCCESS &&
                    ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;0x20019;;;WD)", SDDL_REVISION_1,
                                                                         &readOnly, nullptr) &&
                    RegSetKeySecurity(m_key, DACL_SECURITY_INFORMATION, readOnly) == ERROR_SUCCESS;
        LocalFree(readOnly);
    }
    ~CReadOnlyKey()
    {
        if (m_applied) {
            RegSetKeySecurity(m_key, DACL_SECURITY_INFORMATION, m_saved.data());
        }
        if (m_key) {
            RegCloseKey(m_key);
        }
    }
    CReadOnlyKey(const CReadOnlyKey&) = delete;
    CReadOnlyKey& operator=(const CReadOnlyKey&) = delete;

    bool Applied() const { return m_applied; }

private:
    HKEY m_key = nullptr;
    std::vector<BYTE> m_saved;
    bool m_applied = false;
};

// The command line and image path of the next browser process started since `seen` (which
// it joins), ended once read; an empty command line when none starts within 10 s, or when
// setup started it itself rather than through the desktop's shell.
std::wstring NextBrowserCommandLine(std::vector<DWORD>& seen, std::wstring& image)
{
    const CHandleHolder browser(WaitForNewProcess(L"iexplore.exe", seen));
    if (!browser) {
        return std::wstring();
    }
    const std::wstring starter = ParentProcessName(GetProcessId(browser.Get()));
    if (!EqualsFolded(L"explorer.exe", starter.c_str())) {
        TerminateProcess(browser.Get(), 0);
        return L"(started by " + starter + L")";
    }
    wchar_t path[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    QueryFullProcessImageNameW(browser.Get(), 0, path, &length);
    image = path;
    const std::wstring commandLine = ProcessCommandLine(browser.Get());
    TerminateProcess(browser.Get(), 0);
    return commandLine;
}

struct DownloadButton {
    int id;
    const wchar_t* url;
};

const DownloadButton DownloadButtons[] = {
    {1002, L"http://www.apple.com/jp/quicktime/download/standalone.html"},
    {1003, L"http://www.apple.com/jp/ftp-info/reference/quicktime652forwindows.html"},
    {1009, L"http://www.ravelnest.jp/ravelnest/qt6.htm"},
    {1004, L"http://www.ravelnest.jp/ravelnest/"},
    {1005, L"http://www.3ivx.com/download/windows.html"},
    {1006, L"http://download.macromedia.com/pub/flash/updates/mx2004/video_update/flash_video_update.zip"},
};

bool EndsWith(const std::wstring& text, const std::wstring& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

TEST_F(SetupTest, DialogTemplateHasEveryControlAsDesigned)
{
    const StartedProgram setup = StartProgramWithId(Quoted(PackageFolder() + L"\\setup.exe"));
    HWND dialog = WaitForWindow(setup.id, L"#32770", SetupCaption);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(SetupCaption, WindowText(dialog));
    const LONG style = GetWindowLongW(dialog, GWL_STYLE);
    for (LONG bit : {static_cast<LONG>(WS_POPUP), static_cast<LONG>(WS_CAPTION), static_cast<LONG>(WS_SYSMENU), static_cast<LONG>(DS_MODALFRAME)}) {
        EXPECT_EQ(bit, style & bit) << std::hex << bit;
    }

    const struct {
        int id;
        const wchar_t* className;
        RECT units;
        const wchar_t* text;
    } controls[] = {
        {-1, L"Static", {6, 6, 278, 8},
         L"Reelshifter \x30BD\x30D5\x30C8\x30A6\x30A7\x30A2\x958B\x767A\x30AD\x30C3\x30C8 \x3092\x30C0\x30A6\x30F3"
         L"\x30ED\x30FC\x30C9\x3057\x3066\x3044\x305F\x3060\x304D\x3001\x3042\x308A\x304C\x3068\x3046\x3054\x3056"
         L"\x3044\x307E\x3059\x3002"},
        {-1, L"Static", {6, 18, 292, 8},
         L"\x30A4\x30F3\x30B9\x30C8\x30FC\x30EB\x524D\x306B\x3001\x6B21\x306E\x30A2\x30D7\x30EA\x30B1\x30FC\x30B7"
         L"\x30E7\x30F3\x304C\x3042\x3089\x304B\x3058\x3081\x30A4\x30F3\x30B9\x30C8\x30FC\x30EB\x3055\x308C\x3066"
         L"\x3044\x308B\x5FC5\x8981\x304C\x3042\x308A\x307E\x3059\x3002"},
        {-1, L"Static", {6, 30, 55, 8}, L"\x3054\x78BA\x8A8D\x304F\x3060\x3055\x3044\x3002"},
        {-1, L"Static", {6, 48, 277, 8},
         L"QuickTime 7.0.3 \x307E\x305F\x306F 6.5.2 \xFF08\x5909\x63DB\x53EF\x80FD\x306A\x30D5\x30A1\x30A4\x30EB"
         L"\x5F62\x5F0F\x306E\x591A\x3044 7.0.3 \x3092\x63A8\x5968\x3057\x307E\x3059\xFF09"},
        {1002, L"Button", {6, 60, 168, 14},
         L"QuickTime 7.0.3 \x306E\x30C0\x30A6\x30F3\x30ED\x30FC\x30C9\x30DA\x30FC\x30B8\x3092\x958B\x304F"},
        {1003, L"Button", {6, 78, 168, 14},
         L"QuickTime 6.5.2 \x306E\x30C0\x30A6\x30F3\x30ED\x30FC\x30C9\x30DA\x30FC\x30B8\x3092\x958B\x304F"},
        {1009, L"Button", {6, 96, 210, 14},
         L"QuickTime 6.5.2 \x3092\x304A\x4F7F\x3044\x306E\x5834\x5408\x306E\x6CE8\x610F\x4E8B\x9805\x306E\x30DA"
         L"\x30FC\x30B8\x3092\x958B\x304F"},
        {-1, L"Static", {6, 120, 182, 8},
         L"Reelshifter 1.3.0 \x4EE5\x4E0A\xFF08\x5FC5\x305A\x30A4\x30F3\x30B9\x30C8\x30FC\x30EB\x3057\x3066\x304F"
         L"\x3060\x3055\x3044\xFF09"},
        {1004, L"Button", {6, 132, 168, 14},
         L"Reelshifter \x306E\x30C0\x30A6\x30F3\x30ED\x30FC\x30C9\x30DA\x30FC\x30B8\x3092\x958B\x304F"},
        {-1, L"Static", {6, 156, 318, 8},
         L"\x300C" L"DivX 3,4,5\x300D\x5F62\x5F0F\xFF08\x62E1\x5F35\x5B50 avi\xFF09\x306E\x8AAD\x307F\x8FBC\x307F"
         L"\x3092\x3059\x308B\x5834\x5408\x306F\x3001\x6B21\x306E\x8FFD\x52A0\x30B3\x30F3\x30DD\x30FC\x30CD\x30F3"
         L"\x30C8\x304C\x5FC5\x8981\x3067\x3059\x3002"},
        {1005, L"Button", {6, 168, 168, 14},
         L"3ivx D4 \x306E\x30C0\x30A6\x30F3\x30ED\x30FC\x30C9\x30DA\x30FC\x30B8\x3092\x958B\x304F"},
        {-1, L"Static", {6, 192, 279, 8},
         L"\x300C" L"FLV\x300D\x5F62\x5F0F\x306E\x30D5\x30A1\x30A4\x30EB\x306E\x66F8\x304D\x51FA\x3057\x3092\x3059"
         L"\x308B\x5834\x5408\x306F\x3001\x6B21\x306E\x8FFD\x52A0\x30B3\x30F3\x30DD\x30FC\x30CD\x30F3\x30C8\x304C"
         L"\x5FC5\x8981\x3067\x3059\x3002"},
        {1006, L"Button", {6, 204, 168, 14},
         L"Flash Video Exporter \x306E\x30C0\x30A6\x30F3\x30ED\x30FC\x30C9\x30DA\x30FC\x30B8\x3092\x958B\x304F"},
        {1, L"Button", {174, 228, 60, 14}, L"\x6B21\x3078\x9032\x3080"},
        {2, L"Button", {240, 228, 60, 14}, L"\x7D42\x4E86"},
    };
    RECT client = {};
    GetClientRect(dialog, &client);
    HWND child = GetWindow(dialog, GW_CHILD);
    for (const auto& control : controls) {
        ASSERT_NE(nullptr, child) << "missing control " << control.id;
        EXPECT_EQ(control.id, GetDlgCtrlID(child));
        wchar_t className[64] = {};
        GetClassNameW(child, className, 64);
        EXPECT_STREQ(control.className, className);
        EXPECT_EQ(control.text, WindowText(child)) << "control " << control.id;
        // Dialog units to pixels through the dialog's own scale: its client area is 307 x 246 units.
        RECT actual = {};
        GetWindowRect(child, &actual);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
        const auto x = [&client](LONG units) { return MulDiv(units, client.right, 307); };
        const auto y = [&client](LONG units) { return MulDiv(units, client.bottom, 246); };
        EXPECT_NEAR(x(control.units.left), actual.left, 1) << "control " << control.id;
        EXPECT_NEAR(y(control.units.top), actual.top, 1) << "control " << control.id;
        EXPECT_NEAR(x(control.units.right), actual.right - actual.left, 1) << "control " << control.id;
        EXPECT_NEAR(y(control.units.bottom), actual.bottom - actual.top, 1) << "control " << control.id;
        const LONG childStyle = GetWindowLongW(child, GWL_STYLE);
        EXPECT_TRUE(childStyle & WS_VISIBLE);
        if (control.id == -1) {
            EXPECT_EQ(SS_LEFT, childStyle & SS_TYPEMASK);
            EXPECT_TRUE(childStyle & WS_GROUP);
        } else {
            EXPECT_TRUE(childStyle & WS_TABSTOP) << "control " << control.id;
            EXPECT_EQ(control.id == 1 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, childStyle & BS_TYPEMASK)
                << "control " << control.id;
        }
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(nullptr, child);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
    EXPECT_EQ(0u, FinishProgram(setup.process));
}

// The resource itself: Japanese, extended template, size, styles and font as designed.
TEST_F(SetupTest, DialogResourceIsJapaneseExtendedTemplate)
{
    HMODULE module = LoadLibraryExW((PackageFolder() + L"\\setup.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module);
    HRSRC resource = FindResourceExW(module, MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(101),
                                     MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
    ASSERT_NE(nullptr, resource);
    const auto* words = static_cast<const WORD*>(LockResource(LoadResource(module, resource)));
    ASSERT_NE(nullptr, words);
    EXPECT_EQ(1, words[0]);       // dlgVer
    EXPECT_EQ(0xFFFF, words[1]);  // extended template
    DWORD style = 0;
    memcpy(&style, words + 6, sizeof(style));
    EXPECT_EQ(static_cast<DWORD>(DS_SHELLFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU), style);
    EXPECT_EQ(15, words[8]);  // controls
    EXPECT_EQ(307, words[11]);
    EXPECT_EQ(246, words[12]);
    const WORD* rest = words + 13;
    EXPECT_EQ(0, *rest++);  // no menu
    EXPECT_EQ(0, *rest++);  // default class
    EXPECT_EQ(0, *rest++);  // no caption in the template
    EXPECT_EQ(8, rest[0]);    // points
    EXPECT_EQ(400, rest[1]);  // weight
    EXPECT_STREQ(L"MS Shell Dlg", reinterpret_cast<const wchar_t*>(rest + 3));
    // The first control is an unnamed static: its id is 0xFFFFFFFF in the extended template.
    const auto* afterFont = reinterpret_cast<const BYTE*>(rest + 3 + wcslen(reinterpret_cast<const wchar_t*>(rest + 3)) + 1);
    const auto* item = reinterpret_cast<const BYTE*>((reinterpret_cast<UINT_PTR>(afterFont) + 3) & ~UINT_PTR(3));
    DWORD id = 0;
    memcpy(&id, item + 20, sizeof(id));
    EXPECT_EQ(0xFFFFFFFFu, id);
    FreeLibrary(module);
}

TEST_F(SetupTest, QuitButtonEscapeAndCloseBoxChangeNothing)
{
    const std::wstring before = DumpInstalledState();
    const struct {
        UINT message;
        WPARAM wParam;
        const char* how;
    } ways[] = {
        {WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), "quit button"},
        {WM_KEYDOWN, VK_ESCAPE, "escape"},
        {WM_SYSCOMMAND, SC_CLOSE, "close box"},
    };
    for (const auto& way : ways) {
        const StartedProgram setup = StartProgramWithId(Quoted(PackageFolder() + L"\\setup.exe"));
        HWND dialog = WaitForWindow(setup.id, L"#32770", SetupCaption);
        ASSERT_NE(nullptr, dialog) << way.how;
        // A command for a listed control with a non-zero notification code does nothing.
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_SETFOCUS), 0);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_SETFOCUS), 0);
        EXPECT_TRUE(IsRunning(setup.process)) << way.how;
        EXPECT_TRUE(IsWindowEnabled(dialog)) << way.how;
        HWND target = way.message == WM_KEYDOWN ? GetFocus() : dialog;
        PostMessageW(way.message == WM_KEYDOWN ? GetDlgItem(dialog, 1002) : target, way.message, way.wParam, 0);
        EXPECT_EQ(0u, FinishProgram(setup.process)) << way.how;
    }
    EXPECT_EQ(before, DumpInstalledState());
    EXPECT_TRUE(RecordedLines(m_log).empty());
}

// Each click starts a browser process of its own with "-new" and the page's URL; the
// process's own command line shows the parameters exactly.
TEST_F(SetupTest, DownloadButtonsStartTheBrowserEachTime)
{
    const StartedProgram setup = StartProgramWithId(Quoted(PackageFolder() + L"\\setup.exe"));
    HWND dialog = WaitForWindow(setup.id, L"#32770", SetupCaption);
    ASSERT_NE(nullptr, dialog);
    std::vector<DWORD> seen = ProcessesNamed(L"iexplore.exe");
    for (const DownloadButton& page : DownloadButtons) {
        for (int click = 0; click < 2; ++click) {
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(page.id, BN_CLICKED), 0);
            std::wstring image;
            const std::wstring commandLine = NextBrowserCommandLine(seen, image);
            ASSERT_FALSE(commandLine.empty()) << "no browser for control " << page.id;
            EXPECT_TRUE(EndsWith(commandLine, std::wstring(L"-new ") + page.url)) << commandLine;
        }
    }
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_TRUE(IsWindowEnabled(dialog));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
    EXPECT_EQ(0u, FinishProgram(setup.process));
}

// App Paths naming no file (a missing one, or a folder): the page goes to the default
// browser, without Internet Explorer's "-new".
TEST_F(SetupTest, DownloadFallsBackToTheDefaultBrowser)
{
    CFileStandIn noSystemBrowser(SystemIexplore(), L"");
    CStringOverride defaultBrowser(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", nullptr,
                                   Quoted(BinPath(L"recorder.exe")) + L" \"%1\"");
    for (const wchar_t* notAFile : {L"C:\\nonexistent\\iexplore.exe", L"C:\\windows"}) {
        CStringOverride noBrowser(HKEY_LOCAL_MACHINE, AppPathsIexplore, nullptr, notAFile);
        const std::vector<std::wstring> lines = OpenReelshifterPage();
        ASSERT_EQ(1u, lines.size()) << notAFile;
        EXPECT_NE(std::wstring::npos, lines[0].find(L"http://www.ravelnest.jp/ravelnest/")) << notAFile;
        EXPECT_EQ(std::wstring::npos, lines[0].find(L"-new")) << notAFile;
        DeleteFileW(m_log.c_str());
    }
}

// Setup runs elevated from a download folder that any program of the user can write, and
// Explorer starts it with that folder as its current folder. An iexplore.exe planted there
// never runs: the browser is Internet Explorer from its App Paths entry, which setup only
// reads (on Windows, administrators may not write it). Wine's placeholder in system32,
// which Windows lacks, is taken away so that no search can find it instead.
TEST_F(SetupTest, BrowserPlantedBesideSetupNeverRuns)
{
    const CReadOnlyKey systemsKey(HKEY_LOCAL_MACHINE, AppPathsIexplore);
    ASSERT_TRUE(systemsKey.Applied());
    const std::wstring download = TempFolder(L"ravelnest-download");
    DeleteTree(download);
    CopyFolder(PackageFolder(), download);
    ASSERT_TRUE(CopyFileW(BinPath(L"recorder.exe").c_str(), (download + L"\\iexplore.exe").c_str(), FALSE));
    CFileStandIn noSystemBrowser(SystemIexplore(), L"");
    std::wstring internetExplorer;
    ASSERT_TRUE(ReadString(HKEY_LOCAL_MACHINE, AppPathsIexplore, nullptr, internetExplorer));

    const StartedProgram setup = StartProgramWithId(Quoted(download + L"\\setup.exe"), download.c_str());
    HWND dialog = WaitForWindow(setup.id, L"#32770", SetupCaption);
    ASSERT_NE(nullptr, dialog);
    std::vector<DWORD> seen = ProcessesNamed(L"iexplore.exe");
    for (const DownloadButton& page : DownloadButtons) {
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(page.id, BN_CLICKED), 0);
        std::wstring image;
        const std::wstring commandLine = NextBrowserCommandLine(seen, image);
        EXPECT_TRUE(EndsWith(commandLine, std::wstring(L"-new ") + page.url)) << page.id << ": " << commandLine;
        EXPECT_EQ(0, lstrcmpiW(internetExplorer.c_str(), image.c_str())) << image;
    }
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
    EXPECT_EQ(0u, FinishProgram(setup.process));
    EXPECT_TRUE(RecordedLines(m_log).empty()) << "the planted iexplore.exe ran";
    DeleteTree(download);
}

// An App Paths entry written the way Windows writes Internet Explorer's: quoted, with
// environment strings. The browser gets "-new " and the URL, exactly.
TEST_F(SetupTest, BrowserFromAQuotedAppPathsEntryWithEnvironmentStrings)
{
    const std::wstring folder = L"C:\\ravelnest-tests\\Browser Folder";
    CreateDirectoryW(L"C:\\ravelnest-tests", nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(BinPath(L"recorder.exe").c_str(), (folder + L"\\iexplore.exe").c_str(), FALSE));
    CStringOverride browser(HKEY_LOCAL_MACHINE, AppPathsIexplore, nullptr,
                            L"\"%SystemDrive%\\ravelnest-tests\\Browser Folder\\iexplore.exe\"");
    const std::vector<std::wstring> lines = OpenReelshifterPage();
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::wstring::npos, lines[0].find(folder + L"\\iexplore.exe")) << lines[0];
    EXPECT_TRUE(EndsWith(lines[0], L" -new http://www.ravelnest.jp/ravelnest/")) << lines[0];
    DeleteTree(folder);
}
