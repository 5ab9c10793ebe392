// Nothing planted runs: DLLs named like system ones beside setup.exe and beside the
// uninstaller's temporary copy, and programs where an unquoted path would be looked up.
#include <gtest/gtest.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "FolderWalk.h"
#include "InstalledState.h"
#include "RoundTripTest.h"
#include "SystemFolder.h"
#include "TestFiles.h"
#include "TestPrograms.h"
#include "TestRegistry.h"

namespace {

const wchar_t* const CanaryFolder = L"C:\\ravelnest-tests\\canaries";
const wchar_t* const DownloadFolder = L"C:\\ravelnest-tests\\downloads";

// Names that the programs or the system DLLs they use load on demand, after start-up.
const wchar_t* const LateDlls[] = {L"uxtheme", L"dwmapi", L"userenv", L"propsys", L"comctl32",
                                   L"cryptbase", L"profapi", L"winmm", L"sspicli", L"secur32"};
// Wine's own gdi32 imports version.dll, so a planted one is found while the loader resolves
// the programs' imports, before any of their code runs. Windows' gdi32 does not; there the
// images' load configuration (checked below) keeps such imports in System32. Under Wine
// this name keeps the default order, in which the builtin wins.
const wchar_t* const ImportTimeDlls[] = {L"version"};

std::vector<std::wstring> Canaries()
{
    std::vector<std::wstring> names;
    ForEachFolderEntry((std::wstring(CanaryFolder) + L"\\*.txt").c_str(),
                       [&names](const WIN32_FIND_DATAW& found) { names.push_back(found.cFileName); });
    return names;
}

std::wstring CanaryReport()
{
    std::wstring report;
    for (const std::wstring& name : Canaries()) {
        const std::vector<char> bytes = ReadBytes(std::wstring(CanaryFolder) + L"\\" + name);
        report += name + L": " + std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    }
    return report;
}

void PlantDlls(const std::wstring& folder)
{
    for (const wchar_t* name : LateDlls) {
        ASSERT_TRUE(CopyFileW(BinPath(L"canary.dll").c_str(), (folder + L"\\" + name + L".dll").c_str(), FALSE));
    }
    for (const wchar_t* name : ImportTimeDlls) {
        ASSERT_TRUE(CopyFileW(BinPath(L"canary.dll").c_str(), (folder + L"\\" + name + L".dll").c_str(), FALSE));
    }
}

void RemovePlantedDlls(const std::wstring& folder)
{
    for (const wchar_t* name : LateDlls) {
        DeleteTree(folder + L"\\" + name + L".dll");
    }
    for (const wchar_t* name : ImportTimeDlls) {
        DeleteTree(folder + L"\\" + name + L".dll");
    }
}

// Wine prefers its builtin DLLs over files of the same name in a program's folder, which
// would make every planted DLL harmless here. Native first for the late names makes Wine's
// loader search as Windows' does for DLLs that are not KnownDLLs: the program's folder first.
class CNativeFirst {
public:
    CNativeFirst()
    {
        wchar_t old[4096] = {};
        m_had = GetEnvironmentVariableW(L"WINEDLLOVERRIDES", old, 4096) != 0;
        m_old = old;
        std::wstring overrides = m_old;
        std::wstring names;
        for (const wchar_t* name : LateDlls) {
            names += (names.empty() ? L"" : L",") + std::wstring(name);
        }
        overrides += (overrides.empty() ? L"" : L";") + names + L"=n,b";
        SetEnvironmentVariableW(L"WINEDLLOVERRIDES", overrides.c_str());
    }
    ~CNativeFirst() { SetEnvironmentVariableW(L"WINEDLLOVERRIDES", m_had ? m_old.c_str() : nullptr); }
    CNativeFirst(const CNativeFirst&) = delete;
    CNativeFirst& operator=(const CNativeFirst&) = delete;

private:
    bool m_had = false;
    std::wstring m_old;
};

// The DependentLoadFlags of an image's load configuration, or -1 when it has none. The
// field is the WORD after CSDVersion: at 0x36 in the 32-bit structure, 0x4E in the 64-bit one.
long DependentLoadFlags(const std::wstring& path)
{
    const std::vector<char> image = ReadBytes(path);
    const size_t entry = DataDirectoryOffset(image, IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG);
    if (entry == 0) {
        return -1;
    }
    const auto* directory = reinterpret_cast<const IMAGE_DATA_DIRECTORY*>(image.data() + entry);
    const size_t field = IsPe32Plus(image) ? 0x4E : 0x36;
    const size_t at = RvaFileOffset(image, directory->VirtualAddress);
    if (directory->VirtualAddress == 0 || directory->Size < field + 2 || at == 0 || at + field + 2 > image.size()) {
        return -1;
    }
    return static_cast<unsigned char>(image[at + field]) | static_cast<unsigned char>(image[at + field + 1]) << 8;
}

class PlantingTest : public RoundTripTest {
protected:
    PlantingTest() : RoundTripTest(L"planting-recorder.log") {}

