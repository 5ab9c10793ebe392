// The real setup.exe from the package folder, driven as a user drives it, and the machine
// state it leaves, read as a user's Windows shows it.
#include <gtest/gtest.h>

#include <objbase.h>
#include <sddl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "HandleHolder.h"
#include "InstalledState.h"
#include "SetupFixture.h"
#include "ShellLink.h"
#include "SystemFolder.h"
#include "TestFiles.h"
#include "TestPrograms.h"
#include "TestRegistry.h"

TEST_F(SetupTest, ConfirmInstallsEverything)
{
    const SetupRun run = RunSetup(PackageFolder() + L"\\setup.exe");
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(run.sawMessage);
    EXPECT_EQ(CompletionText, run.messageText);
    EXPECT_FALSE(run.messageHasErrorIcon);
    ExpectInstalled();

    // The readme was opened through its association, with the installed path.
    const std::vector<std::wstring> lines = WaitForRecordedLines(1);
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::wstring::npos, lines[0].find(InstallFolderPath() + L"\\Readme.txt"));
}

// Files of an earlier installation that were made read-only, hidden or system (and changed)
// are replaced, not kept behind a completion message.
TEST_F(SetupTest, ReinstallReplacesReadOnlyHiddenAndSystemFiles)
{
    ASSERT_EQ(0u, RunSetup(PackageFolder() + L"\\setup.exe").exitCode);
    const std::wstring folder = InstallFolderPath();
    const struct {
        const wchar_t* name;
        DWORD attributes;
    } files[] = {{L"\\Reelshifter SDK.chm", FILE_ATTRIBUTE_READONLY},
                 {L"\\Uninstall.exe", FILE_ATTRIBUTE_HIDDEN},
                 {L"\\Readme.txt", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN}};
    // Wine keeps a name with a colon as a file of its own: it stands in for the download's
    // mark, the Zone.Identifier stream, that an earlier copy from a downloaded zip brought.
    for (const auto& file : files) {
        WriteText(folder + file.name, "stale");
        WriteText(folder + file.name + L":Zone.Identifier", "[ZoneTransfer]\r\nZoneId=3\r\n");
        SetFileAttributesW((folder + file.name).c_str(), file.attributes);
    }
    SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_READONLY);
    const SetupRun run = RunSetup(PackageFolder() + L"\\setup.exe");
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(CompletionText, run.messageText);
    ExpectInstalled();
    for (const auto& file : files) {
        EXPECT_FALSE(FileExists(folder + file.name + L":Zone.Identifier")) << file.name;
    }
}

TEST_F(SetupTest, EnterKeyConfirmsLikeTheButton)
{
    const SetupRun run = RunSetup(PackageFolder() + L"\\setup.exe", Confirm::EnterKey);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(CompletionText, run.messageText);
    ExpectInstalled();
}

