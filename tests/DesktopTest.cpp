// A user's desktop rather than a clean prefix: the readme left open in the prefix's own
// Notepad while the SDK is removed, and what other programs of the user leave at the
// uninstaller's copy path: an earlier copy made read-only, hidden and system, a Unix link to
// another file, a link in place of the temporary folder.
#include <gtest/gtest.h>

#include <exdisp.h>
#include <objbase.h>
#include <shlguid.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "DesktopShell.h"
#include "HandleHolder.h"
#include "InstalledState.h"
#include "RoundTripTest.h"
#include "TestFiles.h"
#include "TestPrograms.h"
#include "TestRegistry.h"
#include "TextFold.h"

namespace {

// Stands in for the desktop's shell and never answers: each activation waits until the test
// lets go. Registered before Explorer starts, in a prefix and Wine server of the test's own,
// it is what setup's route to the shell reaches.
class CHungShell : public IClassFactory {
public:
    CHungShell() = default;
    ~CHungShell()
    {
        SetEvent(m_release.Get());
        if (m_cookie != 0) {
            CoRevokeClassObject(m_cookie);
        }
    }
    CHungShell(const CHungShell&) = delete;
    CHungShell& operator=(const CHungShell&) = delete;

    // On an apartment of many threads: each call comes on a thread of COM's.
    bool Register()
    {
        return CoRegisterClassObject(CLSID_ShellWindows, this, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &m_cookie) ==
               S_OK;
    }
    LONG Activations() const { return m_activations; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        *object = iid == IID_IUnknown || iid == IID_IClassFactory ? this : nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives as long as the test
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, void** object) override
    {
        *object = nullptr;
        InterlockedIncrement(&m_activations);
        WaitForSingleObject(m_release.Get(), INFINITE);
        return E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    CHandleHolder m_release{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    DWORD m_cookie = 0;
    volatile LONG m_activations = 0;
};

const wchar_t* const Victims = L"C:\\ravelnest-tests\\desktop-victims";

class DesktopTest : public RoundTripTest {
protected:
    DesktopTest() : RoundTripTest(nullptr) {}

    // Text files open in Wine's own Notepad through "txtfile", as Windows associates them; a
    // new prefix has the class but leaves ".txt" unassociated.
    void SetUp() override
    {
        RoundTripTest::SetUp();
        m_textFiles.reset(new CStringOverride(HKEY_CLASSES_ROOT, L".txt", nullptr, L"txtfile"));
    }
    void TearDown() override
    {
        m_textFiles.reset();
        RoundTripTest::TearDown();
    }

    void RemoveLeftovers() override
    {
        RemoveUnixLink(UninstallCopyPath());
        DeleteTree(UninstallCopyPath());
        if (FolderExists(SavedTemporaryFolder())) {
            RemoveUnixLink(TemporaryFolderPath());
            MoveFileW(SavedTemporaryFolder().c_str(), TemporaryFolderPath().c_str());
        }
        DeleteTree(Victims);
    }

    static std::wstring SavedTemporaryFolder() { return TemporaryFolderPath() + L".ravelnest-saved"; }

    // Files outside the SDK that a redirected copy must not touch.
    static void PlantVictims()
    {
        CreateDirectoryW(L"C:\\ravelnest-tests", nullptr);
        CreateDirectoryW(Victims, nullptr);
        WriteText(std::wstring(Victims) + L"\\precious.exe", "precious");
        WriteText(std::wstring(Victims) + L"\\notes.txt", "the user's notes");
    }

    // The Notepad showing the installed readme that started since `before`; null when none
    // starts within 10 s.
    static HANDLE WaitForReadmeNotepad(std::vector<DWORD> before)
    {
        return WaitForNewProcess(L"notepad.exe", before, L"Readme.txt");
    }

    // Removes the SDK while the readme's viewers stay open; they are still running after.
    void UninstallWithViewersOpen(const std::vector<HANDLE>& viewers)
    {
        Uninstall();
        for (HANDLE viewer : viewers) {
            EXPECT_TRUE(IsRunning(viewer)) << "the readme's Notepad was closed, so nothing held its folder";
            CloseHandle(viewer);
        }
        ExpectNothingLeft();
    }

    std::unique_ptr<CStringOverride> m_textFiles;
};

TEST_F(DesktopTest, ReadmeLeftOpenInNotepadDoesNotKeepTheInstallationFolder)
{
    for (const wchar_t* textFiles : {L"txtfile", L"RavelnestTests.NoHandler"}) {
        // Without an association setup starts Notepad itself.
        SCOPED_TRACE(textFiles);
        CStringOverride association(HKEY_CLASSES_ROOT, L".txt", nullptr, textFiles);
        const std::vector<DWORD> before = ProcessesNamed(L"notepad.exe");
        Install();
        HANDLE notepad = WaitForReadmeNotepad(before);
        ASSERT_NE(nullptr, notepad) << "the readme did not open in Notepad";
        // Started by the desktop's shell, as the desktop's user, not by the elevated setup.
        EXPECT_TRUE(EqualsFolded(L"explorer.exe", ParentProcessName(GetProcessId(notepad)).c_str()));
        UninstallWithViewersOpen({notepad});
    }
}

// The first setup is ended just after it opened the readme; the next one completes the
// installation. Both readme viewers stay open through the removal.
TEST_F(DesktopTest, TerminatedAndRepairedInstallationWithItsReadmesOpenIsRemoved)
{
    std::vector<DWORD> before = ProcessesNamed(L"notepad.exe");
    const std::wstring setupPath = PackageFolder() + L"\\setup.exe";
    const StartedProgram setup = StartProgramWithId(Quoted(setupPath), PackageFolder().c_str());
    HWND dialog = WaitForWindow(setup.id, L"#32770", SetupCaption);
    ASSERT_NE(nullptr, dialog);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    HANDLE first = WaitForReadmeNotepad(before);
    TerminateProcess(setup.process, 77);
    FinishProgram(setup.process, 5000);
    ASSERT_NE(nullptr, first);

    before = ProcessesNamed(L"notepad.exe");
    Install();
    HANDLE second = WaitForReadmeNotepad(before);
    ASSERT_NE(nullptr, second);
    UninstallWithViewersOpen({first, second});
}

// An earlier copy that another program made read-only, hidden and system, under its name in
// other letter case, is replaced, and the copy is left with none of those attributes.
TEST_F(DesktopTest, ReadOnlyHiddenSystemFileAtTheCopyPathIsReplaced)
{
    const DWORD marks = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    Install();
    CreateDirectoryW(TemporaryFolderPath().c_str(), nullptr);
    // Named in other letters' case: the same name to Windows, and to the handoff's checks.
    const std::wstring earlier = TemporaryFolderPath() + L"\\ravelnest REELSHIFTER sdk uninstall.EXE";
    WriteText(earlier, "an earlier copy");
    ASSERT_TRUE(SetFileAttributesW(earlier.c_str(), marks));
    Uninstall();
    ExpectNothingLeft();
    EXPECT_EQ(ReadBytes(BinPath(L"Uninstall.exe")), ReadBytes(UninstallCopyPath()));
    EXPECT_EQ(0u, GetFileAttributesW(UninstallCopyPath().c_str()) & marks);
}

// Wine shows a Unix link to a file as a plain file with one name: only where the opened
// file really lies tells it apart. A hard link is a second name of a read-only file of
// someone else's, whose attributes must stay. Each handoff is refused, with exit code 1,
// and the file keeps its bytes; once the link is gone the removal goes ahead.
TEST_F(DesktopTest, UnixLinkToAnotherFileAtTheCopyPathIsRefused)
{
    PlantVictims();
    const std::wstring victim = std::wstring(Victims) + L"\\precious.exe";
    ASSERT_TRUE(SetFileAttributesW(victim.c_str(), FILE_ATTRIBUTE_READONLY));
    Install();
    const std::wstring installed = DumpInstalledState();
    CreateDirectoryW(TemporaryFolderPath().c_str(), nullptr);
    for (const bool hard : {false, true}) {
        SCOPED_TRACE(hard ? "hard link" : "symbolic link");
        ASSERT_TRUE(hard ? CreateHardLinkW(UninstallCopyPath().c_str(), victim.c_str(), nullptr) != FALSE
                         : PlantUnixLink(UninstallCopyPath(), victim));
        ASSERT_EQ(0u, GetFileAttributesW(UninstallCopyPath().c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);

        EXPECT_EQ(1u, RunUninstallEntry());
        EXPECT_TRUE(WaitForTemporaryCopies(0).empty());
        EXPECT_EQ(std::vector<char>({'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}), ReadBytes(victim));
        EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY),
                  GetFileAttributesW(victim.c_str()) & FILE_ATTRIBUTE_READONLY);
        EXPECT_EQ(installed, DumpInstalledState()) << "nothing is removed without the copy";
        RemoveUnixLink(UninstallCopyPath());
    }

    Uninstall();
    ExpectNothingLeft();
    EXPECT_EQ(L"notes.txt 16\nprecious.exe 8\n", ListFolder(Victims));
}

// The temporary folder replaced by a link to a folder of other files. The files there keep
// their bytes, and the copy that the handoff made there through the link never runs: Wine
// names a process's image by the path it was started from, not where the link leads, so
// the started copy is not the checked file and is ended before it runs (exit code 1).
// Windows names the image where it really lies, and there a folder an administrator
// redirected still works. Once the link is gone the removal completes.
TEST_F(DesktopTest, LinkInPlaceOfTheTemporaryFolderChangesNoOtherFile)
{
    PlantVictims();
    Install();
    const std::wstring installed = DumpInstalledState();
    CreateDirectoryW(TemporaryFolderPath().c_str(), nullptr);
    ASSERT_TRUE(MoveFileW(TemporaryFolderPath().c_str(), SavedTemporaryFolder().c_str()));
    ASSERT_TRUE(PlantUnixLink(TemporaryFolderPath(), Victims));

    EXPECT_EQ(1u, RunUninstallEntry());
    EXPECT_TRUE(WaitForTemporaryCopies().empty());
    EXPECT_EQ(installed, DumpInstalledState());
    DeleteFileW((std::wstring(Victims) + L"\\Ravelnest Reelshifter SDK Uninstall.exe").c_str());
    EXPECT_EQ(L"notes.txt 16\nprecious.exe 8\n", ListFolder(Victims));

    RemoveUnixLink(TemporaryFolderPath());
    ASSERT_TRUE(MoveFileW(SavedTemporaryFolder().c_str(), TemporaryFolderPath().c_str()));
    Uninstall();
    ExpectNothingLeft();
}

// Whether setup may start the readme viewer or the browser itself, from its token's facts,
// when the desktop's shell was not reached: only a token with neither Administrators
// enabled nor a high integrity level, whatever its elevation type. Through the shell
// whenever it was reached.
TEST(StartRoute, OnlyATokenWithoutAnAdministratorsRightsStartsProgramsItself)
{
    const auto route = StartRoute::Directly;
    const auto nothing = StartRoute::Nothing;
    const struct {
        const char* token;
        TokenFacts facts;
        StartRoute unreached;
    } rows[] = {
        {"split, elevated", {true, TokenElevationTypeFull, true, SECURITY_MANDATORY_HIGH_RID}, nothing},
        {"split, not elevated", {true, TokenElevationTypeLimited, false, SECURITY_MANDATORY_MEDIUM_RID}, route},
        {"not split, administrator", {true, TokenElevationTypeDefault, true, SECURITY_MANDATORY_HIGH_RID}, nothing},
        {"administrator at medium", {true, TokenElevationTypeDefault, true, SECURITY_MANDATORY_MEDIUM_RID}, nothing},
        {"high, without Administrators", {true, TokenElevationTypeDefault, false, SECURITY_MANDATORY_HIGH_RID}, nothing},
        {"system", {true, TokenElevationTypeDefault, false, SECURITY_MANDATORY_SYSTEM_RID}, nothing},
        {"standard user", {true, TokenElevationTypeDefault, false, SECURITY_MANDATORY_MEDIUM_RID}, route},
        {"low integrity", {true, TokenElevationTypeDefault, false, SECURITY_MANDATORY_LOW_RID}, route},
        {"unreadable", {false, TokenElevationTypeDefault, false, SECURITY_MANDATORY_MEDIUM_RID}, nothing},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.unreached, ChooseStartRoute(row.facts, false)) << row.token;
        EXPECT_EQ(StartRoute::ThroughDesktopShell, ChooseStartRoute(row.facts, true)) << row.token;
    }
    // Under Wine every program has Administrators enabled at high integrity.
    const TokenFacts own = ReadTokenFacts();
    EXPECT_TRUE(own.readable && own.administratorsEnabled);
    EXPECT_EQ(static_cast<DWORD>(SECURITY_MANDATORY_HIGH_RID), own.integrityLevel);
    EXPECT_EQ(nothing, ChooseStartRoute(own, false));
}

// The desktop's shell hung: setup gives its route up within the bound, starts nothing, and
// reaches its completion message; the dialog answers messages while a download button
// waits. Run alone, in a prefix whose Wine server it starts (CMake's desktop_test_hung_shell).
TEST(HungShell, SetupGivesTheShellUpWithinTheBoundAndStartsNothing)
{
    ASSERT_TRUE(ProcessesNamed(L"explorer.exe").empty()) << "Explorer started before the stand-in: run alone";
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    {
        CHungShell shell;
        ASSERT_TRUE(shell.Register());
        const std::vector<DWORD> browsers = ProcessesNamed(L"iexplore.exe");
        const std::vector<DWORD> notepads = ProcessesNamed(L"notepad.exe");
        const SetupRun run = RunSetup(
            PackageFolder() + L"\\setup.exe", Confirm::Click,
            [&] {
                HWND dialog = FindWindowW(L"#32770", SetupCaption);
                ASSERT_NE(nullptr, dialog);
                PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(1004, BN_CLICKED), 0);  // Reelshifter's page
                for (int i = 0; i < 200 && shell.Activations() == 0; ++i) {
                    Sleep(50);
                }
                ASSERT_EQ(1, shell.Activations()) << "the route did not reach the stand-in";
                DWORD_PTR answer = 0;
                EXPECT_NE(0, SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer))
                    << "the dialog stopped answering while the shell did not";
            },
            60000);
        EXPECT_TRUE(run.sawMessage);
        EXPECT_FALSE(run.messageHasErrorIcon);
        EXPECT_EQ(0u, run.exitCode);
        EXPECT_EQ(2, shell.Activations()) << "the download button's route, then the readme's";
        Sleep(1000);
        EXPECT_EQ(browsers, ProcessesNamed(L"iexplore.exe"));
        EXPECT_EQ(notepads, ProcessesNamed(L"notepad.exe"));
        EXPECT_TRUE(FileExists(InstallFolderPath() + L"\\Uninstall.exe"));
    }
    CoUninitialize();
    EXPECT_EQ(0u, RunUninstallEntry());
    EXPECT_EQ(std::vector<DWORD>{0}, WaitForTemporaryCopies());
}

}  // namespace
