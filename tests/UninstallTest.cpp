// The real Uninstall.exe, started as the Add/Remove Programs panel starts it, after the
// real setup.exe installed the SDK; and the removal rules on seeded keys and files.
#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "InstalledState.h"
#include "RoundTripTest.h"
#include "SystemFolder.h"
#include "TestFiles.h"
#include "TestPrograms.h"
#include "TestRegistry.h"

namespace {

const wchar_t* const SessionManager = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t* const UserShellFolders = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

std::vector<std::wstring> PendingRenames()
{
    std::vector<std::wstring> entries;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SessionManager, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return entries;
    }
    std::vector<wchar_t> data(65536);
    DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    DWORD type = 0;
    if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                         &bytes) == ERROR_SUCCESS && type == REG_MULTI_SZ) {
        // Pairs of source and target; an empty target means deletion.
        const wchar_t* end = data.data() + bytes / sizeof(wchar_t);
        for (const wchar_t* entry = data.data(); entry < end && *entry; entry += lstrlenW(entry) + 1) {
            entries.push_back(entry);
        }
    }
    RegCloseKey(key);
    return entries;
}

void ClearPendingRenames()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SessionManager, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, L"PendingFileRenameOperations");
        RegCloseKey(key);
    }
}

// What Windows does at its next start: pending renames and deletions are carried out.
void RestartWine()
{
    RunProgram(Quoted(std::wstring(SystemFolder()) + L"\\wineboot.exe") + L" -r", 60000);
}

struct SeededKey {
    const wchar_t* parent;
    const wchar_t* name;
    bool removed;
};

// Uninstall and ARPCache subkeys as other products and older versions leave them.
const SeededKey SeededKeys[] = {
    {UninstallKey, L"Ravelnest Reelshifter SDK 1.2.0", true},
    {UninstallKey, L"sdk tools for REELSHIFTER", true},
    {UninstallKey, L"ReelshifterSDK", true},
    {UninstallKey, L"Reelshifter Converter", false},
    {UninstallKey, L"RavelnestTests Other SDK", false},
    {ArpCacheKey, L"Ravelnest Reelshifter SDK 1.2.0", true},
    {ArpCacheKey, L"RAVELNEST Tools", true},
    {ArpCacheKey, L"reelshifter", true},
    {ArpCacheKey, L"OtherMaker Video Tools", false},
};

class UninstallTest : public RoundTripTest {
protected:
    UninstallTest() : RoundTripTest(L"uninstall-recorder.log") {}

    void RemoveLeftovers() override
    {
        RemoveUnixLink(UninstallCopyPath());
        DeleteTree(UninstallCopyPath());
        DeleteTree(TemporaryFolderPath() + L"\\Ravelnest.exe");
        DeleteTree(MakerFolderPath() + L"\\Reelshifter");
        DeleteTree(L"C:\\ravelnest-tests\\copy-victim");
        for (const SeededKey& key : SeededKeys) {
            SHDeleteKeyW(HKEY_LOCAL_MACHINE, (std::wstring(key.parent) + L"\\" + key.name).c_str());
        }
        const std::wstring programs = ShellFolder(CSIDL_COMMON_PROGRAMS);
        for (const wchar_t* name : {L"\\RavelnestTests notes.txt", L"\\old reelshifter sdk notes.txt",
                                    L"\\Reelshifter Converter.lnk", L"\\Reelshifter SDK Tools"}) {
            DeleteTree(programs + name);
        }
    }

};