TEST_F(SetupTest, LeftoversOfEarlierInstallationsAreReplaced)
{
    const std::wstring common = ShellFolder(CSIDL_COMMON_PROGRAMS);
    const std::wstring perUser = ShellFolder(CSIDL_PROGRAMS);
    const std::wstring target = L"C:\\windows\\notepad.exe";
    CreateShortcut(target.c_str(), (common + L"\\Reelshifter SDK.lnk").c_str());
    CreateShortcut(target.c_str(), (common + L"\\Reelshifter SDK 1.2.0.lnk").c_str());
    CreateDirectoryW((common + L"\\Reelshifter SDK Samples.lnk").c_str(), nullptr);
    CreateShortcut(target.c_str(), (common + L"\\Reelshifter SDK Samples.lnk\\Reelshifter SDK Inner.lnk").c_str());
    CreateShortcut(target.c_str(), (perUser + L"\\Reelshifter SDK 1.2.0.lnk").c_str());

    const std::wstring arp = ArpCacheKey;
    for (const wchar_t* name : {L"Ravelnest Reelshifter SDK 1.2.0", L"RAVELNEST Tools", L"myreelshifter", L"Other Tool"}) {
        SetString(HKEY_LOCAL_MACHINE, arp + L"\\" + name, L"SlowInfoCache", L"x");
    }
    const std::wstring uninstall = UninstallKey;
    for (const wchar_t* name : {L"Ravelnest Reelshifter SDK 1.2.0", L"ravelnest reelshifter sdk 1.1",
                                L"Ravelnest Reelshifter SDK", L"Ravelnest Reelshifter 1.3.0",
                                L"Ravelnest Reelshifter SDK 1.3.0"}) {
        SetString(HKEY_LOCAL_MACHINE, uninstall + L"\\" + name + L"\\Below", L"DisplayName", name);
    }
    const std::wstring classId = L"CLSID\\{E2A4D6F8-1B3C-4E5F-9071-A2B4C6D8E0F1}";
    SetString(HKEY_CLASSES_ROOT, classId + L"\\ProgID", nullptr, L"Reelshifter.Reelshifter1");
    SetString(HKEY_CLASSES_ROOT, L"Interface\\{3F6E9B12-7C4D-4A85-B0E3-D92C1A5F7B46}\\TypeLib", L"Version", L"1.0");
    SetString(HKEY_CLASSES_ROOT, L"TypeLib\\{5C0B7A21-3E94-4D1F-8A62-1B7D9E4C3F08}\\1.0\\FLAGS", nullptr, L"0");
    SetString(HKEY_CLASSES_ROOT, L"AppID\\{E2A4D6F8-1B3C-4E5F-9071-A2B4C6D8E0F1}", nullptr, L"old");
    SetString(HKEY_CLASSES_ROOT, L"Interface\\{A7D31C59-E084-42B6-9F1A-6C8E2D4B0F93}", nullptr, L"old");
    for (const wchar_t* progId : {L"Ravelnest.Reelshifter", L"Ravelnest.Reelshifter1", L"Reelshifter.Reelshifter",
                                  L"ReelshifterLibrary.Reelshifter", L"ReelshifterLibrary.Reelshifter1"}) {
        SetString(HKEY_CLASSES_ROOT, std::wstring(progId) + L"\\CLSID", nullptr, L"{old}");
    }

    const SetupRun run = RunSetup(PackageFolder() + L"\\setup.exe");
    EXPECT_EQ(0u, run.exitCode);
    ExpectInstalled();

    EXPECT_FALSE(FileExists(common + L"\\Reelshifter SDK.lnk"));
    EXPECT_FALSE(FileExists(common + L"\\Reelshifter SDK 1.2.0.lnk"));
    EXPECT_TRUE(FolderExists(common + L"\\Reelshifter SDK Samples.lnk"));
    EXPECT_TRUE(FileExists(common + L"\\Reelshifter SDK Samples.lnk\\Reelshifter SDK Inner.lnk"));
    EXPECT_TRUE(FileExists(perUser + L"\\Reelshifter SDK 1.2.0.lnk"));

    const std::vector<std::wstring> arpLeft = SubkeyNames(HKEY_LOCAL_MACHINE, arp);
    for (const wchar_t* gone : {L"Ravelnest Reelshifter SDK 1.2.0", L"RAVELNEST Tools", L"myreelshifter"}) {
        EXPECT_EQ(arpLeft.end(), std::find(arpLeft.begin(), arpLeft.end(), gone));
    }
    EXPECT_NE(arpLeft.end(), std::find(arpLeft.begin(), arpLeft.end(), L"Other Tool"));
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, (arp + L"\\Other Tool").c_str());

    std::vector<std::wstring> entries;
    for (const std::wstring& name : SubkeyNames(HKEY_LOCAL_MACHINE, uninstall)) {
        if (name.find(L"eelshifter") != std::wstring::npos) {
            entries.push_back(name);
        }
    }
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ((std::vector<std::wstring>{L"Ravelnest Reelshifter 1.3.0", L"Ravelnest Reelshifter SDK",
                                         L"Ravelnest Reelshifter SDK 1.3.0"}),
              entries);
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, (uninstall + L"\\Ravelnest Reelshifter 1.3.0").c_str());
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, (uninstall + L"\\Ravelnest Reelshifter SDK").c_str());
    DeleteTree(common + L"\\Reelshifter SDK Samples.lnk");
    DeleteFileW((perUser + L"\\Reelshifter SDK 1.2.0.lnk").c_str());

    // A second installation leaves exactly the state of the first.
    const std::wstring first = DumpInstalledState();
    EXPECT_EQ(0u, RunSetup(PackageFolder() + L"\\setup.exe").exitCode);
    EXPECT_EQ(first, DumpInstalledState());
}

