// Hostile leftovers and input around a round trip: attributes on what setup made, a file
// held open without sharing, registry names at and beyond the platform's limits, a large
// tree below the converter's registration, and paths near MAX_PATH.
#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "InstalledState.h"
#include "RegistryKey.h"
#include "RoundTripTest.h"
#include "TestFiles.h"
#include "TestPrograms.h"
#include "TestRegistry.h"

namespace {

const wchar_t* const LongRoot = L"C:\\ravelnest-tests\\long";
const wchar_t* const ClassKey = L"CLSID\\{E2A4D6F8-1B3C-4E5F-9071-A2B4C6D8E0F1}";

// The local form for the file system's own calls, which refuse longer plain paths.
std::wstring Extended(const std::wstring& path)
{
    return L"\\\\?\\" + path;
}

bool CreateKeyPath(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    RegSetValueExW(key, L"Data", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 2 * sizeof(wchar_t));
    RegCloseKey(key);
    return true;
}

class HostileInputTest : public RoundTripTest {
protected:
    HostileInputTest() : RoundTripTest(L"hostile-recorder.log") {}

    void RemoveLeftovers() override
    {
        // Not SHDeleteKeyW, which would follow a link a failed run left.
        CRegistryKey classes;
        if (classes.Open(HKEY_CLASSES_ROOT, nullptr) == ERROR_SUCCESS) {
            classes.DeleteKeyTree(ClassKey);
        }
        SHDeleteKeyW(HKEY_CLASSES_ROOT, L"RavelnestTests.Unrelated");
        DeleteTree(LongRoot);
    }
};

TEST_F(HostileInputTest, ReadOnlyHiddenAndSystemFilesAndFoldersAreReplacedAndRemoved)
{
    const DWORD hostile = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    Install();
    const std::wstring installed = DumpInstalledState();
    CreateDirectoryW((InstallFolderPath() + L"\\Samples").c_str(), nullptr);
    WriteText(InstallFolderPath() + L"\\Samples\\clip.txt", "user's sample");
    SetAttributesBelow(MakerFolderPath(), hostile);
    SetFileAttributesW(MakerFolderPath().c_str(), hostile);

    Install();
    DeleteTree(InstallFolderPath() + L"\\Samples");
    EXPECT_EQ(installed, DumpInstalledState());

    CreateDirectoryW((InstallFolderPath() + L"\\Samples").c_str(), nullptr);
    WriteText(InstallFolderPath() + L"\\Samples\\clip.txt", "user's sample");
    SetAttributesBelow(MakerFolderPath(), hostile);
    SetFileAttributesW(MakerFolderPath().c_str(), hostile);
    Uninstall();
    ExpectNothingLeft();
}

TEST_F(HostileInputTest, FileHeldWithoutSharingIsTheOnlyThingLeftUntilTheNextRun)
{
    Install();
    const std::wstring installed = DumpInstalledState();
    const std::wstring readme = InstallFolderPath() + L"\\Readme.txt";
    const size_t readmeSize = ReadBytes(readme).size();
    WriteText(readme, "held");
    HANDLE held = CreateFileW(readme.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);

    // Setup finishes and reports the failure; the held readme keeps its old contents, all
    // else is replaced.
    Install(1);
    CloseHandle(held);
    EXPECT_NE(installed, DumpInstalledState());
    Install();
    EXPECT_EQ(installed, DumpInstalledState());

    held = CreateFileW(readme.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    Uninstall();
    const std::wstring left = ListFolder(MakerFolderPath());
    CloseHandle(held);
    EXPECT_EQ(L"Reelshifter SDK\\\nReelshifter SDK\\Readme.txt " + std::to_wstring(readmeSize) + L"\n", left)
        << "only the held file and its folders";
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(UninstallKey) + L"\\" + EntryName));

    // Released: the uninstaller's copy, the only uninstaller left, completes the removal.
    ASSERT_TRUE(FileExists(UninstallCopyPath()));
    EXPECT_EQ(0u, RunProgram(Quoted(UninstallCopyPath())));
    ExpectNothingLeft();
}