TEST_F(UninstallTest, RoundTripRemovesEverythingSetupMade)
{
    ClearPendingRenames();
    Install();
    // Windows caches the entry for its panel; a program of the SDK is still running.
    SetString(HKEY_LOCAL_MACHINE, std::wstring(ArpCacheKey) + L"\\" + EntryName, L"SlowInfoCache", L"cached");
    const std::wstring viewer = InstallFolderPath() + L"\\Viewer.exe";
    ASSERT_TRUE(CopyFileW(BinPath(L"sleeper.exe").c_str(), viewer.c_str(), FALSE));
    const StartedProgram running = StartProgramWithId(Quoted(viewer) + L" ignore");
    ASSERT_NE(nullptr, WaitForWindow(running.id, L"RavelnestTestSleeper", nullptr));
    // Planted where an unquoted start of the copy would look first; a new profile has no
    // temporary folder yet.
    CreateDirectoryW(TemporaryFolderPath().c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(BinPath(L"recorder.exe").c_str(), (TemporaryFolderPath() + L"\\Ravelnest.exe").c_str(), FALSE));
    DeleteFileW(m_log.c_str());

    EXPECT_EQ(0u, RunUninstallEntry());
    EXPECT_EQ(std::vector<DWORD>{0}, WaitForTemporaryCopies());

    EXPECT_EQ(0u, FinishProgram(running.process, 5000)) << "the running program was terminated";
    EXPECT_FALSE(FolderExists(InstallFolderPath()));
    EXPECT_FALSE(FolderExists(MakerFolderPath())) << "the maker folder was left empty";
    EXPECT_EQ(m_cleanState, DumpInstalledState()) << "shortcut, entries, cache entry and server keys";
    for (const wchar_t* key : ServerKeys) {
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key)) << key;
    }
    EXPECT_FALSE(FileExists(m_log)) << "the planted Ravelnest.exe ran";

    const std::wstring copy = UninstallCopyPath();
    bool scheduled = false;
    for (const std::wstring& entry : PendingRenames()) {
        scheduled = scheduled || lstrcmpiW(entry.c_str(), (L"\\??\\" + copy).c_str()) == 0;
    }
    EXPECT_TRUE(scheduled) << "the copy is deleted at the next restart";
    EXPECT_TRUE(FileExists(copy));
    RestartWine();
    EXPECT_FALSE(FileExists(copy));
}

TEST_F(UninstallTest, MakerFolderHoldingTheConverterStaysUntouched)
{
    Install();
    const std::wstring converter = MakerFolderPath() + L"\\Reelshifter";
    CreateDirectoryW(converter.c_str(), nullptr);
    WriteText(converter + L"\\Reelshifter.exe", "the converter");
    const std::wstring before = ListFolder(converter);

    EXPECT_EQ(0u, RunUninstallEntry());
    EXPECT_EQ(std::vector<DWORD>{0}, WaitForTemporaryCopies());

    EXPECT_FALSE(FolderExists(InstallFolderPath()));
    EXPECT_EQ(before, ListFolder(converter));
    EXPECT_EQ(L"Reelshifter\\\nReelshifter\\Reelshifter.exe 13\n", ListFolder(MakerFolderPath()));
    for (const wchar_t* key : ServerKeys) {
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key)) << key;
    }
}