TEST_F(SetupTest, ReadmeFallsBackToNotepadWithoutAssociation)
{
    CStringOverride noHandler(HKEY_CLASSES_ROOT, L".txt", nullptr, L"RavelnestTests.NoHandler");
    std::vector<DWORD> seen = ProcessesNamed(L"notepad.exe");
    const SetupRun run = RunSetup(PackageFolder() + L"\\setup.exe");
    EXPECT_EQ(0u, run.exitCode);
    const CHandleHolder notepad(WaitForNewProcess(L"notepad.exe", seen));
    ASSERT_TRUE(notepad);
    // Started by the desktop's shell, by its full path. Wine's Notepad cuts its own command
    // line at the closing quote while reading it.
    const std::wstring expected =
        Quoted(std::wstring(SystemFolder()) + L"\\notepad.exe") + L" " + Quoted(InstallFolderPath() + L"\\Readme.txt");
    const std::wstring actual = ProcessCommandLine(notepad.Get());
    EXPECT_EQ(expected.size(), actual.size());
    EXPECT_EQ(expected.substr(0, expected.size() - 1), actual.substr(0, expected.size() - 1));
    TerminateProcess(notepad.Get(), 0);
}

// A help file that setup cannot replace (a help viewer holds it, denying writes) leaves an
// older installation's contents, here one byte changed: that is a failure, not a completed
// installation. The same file held while it already has the new contents is a complete
// installation, and so is one that a scanner holds for a moment while setup writes it.
TEST_F(SetupTest, ReinstallOverAHeldOlderHelpFileReportsFailureUntilReleased)
{
    ASSERT_EQ(0u, RunSetup(PackageFolder() + L"\\setup.exe").exitCode);
    const std::wstring help = InstallFolderPath() + L"\\Reelshifter SDK.chm";
    const auto holdHelp = [&help](DWORD sharing) {
        return HoldValidHandle(CreateFileW(help.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING, 0, nullptr));
    };
    {
        const CHandleHolder held = holdHelp(FILE_SHARE_READ);
        ASSERT_TRUE(held);
        const SetupRun identical = RunSetup(PackageFolder() + L"\\setup.exe");
        EXPECT_EQ(0u, identical.exitCode);
        EXPECT_EQ(CompletionText, identical.messageText);
    }
    std::vector<char> older = ReadBytes(help);
    ASSERT_FALSE(older.empty());
    older[older.size() / 2] ^= 0x20;
    WriteBytes(help, older);
    {
        const CHandleHolder held = holdHelp(FILE_SHARE_READ);
        ASSERT_TRUE(held);
        const SetupRun olderRun = RunSetup(PackageFolder() + L"\\setup.exe");
        EXPECT_EQ(1u, olderRun.exitCode);
        EXPECT_EQ(FailureText, olderRun.messageText);
        EXPECT_TRUE(olderRun.messageHasErrorIcon);
    }
    EXPECT_EQ(older, ReadBytes(help));

    // Held without any sharing, and let go half a second after setup removed the old
    // shortcuts, its step just before the files are written.
    const std::wstring oldShortcut = ShellFolder(CSIDL_COMMON_PROGRAMS) + L"\\Reelshifter SDK 1.2.0.lnk";
    CreateShortcut(L"C:\\windows\\notepad.exe", oldShortcut.c_str());
    ASSERT_TRUE(FileExists(oldShortcut));
    CHandleHolder scanned = holdHelp(0);
    ASSERT_TRUE(scanned);
    std::thread scanner;
    const SetupRun released = RunSetup(PackageFolder() + L"\\setup.exe", Confirm::Click, [&] {
        scanner = std::thread([&] {
            for (int i = 0; i < 600 && FileExists(oldShortcut); ++i) {
                Sleep(50);
            }
            Sleep(500);
            scanned.Close();
        });
    });
    scanner.join();
    EXPECT_EQ(0u, released.exitCode);
    EXPECT_EQ(CompletionText, released.messageText);
    ExpectInstalled();
}

