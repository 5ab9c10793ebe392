// Runs cut short: setup and the uninstaller's temporary copy terminated at moments spread
// over their work, then run again; and the two programs running at the same time. The next
// complete run must leave the state a clean run leaves, and nothing outside the SDK is lost.
#include <gtest/gtest.h>

#include <objbase.h>

#include <string>
#include <vector>

#include "InstalledState.h"
#include "RoundTripTest.h"
#include "TestFiles.h"
#include "TestPrograms.h"
#include "TestRegistry.h"

namespace {

constexpr int Moments = 20;
const wchar_t* const CopyName = L"Ravelnest Reelshifter SDK Uninstall.exe";

// Moment `i` of `Moments` over `span` milliseconds, with a seeded jitter so that the
// moments do not line up with the programs' own pauses.
DWORD MomentOf(int i, DWORD span)
{
    return static_cast<DWORD>(i) * span / Moments + static_cast<DWORD>((i * 7919) % 97);
}

bool IsCleanExit(DWORD code)
{
    return code == 0 || code == 1;
}

class InterruptionTest : public RoundTripTest {
protected:
    InterruptionTest() : RoundTripTest(L"interruption-recorder.log") {}

    static std::wstring SetupPath() { return PackageFolder() + L"\\setup.exe"; }

    // Installs completely; how long the run took from the confirmation on.
    static DWORD InstallCompletely()
    {
        const DWORD start = GetTickCount();
        EXPECT_EQ(0u, RunSetup(SetupPath()).exitCode);
        return GetTickCount() - start;
    }

    // Starts setup, confirms its dialog and terminates it `delay` milliseconds later.
    static void InstallAndTerminateAfter(DWORD delay)
    {
        const StartedProgram setup = StartProgramWithId(Quoted(SetupPath()));
        ASSERT_NE(nullptr, setup.process);
        HWND dialog = WaitForWindow(setup.id, L"#32770", SetupCaption);
        ASSERT_NE(nullptr, dialog);
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
        Sleep(delay);
        TerminateProcess(setup.process, 77);
        FinishProgram(setup.process, 5000);
    }

    // The running temporary copy, or null.
    static HANDLE OpenTemporaryCopy()
    {
        for (DWORD id : ProcessesNamed(CopyName)) {
            if (HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id)) {
                return process;
            }
        }
        return nullptr;
    }

    // Whatever is left of the uninstaller, run as a user would: the installed one if it is
    // still there, else the temporary copy; the copies' exit codes.
    static std::vector<DWORD> UninstallAgain()
    {
        const std::wstring installed = InstallFolderPath() + L"\\Uninstall.exe";
        if (FileExists(installed)) {
            const StartedProgram first = StartProgramWithId(Quoted(installed), InstallFolderPath().c_str());
            EXPECT_EQ(0u, FinishProgram(first.process));
            return WaitForTemporaryCopies();
        }
        if (FileExists(UninstallCopyPath())) {
            return {RunProgram(Quoted(UninstallCopyPath()))};
        }
        return {0};
    }

    // After runs that overlapped: a complete installation gives the clean installation's
    // state, and a complete removal the clean machine's.
    void ExpectACompleteRunDecides(const std::wstring& installed)
    {
        EXPECT_EQ(0u, RunSetup(SetupPath()).exitCode);
        EXPECT_EQ(installed, DumpInstalledState());
        EXPECT_EQ(0u, RunUninstallEntry());
        EXPECT_EQ(std::vector<DWORD>{0}, WaitForTemporaryCopies());
        ExpectNothingLeft();
    }
};

TEST_F(InterruptionTest, InstallationTerminatedAtTwentyMomentsIsRepairedByTheNextRun)
{
    const DWORD span = InstallCompletely();
    const std::wstring installed = DumpInstalledState();
    ASSERT_NE(m_cleanState, installed);
    RemoveEverythingSetupMakes();

    for (int i = 0; i < Moments; ++i) {
        const DWORD delay = MomentOf(i, span);
        SCOPED_TRACE(L"terminated " + std::to_wstring(delay) + L" ms after confirming");
        InstallAndTerminateAfter(delay);
        InstallCompletely();
        EXPECT_EQ(installed, DumpInstalledState());
        // Every other moment starts from nothing, the others from a complete installation.
        if (i % 2 == 1 && i + 1 < Moments) {
            RemoveEverythingSetupMakes();
        }
    }
    std::printf("installations terminated at %d moments over the run of %lu ms\n", Moments,
                static_cast<unsigned long>(span));

    EXPECT_EQ(0u, RunUninstallEntry());
    EXPECT_EQ(std::vector<DWORD>{0}, WaitForTemporaryCopies());
    EXPECT_EQ(m_cleanState, DumpInstalledState());
    EXPECT_FALSE(FolderExists(MakerFolderPath()));
    EXPECT_EQ(0u, LostLines(m_surroundings, SurroundingsSnapshot()));
}