TEST_F(HostileInputTest, RegistryNamesAtTheLimitsAreMatchedLikeAnyOther)
{
    const std::wstring pad(200, L'x');
    struct Seeded {
        const wchar_t* parent;
        std::wstring name;
        bool removedBySetup;
        bool removedByUninstall;
    };
    std::vector<Seeded> seeded = {
        // 255 characters, the longest name Windows allows.
        {UninstallKey, L"Ravelnest Reelshifter SDK 0.9 " + pad + std::wstring(25, L'9'), true, true},
        {UninstallKey, L"Unrelated " + pad + std::wstring(45, L'z'), false, false},
        {ArpCacheKey, L"Reelshifter " + pad + std::wstring(43, L'c'), true, true},
        {ArpCacheKey, L"Other " + pad + std::wstring(49, L'c'), false, false},
        // Outside the Basic Multilingual Plane: surrogate pairs on either side.
        {UninstallKey, L"\U0001F3AC Reelshifter SDK \U00020B9F", false, true},
        {UninstallKey, L"\U0001F3AC Other Video Kit \U00020B9F", false, false},
        {ArpCacheKey, L"\U00020B9F ravelnest \U0001F3AC", true, true},
        {ArpCacheKey, L"\U00020B9F \U0001F3AC", false, false},
        // Pattern characters, which are text here, never syntax.
        {UninstallKey, L"*?[(|{!$^ Reelshifter (SDK) ^$", false, true},
        {UninstallKey, L"*?[(|{!$^ Reelshifter", false, false},
        {UninstallKey, L"(Ravelnest)|(Reelshifter) SDK*", false, true},
        {ArpCacheKey, L"*?[(|{!$^ Reelshifter", true, true},
        {ArpCacheKey, L"*?[(|{!$^ R.avelnest", false, false},
        {ArpCacheKey, L"[Ravelnest]", true, true},
    };
    // Beyond 255 characters where the platform allows such a name at all.
    const std::wstring overlong = L"Reelshifter SDK " + std::wstring(300, L'o');
    const bool overlongAllowed = CreateKeyPath(HKEY_LOCAL_MACHINE, std::wstring(ArpCacheKey) + L"\\" + overlong);
    if (overlongAllowed) {
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, (std::wstring(ArpCacheKey) + L"\\" + overlong).c_str());
        seeded.push_back({ArpCacheKey, overlong, true, true});
        seeded.push_back({UninstallKey, overlong, false, true});
        seeded.push_back({UninstallKey, L"Other " + std::wstring(300, L'o'), false, false});
    }
    std::printf("names over 255 characters %s\n", overlongAllowed ? "allowed and seeded" : "refused by the platform");

    auto seed = [&] {
        for (const Seeded& key : seeded) {
            ASSERT_TRUE(CreateKeyPath(HKEY_LOCAL_MACHINE, std::wstring(key.parent) + L"\\" + key.name + L"\\Child"))
                << key.name.size();
        }
    };
    auto expectRemoved = [&](bool Seeded::*removed) {
        for (const Seeded& key : seeded) {
            EXPECT_EQ(!(key.*removed), KeyExists(HKEY_LOCAL_MACHINE, std::wstring(key.parent) + L"\\" + key.name))
                << key.name.size() << " characters under " << (key.parent == UninstallKey ? "Uninstall" : "ARPCache");
        }
    };
    seed();
    Install();
    expectRemoved(&Seeded::removedBySetup);
    seed();
    Uninstall();
    expectRemoved(&Seeded::removedByUninstall);
    for (const Seeded& key : seeded) {
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, (std::wstring(key.parent) + L"\\" + key.name).c_str());
    }
    ExpectNothingLeft();
}

TEST_F(HostileInputTest, DeepAndWideTreesBelowTheServerRegistrationGo)
{
    auto plant = [] {
        std::wstring deep = std::wstring(ClassKey) + L"\\Deep";
        for (int level = 1; level <= 100; ++level) {
            deep += L"\\L" + std::to_wstring(level);
        }
        ASSERT_TRUE(CreateKeyPath(HKEY_CLASSES_ROOT, deep));
        HKEY wide = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, (std::wstring(ClassKey) + L"\\Wide").c_str(), 0,
                                                 nullptr, 0, KEY_ALL_ACCESS, nullptr, &wide, nullptr));
        for (int i = 0; i < 5000; ++i) {
            HKEY child = nullptr;
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(wide, (L"K" + std::to_wstring(i)).c_str(), 0, nullptr, 0,
                                                     KEY_SET_VALUE, nullptr, &child, nullptr));
            RegSetValueExW(child, L"Data", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 2 * sizeof(wchar_t));
            RegCloseKey(child);
        }
        RegCloseKey(wide);
    };
    plant();
    Install();
    const std::wstring installed = DumpInstalledState();
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(ClassKey) + L"\\Deep")) << "setup registers afresh";
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(ClassKey) + L"\\Wide"));
    plant();
    Uninstall();
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey));
    ExpectNothingLeft();
}