// Another program changes the download folder while setup's dialog waits, or only setup.exe
// was unpacked (started from inside the zip): nothing of the earlier installation changes,
// and a program running from it keeps running.
TEST_F(SetupTest, PackageChangedWhileTheDialogWaitsChangesNothing)
{
    ASSERT_EQ(0u, RunSetup(PackageFolder() + L"\\setup.exe").exitCode);
    const std::wstring folder = InstallFolderPath();
    ASSERT_TRUE(CopyFileW(BinPath(L"sleeper.exe").c_str(), (folder + L"\\Sample.exe").c_str(), FALSE));
    const StartedProgram sample = StartProgramWithId(Quoted(folder + L"\\Sample.exe") + L" ignore");
    ASSERT_NE(nullptr, sample.process);
    ASSERT_NE(nullptr, WaitForWindow(sample.id, L"RavelnestTestSleeper", nullptr));
    const std::wstring installed = DumpInstalledState();
    const wchar_t* const files[] = {L"\\Reelshifter SDK.chm", L"\\Uninstall.exe", L"\\Readme.txt"};
    std::vector<std::vector<char>> bytes;
    for (const wchar_t* file : files) {
        bytes.push_back(ReadBytes(folder + file));
    }
    DeleteFileW(m_log.c_str());

    const std::wstring source = TempFolder(L"ravelnest-changed-package");
    const struct {
        const wchar_t* name;
        std::function<void()> change;
    } changes[] = {
        {L"another program as Uninstall.exe",
         [&] { CopyFileW(BinPath(L"sleeper.exe").c_str(), (source + L"\\Uninstall.exe").c_str(), FALSE); }},
        {L"one byte of the help file",
         [&] {
             std::vector<char> help = ReadBytes(source + L"\\Reelshifter SDK.chm");
             help[help.size() / 2] ^= 0x20;
             WriteBytes(source + L"\\Reelshifter SDK.chm", help);
         }},
        {L"one byte of the readme",
         [&] {
             std::vector<char> readme = ReadBytes(source + L"\\readme.txt");
             readme[0] ^= 0x20;
             WriteBytes(source + L"\\readme.txt", readme);
         }},
        {L"only setup.exe", nullptr},
    };
    for (const auto& change : changes) {
        DeleteTree(source);
        if (change.change) {
            CopyFolder(PackageFolder(), source);
        } else {
            CreateDirectoryW(source.c_str(), nullptr);
            CopyFileW((PackageFolder() + L"\\setup.exe").c_str(), (source + L"\\setup.exe").c_str(), FALSE);
        }
        const SetupRun run = RunSetup(source + L"\\setup.exe", Confirm::Click, change.change);
        EXPECT_EQ(1u, run.exitCode) << change.name;
        EXPECT_EQ(FailureText, run.messageText) << change.name;
        EXPECT_TRUE(run.messageHasErrorIcon) << change.name;
        EXPECT_EQ(installed, DumpInstalledState()) << change.name;
        for (size_t i = 0; i < bytes.size(); ++i) {
            EXPECT_EQ(bytes[i], ReadBytes(folder + files[i])) << change.name << ": " << files[i];
        }
        EXPECT_TRUE(IsRunning(sample.process)) << change.name;
        EXPECT_TRUE(RecordedLines(m_log).empty()) << change.name << ": the readme was opened";
    }
    TerminateProcess(sample.process, 0);
    FinishProgram(sample.process);
    DeleteTree(source);
}