TEST_F(InterruptionTest, RemovalTerminatedAtTwentyMomentsIsCompletedByTheNextRun)
{
    // How long the copy takes when nothing stops it.
    InstallCompletely();
    ASSERT_EQ(0u, RunUninstallEntry());
    const DWORD start = GetTickCount();
    ASSERT_EQ(std::vector<DWORD>{0}, WaitForTemporaryCopies());
    const DWORD span = GetTickCount() - start + 50;

    for (int i = 0; i < Moments; ++i) {
        const DWORD delay = MomentOf(i, span);
        SCOPED_TRACE(L"copy terminated after " + std::to_wstring(delay) + L" ms");
        InstallCompletely();
        ASSERT_EQ(0u, RunUninstallEntry());
        HANDLE copy = OpenTemporaryCopy();
        if (copy) {
            Sleep(delay);
            TerminateProcess(copy, 77);
            WaitForSingleObject(copy, 5000);
            CloseHandle(copy);
        }
        for (DWORD code : UninstallAgain()) {
            EXPECT_EQ(0u, code);
        }
        EXPECT_EQ(m_cleanState, DumpInstalledState());
        EXPECT_FALSE(FolderExists(MakerFolderPath()));
    }
    std::printf("removal copies terminated at %d moments over their run of %lu ms\n", Moments,
                static_cast<unsigned long>(span));
    EXPECT_EQ(0u, LostLines(m_surroundings, SurroundingsSnapshot()));
}

// A program of the SDK that only termination ends keeps the copy at work for its 3 s wait.
StartedProgram StartStubbornProgram()
{
    const std::wstring viewer = InstallFolderPath() + L"\\Viewer.exe";
    EXPECT_TRUE(CopyFileW(BinPath(L"sleeper.exe").c_str(), viewer.c_str(), FALSE));
    const StartedProgram running = StartProgramWithId(Quoted(viewer) + L" ignore");
    EXPECT_NE(nullptr, WaitForWindow(running.id, L"RavelnestTestSleeper", nullptr));
    return running;
}

TEST_F(InterruptionTest, SetupDuringRemovalThenACompleteRunDecides)
{
    InstallCompletely();
    const std::wstring installed = DumpInstalledState();
    const StartedProgram stubborn = StartStubbornProgram();
    ASSERT_EQ(0u, RunUninstallEntry());
    ASSERT_NE(nullptr, OpenTemporaryCopy());

    const SetupRun during = RunSetup(SetupPath());
    EXPECT_TRUE(IsCleanExit(during.exitCode)) << during.exitCode;
    for (DWORD code : WaitForTemporaryCopies()) {
        EXPECT_EQ(0u, code);
    }
    FinishProgram(stubborn.process, 5000);

    ExpectACompleteRunDecides(installed);
}

TEST_F(InterruptionTest, RemovalDuringSetupThenACompleteRunDecides)
{
    InstallCompletely();
    const std::wstring installed = DumpInstalledState();
    const std::wstring uninstall = UninstallEntryCommand();

    // A reinstallation at work while the uninstaller starts from the entry it replaces.
    const StartedProgram setup = StartProgramWithId(Quoted(SetupPath()));
    HWND dialog = WaitForWindow(setup.id, L"#32770", SetupCaption);
    ASSERT_NE(nullptr, dialog);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    Sleep(300);
    const StartedProgram first = StartProgramWithId(uninstall, InstallFolderPath().c_str());
    EXPECT_TRUE(IsCleanExit(FinishProgram(first.process)));
    for (DWORD code : WaitForTemporaryCopies()) {
        EXPECT_EQ(0u, code);
    }
    // Setup ends with its message (completion or failure, whichever the removal left).
    if (HWND box = WaitForMessageBox(setup.id, dialog, setup.process)) {
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
    EXPECT_TRUE(IsCleanExit(FinishProgram(setup.process)));

    ExpectACompleteRunDecides(installed);
}

}  // namespace
