// CloseRunningInstances against real helper processes: which are asked, which are ended,
// which are left alone, and how long it takes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CloseRunningInstances.h"
#include "InstalledState.h"
#include "ProcessGlobals.h"
#include "TestFiles.h"
#include "TestPrograms.h"
#include "TestRegistry.h"
#include "UninstallFolders.h"

namespace {

const std::wstring Folder = L"C:\\ravelnest-tests\\running";
// Folders beside it whose names begin with its own.
const wchar_t* const Siblings[] = {L" Samples", L"2"};

class CloseRunningInstancesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteTree(Folder);
        CreateDirectoryW(L"C:\\ravelnest-tests", nullptr);
        ASSERT_TRUE(CreateDirectoryW(Folder.c_str(), nullptr));
        InstallFolder = Folder.c_str();
        ModulePath = BinPath(L"removal_test.exe").c_str();
    }
    void TearDown() override
    {
        for (StartedProgram& program : m_started) {
            TerminateProcess(program.process, 99);
            FinishProgram(program.process, 5000);
        }
        DeleteTree(Folder);
        for (const wchar_t* sibling : Siblings) {
            DeleteTree(Folder + sibling);
        }
        DeleteFileW(L"C:\\ravelnest-tests\\elsewhere-sleeper.exe");
    }

    // Starts a sleeper copied to `path` and waits until its window exists.
    HANDLE Start(const std::wstring& path, const wchar_t* arguments)
    {
        CopyFileW(BinPath(L"sleeper.exe").c_str(), path.c_str(), FALSE);
        const StartedProgram program = StartProgramWithId(Quoted(path) + L" " + arguments);
        m_started.push_back(program);
        EXPECT_NE(nullptr, WaitForWindow(program.id, L"RavelnestTestSleeper", nullptr)) << path.c_str();
        return program.process;
    }

    // The run time of one call, in milliseconds.
    static ULONGLONG TimedClose()
    {
        const ULONGLONG start = GetTickCount64();
        CloseRunningInstances();
        return GetTickCount64() - start;
    }

    // Milliseconds between the ends of two ended processes.
    static ULONGLONG ExitGap(HANDLE first, HANDLE second)
    {
        const auto exitTime = [](HANDLE process) {
            FILETIME created = {}, exited = {}, kernel = {}, user = {};
            GetProcessTimes(process, &created, &exited, &kernel, &user);
            return (static_cast<ULONGLONG>(exited.dwHighDateTime) << 32 | exited.dwLowDateTime) / 10000;
        };
        const ULONGLONG a = exitTime(first);
        const ULONGLONG b = exitTime(second);
        return a > b ? a - b : b - a;
    }

    static DWORD ExitCode(HANDLE process)
    {
        WaitForSingleObject(process, 5000);
        DWORD code = 0xFFFFFFFF;
        GetExitCodeProcess(process, &code);
        return code;
    }

    std::vector<StartedProgram> m_started;
};

TEST_F(CloseRunningInstancesTest, NothingRunningFromTheFolderReturnsAtOnce)
{
    std::vector<HANDLE> elsewhere = {Start(L"C:\\ravelnest-tests\\elsewhere-sleeper.exe", L"")};
    for (const wchar_t* sibling : Siblings) {
        CreateDirectoryW((Folder + sibling).c_str(), nullptr);
        elsewhere.push_back(Start(Folder + sibling + L"\\sibling.exe", L""));
    }
    EXPECT_LT(TimedClose(), 3000u) << "nothing to wait for";
    for (HANDLE program : elsewhere) {
        EXPECT_TRUE(IsRunning(program));
    }
}

// Bounds are the waits' own: the 3 s for closing, which a loaded machine can only lengthen,
// and the gap that a wait of its own per program would leave.

// One call: the polite programs end by themselves, the stubborn ones are terminated after
// the shared 3 s, and programs from a subfolder or running the caller's executable stay.
TEST_F(CloseRunningInstancesTest, AsksAllFirstThenTerminatesOnlyThoseStillRunning)
{
    HANDLE quitter = Start(Folder + L"\\quitter.exe", L"");
    HANDLE closer = Start(Folder + L"\\closer.exe", L"ignore-quit");
    HANDLE stubborn1 = Start(Folder + L"\\stubborn1.exe", L"ignore");
    HANDLE stubborn2 = Start(Folder + L"\\stubborn2.exe", L"ignore");
    CreateDirectoryW((Folder + L"\\sub").c_str(), nullptr);
    HANDLE nested = Start(Folder + L"\\sub\\nested.exe", L"ignore");
    ModulePath = (Folder + L"\\OWN.exe").c_str();
    HANDLE own = Start(Folder + L"\\own.exe", L"");

    const ULONGLONG elapsed = TimedClose();
    EXPECT_EQ(7u, ExitCode(quitter)) << "WM_QUIT reached the thread";
    EXPECT_EQ(9u, ExitCode(closer)) << "WM_CLOSE reached the window";
    EXPECT_EQ(0u, ExitCode(stubborn1));
    EXPECT_EQ(0u, ExitCode(stubborn2));
    // Both stubborn programs were asked before one shared wait, not one wait each: they
    // were terminated together, after it.
    EXPECT_GE(elapsed, 2900u);
    EXPECT_LT(ExitGap(stubborn1, stubborn2), 2000u);
    EXPECT_TRUE(IsRunning(nested));
    EXPECT_TRUE(IsRunning(own));
}

TEST_F(CloseRunningInstancesTest, PoliteProgramsAreNotWaitedForLongerThanNeeded)
{
    HANDLE quitter = Start(Folder + L"\\quitter.exe", L"");
    HANDLE closer = Start(Folder + L"\\closer.exe", L"ignore-quit");
    EXPECT_LT(TimedClose(), 3000u) << "waited out the time although both had ended";
    EXPECT_EQ(7u, ExitCode(quitter));
    EXPECT_EQ(9u, ExitCode(closer));
}

// 65 DLLs and the executable in the folder: 66 handles to one process, more than one wait
// can hold.
TEST_F(CloseRunningInstancesTest, MoreHandlesThanOneWaitHolds)
{
    for (int i = 0; i < 65; ++i) {
        ASSERT_TRUE(CopyFileW(BinPath(L"tiny.dll").c_str(), (Folder + L"\\tiny" + std::to_wstring(i) + L".dll").c_str(),
                              FALSE));
    }
    HANDLE polite = Start(Folder + L"\\many.exe", L"load");
    ULONGLONG elapsed = TimedClose();
    EXPECT_EQ(7u, ExitCode(polite));
    EXPECT_LT(elapsed, 3000u);

    HANDLE stubborn = Start(Folder + L"\\many.exe", L"load ignore");
    elapsed = TimedClose();
    EXPECT_EQ(0u, ExitCode(stubborn)) << "terminated when the time was up";
    // The groups' waits share one 3 s: a wait of 3 s per group would take 6 s.
    EXPECT_GE(elapsed, 2900u);
    EXPECT_LT(elapsed, 6000u);
}

}  // namespace