// The copy started from its own path, in another letter case, removes at once by itself;
// a second run finds nothing more to remove.
TEST_F(UninstallTest, RemovalRulesForEntriesAndShortcuts)
{
    for (const SeededKey& key : SeededKeys) {
        SetString(HKEY_LOCAL_MACHINE, std::wstring(key.parent) + L"\\" + key.name + L"\\Below\\Deeper", L"v", L"x");
    }
    const std::wstring programs = ShellFolder(CSIDL_COMMON_PROGRAMS);
    WriteText(programs + L"\\Reelshifter SDK 1.2.0.lnk", "old shortcut");
    WriteText(programs + L"\\old reelshifter sdk notes.txt", "removed: both words");
    WriteText(programs + L"\\Reelshifter Converter.lnk", "kept: one word");
    WriteText(programs + L"\\RavelnestTests notes.txt", "kept: neither word");
    CreateDirectoryW((programs + L"\\Reelshifter SDK Tools").c_str(), nullptr);
    WriteText(programs + L"\\Reelshifter SDK Tools\\Reelshifter SDK Help.lnk", "kept: in a subfolder");
    CreateKey(HKEY_CLASSES_ROOT, L"ReelshifterLibrary.Reelshifter1\\CLSID");

    const std::wstring copy = UninstallCopyPath();
    ASSERT_TRUE(CopyFileW(BinPath(L"Uninstall.exe").c_str(), copy.c_str(), FALSE));
    EXPECT_EQ(0u, RunProgram(Quoted(Upper(copy))));
    EXPECT_TRUE(WaitForTemporaryCopies(0).empty()) << "the copy made no copy of itself";

    for (const SeededKey& key : SeededKeys) {
        EXPECT_NE(key.removed, KeyExists(HKEY_LOCAL_MACHINE, std::wstring(key.parent) + L"\\" + key.name)) << key.name;
    }
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ReelshifterLibrary.Reelshifter1"));
    EXPECT_FALSE(FileExists(programs + L"\\Reelshifter SDK 1.2.0.lnk"));
    EXPECT_FALSE(FileExists(programs + L"\\old reelshifter sdk notes.txt"));
    EXPECT_TRUE(FileExists(programs + L"\\Reelshifter Converter.lnk"));
    EXPECT_TRUE(FileExists(programs + L"\\RavelnestTests notes.txt"));
    EXPECT_EQ(L"Reelshifter SDK Help.lnk 20\n", ListFolder(programs + L"\\Reelshifter SDK Tools"));

    std::wstring state;
    for (const wchar_t* parent : {UninstallKey, ArpCacheKey}) {
        state += DumpKey(HKEY_LOCAL_MACHINE, parent);
    }
    state += ListFolder(programs);
    EXPECT_EQ(0u, RunProgram(Quoted(BinPath(L"Uninstall.exe"))));
    EXPECT_EQ(std::vector<DWORD>{0}, WaitForTemporaryCopies());
    std::wstring again;
    for (const wchar_t* parent : {UninstallKey, ArpCacheKey}) {
        again += DumpKey(HKEY_LOCAL_MACHINE, parent);
    }
    again += ListFolder(programs);
    EXPECT_EQ(state, again) << "a repeated run removes nothing more";
}

TEST_F(UninstallTest, NothingToRemoveExitsZero)
{
    EXPECT_EQ(0u, RunProgram(Quoted(BinPath(L"Uninstall.exe"))));
    EXPECT_EQ(std::vector<DWORD>{0}, WaitForTemporaryCopies());
    EXPECT_EQ(m_cleanState, DumpInstalledState());
}

