#include "RoundTripTest.h"

#include <objbase.h>

#include "InstalledState.h"
#include "TestFiles.h"
#include "TestPrograms.h"
#include "TestRegistry.h"

void RoundTripTest::SetUp()
{
    CoInitialize(nullptr);
    Clean();
    if (m_logName) {
        m_log = FullPath(BinPath(m_logName));
        m_readmeHandler.reset(new CReadmeRecorder(m_log));
    }
    m_cleanState = DumpInstalledState();
    m_surroundings = SurroundingsSnapshot();
}

void RoundTripTest::TearDown()
{
    m_readmeHandler.reset();
    Clean();
    if (!m_log.empty()) {
        DeleteFileW(m_log.c_str());
    }
    CoUninitialize();
}

void RoundTripTest::Clean()
{
    WaitForTemporaryCopies(10000);
    EndTestPrograms();
    RemoveEverythingSetupMakes();
    RemoveLeftovers();
}

void RoundTripTest::ExpectNothingLeft()
{
    EXPECT_EQ(m_cleanState, DumpInstalledState());
    EXPECT_FALSE(FolderExists(InstallFolderPath()));
    EXPECT_FALSE(FolderExists(MakerFolderPath()));
    EXPECT_EQ(0u, LostLines(m_surroundings, SurroundingsSnapshot()));
}

void RoundTripTest::Install(DWORD expectedExitCode)
{
    ASSERT_EQ(expectedExitCode, RunSetup(PackageFolder() + L"\\setup.exe").exitCode);
}

void RoundTripTest::Uninstall()
{
    EXPECT_EQ(0u, RunUninstallEntry());
    EXPECT_EQ(std::vector<DWORD>{0}, WaitForTemporaryCopies());
}