// A program holds Uninstall.exe in the installation folder open by running from it, started
// through `startPath` (that file's path in some letter case); setup ends it before copying,
// and leaves the programs of the sibling folders running.
void ExpectProgramEndedBeforeCopies(const std::wstring& startPath)
{
    const std::wstring folder = InstallFolderPath();
    CreateDirectoryW(MakerFolderPath().c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(BinPath(L"sleeper.exe").c_str(), (folder + L"\\Uninstall.exe").c_str(), FALSE));
    std::vector<StartedProgram> siblings;
    for (const std::wstring& sibling : SiblingFolders()) {
        CreateDirectoryW(sibling.c_str(), nullptr);
        ASSERT_TRUE(CopyFileW(BinPath(L"sleeper.exe").c_str(), (sibling + L"\\Viewer.exe").c_str(), FALSE));
        siblings.push_back(StartProgramWithId(Quoted(sibling + L"\\Viewer.exe") + L" ignore"));
        ASSERT_NE(nullptr, WaitForWindow(siblings.back().id, L"RavelnestTestSleeper", nullptr));
    }
    const StartedProgram running = StartProgramWithId(Quoted(startPath) + L" ignore");
    ASSERT_NE(nullptr, running.process);
    ASSERT_NE(nullptr, WaitForWindow(running.id, L"RavelnestTestSleeper", nullptr));

    const SetupRun run = RunSetup(PackageFolder() + L"\\setup.exe");
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(0u, FinishProgram(running.process, 5000));  // terminated with exit code 0
    for (const StartedProgram& sibling : siblings) {
        EXPECT_TRUE(IsRunning(sibling.process)) << "a program of a sibling folder was ended";
        CloseHandle(sibling.process);
    }
    ExpectInstalled();
}

TEST_F(SetupTest, ProgramRunningFromInstallFolderIsEndedBeforeCopies)
{
    ExpectProgramEndedBeforeCopies(InstallFolderPath() + L"\\Uninstall.exe");
}

// Setup compares module paths without regard to the case of A-Z.
TEST_F(SetupTest, ProgramStartedThroughUpperCasePathIsEndedBeforeCopies)
{
    ExpectProgramEndedBeforeCopies(Upper(InstallFolderPath() + L"\\Uninstall.exe"));
}

TEST_F(SetupTest, SetupStartedFromInsideInstallFolderCompletes)
{
    const std::wstring folder = InstallFolderPath();
    CreateDirectoryW(MakerFolderPath().c_str(), nullptr);
    CopyFolder(PackageFolder(), folder);
    const SetupRun run = RunSetup(folder + L"\\setup.exe");
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(CompletionText, run.messageText);
    ExpectInstalled(false);
}