// Registry links below the class key, planted before setup and again before the
// uninstaller: to their own parent, and to unrelated keys with values and with subkeys.
// Each removal takes the links and never what they lead to.
TEST_F(HostileInputTest, RegistryLinksBelowTheServerRegistrationGoAndTheirTargetsStay)
{
    const std::wstring unrelated = L"RavelnestTests.Unrelated";
    SetString(HKEY_CLASSES_ROOT, unrelated + L"\\WithValues", L"Data", L"kept");
    CreateKey(HKEY_CLASSES_ROOT, unrelated + L"\\WithSubkeys\\Child");
    const std::wstring before = DumpKey(HKEY_CLASSES_ROOT, unrelated);
    auto plant = [&] {
        const std::wstring sub = std::wstring(ClassKey) + L"\\Sub";
        CreateKey(HKEY_CLASSES_ROOT, sub);
        ASSERT_TRUE(CreateRegistryLink(HKEY_CLASSES_ROOT, sub + L"\\ToParent", HKEY_CLASSES_ROOT, sub));
        ASSERT_TRUE(CreateRegistryLink(HKEY_CLASSES_ROOT, std::wstring(ClassKey) + L"\\ToValues", HKEY_CLASSES_ROOT,
                                       unrelated + L"\\WithValues"));
        ASSERT_TRUE(CreateRegistryLink(HKEY_CLASSES_ROOT, sub + L"\\ToSubkeys", HKEY_CLASSES_ROOT,
                                       unrelated + L"\\WithSubkeys"));
    };
    plant();
    Install();
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(ClassKey) + L"\\Sub")) << "setup registers afresh";
    EXPECT_EQ(before, DumpKey(HKEY_CLASSES_ROOT, unrelated));
    plant();
    Uninstall();
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey));
    EXPECT_EQ(before, DumpKey(HKEY_CLASSES_ROOT, unrelated));
    DeleteTestKey(HKEY_CLASSES_ROOT, unrelated.c_str());
    ExpectNothingLeft();
}

TEST_F(HostileInputTest, ProgramFilesNearMaxPathAndLongNamesInside)
{
    // The longest path setup makes, the help file's, is 259 characters: MAX_PATH with its
    // terminator.
    const std::wstring tail = L"\\Ravelnest\\Reelshifter SDK\\Reelshifter SDK.chm";
    std::wstring programFiles = LongRoot;
    while (programFiles.size() + tail.size() < MAX_PATH - 1) {
        programFiles += programFiles.size() + tail.size() + 50 < MAX_PATH ? L"\\Program Files long name" : L"x";
    }
    while (programFiles.back() == L'\\') {
        programFiles.pop_back();
    }
    ASSERT_EQ(static_cast<size_t>(MAX_PATH - 1), programFiles.size() + tail.size());
    ASSERT_EQ(0, SHCreateDirectoryExW(nullptr, programFiles.c_str(), nullptr));
    {
        const CStringOverride override(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion",
                                       L"ProgramFilesDir", programFiles);
        ASSERT_EQ(programFiles, ShellFolder(CSIDL_PROGRAM_FILES));
        Install();
        EXPECT_TRUE(FileExists(programFiles + tail));
        EXPECT_TRUE(FileExists(InstallFolderPath() + L"\\Uninstall.exe"));

        // Names of 255 characters, and folders nested past MAX_PATH, inside the folder.
        std::wstring nested = InstallFolderPath();
        for (int level = 0; level < 3; ++level) {
            nested += L"\\" + std::wstring(200, static_cast<wchar_t>(L'a' + level));
            ASSERT_TRUE(CreateDirectoryW(Extended(nested).c_str(), nullptr)) << nested.size();
        }
        const std::wstring longFile = nested + L"\\" + std::wstring(251, L'f') + L".txt";
        HANDLE file = CreateFileW(Extended(longFile).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_READONLY, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        CloseHandle(file);

        Uninstall();
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Extended(InstallFolderPath()).c_str()));
        EXPECT_FALSE(FolderExists(MakerFolderPath()));
    }
    ExpectNothingLeft();
}

}  // namespace