// The elevated copy never writes through what an unelevated program planted at its path.
TEST_F(UninstallTest, LinksPlantedAtTheCopyPathKeepTheirTargets)
{
    const std::wstring victims = L"C:\\ravelnest-tests\\copy-victim";
    CreateDirectoryW(L"C:\\ravelnest-tests", nullptr);
    CreateDirectoryW(victims.c_str(), nullptr);
    WriteText(victims + L"\\precious.exe", "precious");
    const std::wstring copy = UninstallCopyPath();

    // A second name of another file: only the name goes, and the copy runs.
    ASSERT_TRUE(CreateHardLinkW(copy.c_str(), (victims + L"\\precious.exe").c_str(), nullptr));
    SetString(HKEY_LOCAL_MACHINE, std::wstring(UninstallKey) + L"\\" + EntryName, L"DisplayName", EntryName);
    EXPECT_EQ(0u, RunProgram(Quoted(BinPath(L"Uninstall.exe"))));
    EXPECT_EQ(std::vector<DWORD>{0}, WaitForTemporaryCopies());
    EXPECT_EQ(std::vector<char>({'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}), ReadBytes(victims + L"\\precious.exe"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(UninstallKey) + L"\\" + EntryName));

    // A link to a folder (a reparse point): nothing in the folder changes. Windows unlinks
    // it and the copy runs; Wine cannot remove a folder link, so the handoff is refused.
    DeleteFileW(copy.c_str());
    ASSERT_TRUE(PlantUnixLink(copy, victims));
    ASSERT_EQ(0x410u, GetFileAttributesW(copy.c_str()) & 0x410u);
    const DWORD exitCode = RunProgram(Quoted(BinPath(L"Uninstall.exe")));
    const bool linkStayed = (GetFileAttributesW(copy.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    EXPECT_EQ(linkStayed ? 1u : 0u, exitCode);
    WaitForTemporaryCopies();
    EXPECT_EQ(L"precious.exe 8\n", ListFolder(victims));
}

// Two uninstallers started together, as a double click on the entry does: both hand over,
// every copy completes, and nothing is left, however their steps meet.
TEST_F(UninstallTest, TwoUninstallersStartedTogetherBothSucceed)
{
    for (int round = 0; round < 3; ++round) {
        Install();
        const StartedProgram first = StartProgramWithId(UninstallEntryCommand(), InstallFolderPath().c_str());
        const StartedProgram second = StartProgramWithId(UninstallEntryCommand(), InstallFolderPath().c_str());
        EXPECT_EQ(0u, FinishProgram(first.process, 60000)) << "round " << round;
        EXPECT_EQ(0u, FinishProgram(second.process, 60000)) << "round " << round;
        for (DWORD exitCode : WaitForTemporaryCopies()) {
            EXPECT_EQ(0u, exitCode) << "round " << round;
        }
        ExpectNothingLeft();
        EXPECT_EQ(0u, GetFileAttributesW(UninstallCopyPath().c_str()) &
                          (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    }
}

// A shell folder that cannot be obtained, and a local application-data folder on a share or
// a network drive, where a server would answer the checked reads of the copy as it likes:
// exit code 1 before anything is made, there or anywhere.
TEST_F(UninstallTest, UnobtainableOrNetworkShellFolderExitsOneAndChangesNothing)
{
    SetString(HKEY_LOCAL_MACHINE, std::wstring(UninstallKey) + L"\\" + EntryName, L"DisplayName", EntryName);
    const std::wstring network = L"C:\\ravelnest-tests\\network";
    DeleteTree(network);
    ASSERT_TRUE(CreateDirectoryW(network.c_str(), nullptr));
    const CWineNetworkPlace share(L"server\\share", network);
    const CWineNetworkPlace drive(L"r:", network);
    ASSERT_TRUE(share.Valid() && drive.Valid()) << "no share or network drive under this Wine";
    const std::wstring before = DumpInstalledState();
    const std::wstring missing = L"Q:\\Missing Drive\\Folder";
    const struct {
        HKEY root;
        std::wstring path;
        const wchar_t* name;
        std::wstring value;
    } overrides[] = {
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion", L"ProgramFilesDir", missing},
        {HKEY_LOCAL_MACHINE, UserShellFolders, L"Common Programs", missing},
        {HKEY_CURRENT_USER, UserShellFolders, L"Local AppData", missing},
        {HKEY_CURRENT_USER, UserShellFolders, L"Local AppData", L"\\\\server\\share\\AppData\\Local"},
        {HKEY_CURRENT_USER, UserShellFolders, L"Local AppData", L"\\\\?\\UNC\\server\\share\\AppData\\Local"},
        {HKEY_CURRENT_USER, UserShellFolders, L"Local AppData", L"R:\\AppData\\Local"},
    };
    for (const auto& override : overrides) {
        SCOPED_TRACE(override.value);
        {
            CStringOverride changed(override.root, override.path, override.name, override.value);
            EXPECT_EQ(1u, RunProgram(Quoted(BinPath(L"Uninstall.exe")))) << override.name;
            // On the network, reading the copy's path as the tests do would make its folders.
            EXPECT_TRUE(ProcessesNamed(L"Ravelnest Reelshifter SDK Uninstall.exe").empty()) << override.name;
            if (override.value == missing) {
                EXPECT_FALSE(FileExists(UninstallCopyPath())) << override.name;
            }
        }
        EXPECT_EQ(L"", ListFolder(network)) << "written on the network";
        EXPECT_EQ(before, DumpInstalledState()) << override.name;
    }
}

}  // namespace

namespace {

bool IsWow64()
{
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

// The test platform's variant of the prefix this test runs in, from its environment.
std::wstring Variant(const wchar_t* name)
{
    wchar_t value[256] = {};
    GetEnvironmentVariableW(name, value, 256);
    return value;
}

bool KeyExistsInView(const std::wstring& path, REGSAM view, HKEY root = HKEY_LOCAL_MACHINE)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

}  // namespace

// On 64-bit Windows each program gets the folders and the registry view of its own kind:
// the 32-bit programs "Program Files (x86)" and the 32-bit view, a 64-bit build "Program
// Files" and the native view; the other view stays untouched. Meaningless on 32-bit Windows.
TEST_F(UninstallTest, SixtyFourBitWindowsGivesEachProgramItsOwnFoldersAndRegistryView)
{
    const bool image64 = sizeof(void*) == 8;
    if (!image64 && !IsWow64()) {
        ASSERT_NE(L"win64", Variant(L"RAVELNEST_WINEARCH")) << "the 64-bit prefix runs 32-bit programs natively";
        GTEST_SKIP() << "a 32-bit Windows";
    }
    const REGSAM ownView = image64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    const REGSAM otherView = image64 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    const std::wstring entry = std::wstring(UninstallKey) + L"\\" + EntryName;
    const std::wstring redirectedEntry =
        L"Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + std::wstring(EntryName);
    const std::wstring classKey = L"CLSID\\{E2A4D6F8-1B3C-4E5F-9071-A2B4C6D8E0F1}";
    Install();
    EXPECT_EQ(!image64, InstallFolderPath().find(L"\\Program Files (x86)\\") != std::wstring::npos)
        << InstallFolderPath();
    EXPECT_NE(std::wstring::npos, InstallFolderPath().find(L"\\Program Files")) << InstallFolderPath();
    EXPECT_TRUE(KeyExistsInView(entry, ownView));
    EXPECT_EQ(!image64, KeyExistsInView(redirectedEntry, KEY_WOW64_64KEY)) << "the 32-bit view's own key";
    EXPECT_FALSE(KeyExistsInView(entry, otherView)) << "the other view";
    EXPECT_TRUE(KeyExistsInView(classKey, ownView, HKEY_CLASSES_ROOT));
    EXPECT_FALSE(KeyExistsInView(classKey, otherView, HKEY_CLASSES_ROOT)) << "the other view";

    EXPECT_EQ(0u, RunUninstallEntry());
    EXPECT_EQ(std::vector<DWORD>{0}, WaitForTemporaryCopies());
    EXPECT_FALSE(KeyExistsInView(entry, ownView));
    EXPECT_FALSE(KeyExistsInView(classKey, ownView, HKEY_CLASSES_ROOT));
    EXPECT_FALSE(FolderExists(InstallFolderPath()));
    EXPECT_EQ(m_cleanState, DumpInstalledState());
}

// The user profile, and with it the temporary folder of the uninstaller's copy, named with
// Japanese characters and spaces. Meaningful in a prefix made with such a name only.
TEST_F(UninstallTest, ProfileNameOutsideAsciiRoundTrips)
{
    const std::wstring copy = UninstallCopyPath();
    if (std::all_of(copy.begin(), copy.end(), [](wchar_t c) { return c < 0x80; })) {
        ASSERT_EQ(L"", Variant(L"RAVELNEST_WINE_USER")) << "the profile lost its name: " << copy;
        GTEST_SKIP() << "an ASCII profile name";
    }
    EXPECT_NE(std::wstring::npos, copy.find(L' '));
    Install();
    EXPECT_EQ(0u, RunUninstallEntry());
    EXPECT_EQ(std::vector<DWORD>{0}, WaitForTemporaryCopies());
    EXPECT_TRUE(FileExists(copy)) << "the copy ran from the profile's temporary folder";
    EXPECT_FALSE(FolderExists(InstallFolderPath()));
    EXPECT_EQ(m_cleanState, DumpInstalledState());
}