TEST_F(SetupTest, SourceWithoutReadmeInstallsTheRest)
{
    const std::wstring source = TempFolder(L"ravelnest-no-readme");
    DeleteTree(source);
    CopyFolder(PackageFolder(), source);
    DeleteFileW((source + L"\\readme.txt").c_str());
    CStringOverride noHandler(HKEY_CLASSES_ROOT, L".txt", nullptr, L"RavelnestTests.NoHandler");
    const SetupRun run = RunSetup(source + L"\\setup.exe");
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(CompletionText, run.messageText);
    const std::wstring folder = InstallFolderPath();
    EXPECT_TRUE(FileExists(folder + L"\\Reelshifter SDK.chm"));
    EXPECT_TRUE(FileExists(folder + L"\\Uninstall.exe"));
    EXPECT_FALSE(FileExists(folder + L"\\Readme.txt"));
    EXPECT_EQ(folder + L"\\Reelshifter SDK.chm",
              ShortcutTarget(ShellFolder(CSIDL_COMMON_PROGRAMS) + L"\\Reelshifter SDK 1.3.0.lnk"));
    EXPECT_EQ(ExpectedServerRegistration(), ServerRegistration());
    for (DWORD id : ProcessesNamed(L"notepad.exe")) {
        HANDLE notepad = OpenProcess(PROCESS_TERMINATE, FALSE, id);
        TerminateProcess(notepad, 0);
        CloseHandle(notepad);
    }
    DeleteTree(source);
}

namespace {

// Replaces the DACL of HKEY_LOCAL_MACHINE\`path` (opened for its permissions alone).
bool SetKeyDacl(const std::wstring& path, const wchar_t* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
        return false;
    }
    HKEY key = nullptr;
    bool set = false;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
        set = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    LocalFree(descriptor);
    return set;
}

}  // namespace

// What setup made does not read back: the installation folder cannot be made (a file lies
// in its place), or the uninstall entry's command is another (its key, left by something
// else, names the SDK rightly but lets no one write it). Each gives the failure message.
TEST_F(SetupTest, UnwritableInstallFolderOrEntryReportsFailureAndExitsOne)
{
    CreateDirectoryW(MakerFolderPath().c_str(), nullptr);
    WriteText(InstallFolderPath(), "in the way");
    SetupRun run = RunSetup(PackageFolder() + L"\\setup.exe");
    EXPECT_EQ(1u, run.exitCode);
    EXPECT_TRUE(run.sawMessage);
    EXPECT_EQ(FailureText, run.messageText);
    EXPECT_TRUE(run.messageHasErrorIcon);
    DeleteFileW(InstallFolderPath().c_str());

    const std::wstring entry = std::wstring(UninstallKey) + L"\\" + EntryName;
    SetString(HKEY_LOCAL_MACHINE, entry, L"DisplayName", EntryName);
    SetString(HKEY_LOCAL_MACHINE, entry, L"UninstallString", L"\"C:\\Elsewhere\\Uninstall.exe\"");
    // Everyone may read it and change its permissions (the test, afterwards); no one may write
    // or delete it (Wine lets a key's deletion through unless it is denied).
    ASSERT_TRUE(SetKeyDacl(entry, L"D:P(D;;SD;;;WD)(A;;KR;;;WD)(A;;WD;;;WD)"));
    run = RunSetup(PackageFolder() + L"\\setup.exe");
    std::wstring command;
    EXPECT_TRUE(ReadString(HKEY_LOCAL_MACHINE, entry, L"UninstallString", command));
    EXPECT_TRUE(SetKeyDacl(entry, L"D:(A;;KA;;;WD)"));
    EXPECT_EQ(L"\"C:\\Elsewhere\\Uninstall.exe\"", command) << "the key was written after all";
    EXPECT_EQ(1u, run.exitCode);
    EXPECT_EQ(FailureText, run.messageText);
    EXPECT_TRUE(run.messageHasErrorIcon);
    DeleteTestKey(HKEY_LOCAL_MACHINE, entry.c_str());
}

TEST_F(SetupTest, UnobtainableProgramFilesQuitsSilently)
{
    const std::wstring before = DumpInstalledState();
    {
        CStringOverride noProgramFiles(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion",
                                       L"ProgramFilesDir", L"Q:\\Missing Drive\\Program Files");
        const SetupRun run = RunSetup(PackageFolder() + L"\\setup.exe");
        EXPECT_FALSE(run.sawMessage);
        EXPECT_EQ(1u, run.exitCode);
    }
    EXPECT_EQ(before, DumpInstalledState());
}