    void SetUp() override
    {
        RoundTripTest::SetUp();
        CreateDirectoryW(L"C:\\ravelnest-tests", nullptr);
        CreateDirectoryW(DownloadFolder, nullptr);
        CreateDirectoryW(TemporaryFolderPath().c_str(), nullptr);  // a new profile has none yet
    }
    void RemoveLeftovers() override
    {
        DeleteTree(DownloadFolder);
        DeleteTree(CanaryFolder);
        DeleteTree(L"C:\\Program.exe");
        DeleteTree(TemporaryFolderPath() + L"\\Ravelnest.exe");
        RemovePlantedDlls(TemporaryFolderPath());
    }
    static void CopyPackageTo(const std::wstring& folder)
    {
        for (const wchar_t* name : {L"setup.exe", L"Uninstall.exe", L"readme.txt", L"Reelshifter SDK.chm"}) {
            ASSERT_TRUE(CopyFileW((PackageFolder() + L"\\" + name).c_str(), (folder + L"\\" + name).c_str(), FALSE));
        }
    }
};

TEST_F(PlantingTest, ProgramsResolveTheirImportsFromSystem32Only)
{
    EXPECT_EQ(LOAD_LIBRARY_SEARCH_SYSTEM32, DependentLoadFlags(PackageFolder() + L"\\setup.exe"));
    EXPECT_EQ(LOAD_LIBRARY_SEARCH_SYSTEM32, DependentLoadFlags(PackageFolder() + L"\\Uninstall.exe"));
}

TEST_F(PlantingTest, NoPlantedDllLoadsDuringARoundTrip)
{
    CopyPackageTo(DownloadFolder);
    PlantDlls(DownloadFolder);
    PlantDlls(TemporaryFolderPath());
    const CNativeFirst nativeFirst;

    // The canaries work: a program that loads its folder's DLLs writes some (Wine maps the
    // names of DLLs it has already loaded to those).
    const std::wstring control = std::wstring(DownloadFolder) + L"\\control.exe";
    ASSERT_TRUE(CopyFileW(BinPath(L"sleeper.exe").c_str(), control.c_str(), FALSE));
    const StartedProgram sleeper = StartProgramWithId(Quoted(control) + L" load");
    const HWND window = WaitForWindow(sleeper.id, L"RavelnestTestSleeper", nullptr);
    TerminateProcess(sleeper.process, 0);
    FinishProgram(sleeper.process, 5000);
    ASSERT_NE(nullptr, window);
    ASSERT_FALSE(Canaries().empty());
    DeleteTree(CanaryFolder);
    DeleteTree(control);

    const SetupRun run = RunSetup(std::wstring(DownloadFolder) + L"\\setup.exe");
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(FileExists(InstallFolderPath() + L"\\Uninstall.exe"));
    EXPECT_EQ(0u, RunUninstallEntry());
    EXPECT_EQ(std::vector<DWORD>{0}, WaitForTemporaryCopies());
    EXPECT_EQ(m_cleanState, DumpInstalledState());
    EXPECT_EQ(L"", CanaryReport()) << "planted DLLs were loaded";
}

// "C:\Program.exe" and "Temp\Ravelnest.exe" are what Windows would try first for the
// installed entry's path and for the temporary copy's path if either went unquoted.
TEST_F(PlantingTest, PlantedProgramsNeverRunWhicheverWayTheEntryIsStarted)
{
    enum class Start { CreateProcess, ShellExecute, CommandPrompt };
    for (Start start : {Start::CreateProcess, Start::ShellExecute, Start::CommandPrompt}) {
        SCOPED_TRACE(static_cast<int>(start));
        ASSERT_TRUE(CopyFileW(BinPath(L"canary_program.exe").c_str(), L"C:\\Program.exe", FALSE));
        ASSERT_TRUE(CopyFileW(BinPath(L"canary_program.exe").c_str(),
                              (TemporaryFolderPath() + L"\\Ravelnest.exe").c_str(), FALSE));
        ASSERT_EQ(0u, RunSetup(PackageFolder() + L"\\setup.exe").exitCode);
        const std::wstring command = UninstallEntryCommand();
        ASSERT_FALSE(command.empty());
        if (start == Start::CreateProcess) {
            EXPECT_EQ(0u, RunUninstallEntry());
        } else if (start == Start::ShellExecute) {
            // As a script or launcher does: the program part, then the rest as parameters.
            std::wstring file = command;
            PathRemoveArgsW(&file[0]);
            file.resize(lstrlenW(file.c_str()));
            PathUnquoteSpacesW(&file[0]);
            file.resize(lstrlenW(file.c_str()));
            SHELLEXECUTEINFOW info = {};
            info.cbSize = sizeof(info);
            info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
            info.lpFile = file.c_str();
            info.lpParameters = PathGetArgsW(command.c_str());
            info.nShow = SW_SHOWNORMAL;
            ASSERT_TRUE(ShellExecuteExW(&info));
            EXPECT_EQ(0u, FinishProgram(info.hProcess));
        } else {
            EXPECT_EQ(0u, RunProgram(Quoted(std::wstring(SystemFolder()) + L"\\cmd.exe") + L" /c " + command));
        }
        EXPECT_EQ(std::vector<DWORD>{0}, WaitForTemporaryCopies());
        EXPECT_EQ(m_cleanState, DumpInstalledState());
        EXPECT_EQ(L"", CanaryReport()) << "a planted program ran";
        Clean();
    }
}

}  // namespace
