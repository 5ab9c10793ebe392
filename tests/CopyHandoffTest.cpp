// The uninstaller's handoff to its temporary copy, decided by functions tested here over
// their inputs, where Wine cannot show the end-to-end effect: what the holds hold, the
// forms of final paths, the copy's security descriptor and the rule for reusing a copy.
#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>
#include <winternl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "CopyHolds.h"
#include "DetachedProgram.h"
#include "FileSecurity.h"
#include "FinalPath.h"
#include "HandleHolder.h"
#include "TestFiles.h"
#include "TestPrograms.h"
#include "UninstallFolders.h"

namespace {

// The check that lets the started copy run: it runs the file that was checked, and no other.
TEST(CopyHandoff, StartedProcessIsCheckedAgainstTheHeldFile)
{
    const auto hold = [](const wchar_t* name) {
        return HoldValidHandle(CreateFileW(BinPath(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    };
    const CHandleHolder sleeper = hold(L"sleeper.exe");
    const CHandleHolder other = hold(L"recorder.exe");
    ASSERT_TRUE(sleeper && other);
    CHandleHolder process;
    CHandleHolder thread;
    ASSERT_TRUE(StartSuspendedProgram(BinPath(L"sleeper.exe").c_str(), Quoted(BinPath(L"sleeper.exe")).c_str(),
                                      nullptr, process, thread));
    EXPECT_TRUE(ProcessRunsImage(process.Get(), sleeper.Get()));
    EXPECT_FALSE(ProcessRunsImage(process.Get(), other.Get()));
    TerminateProcess(process.Get(), 0);
    WaitForSingleObject(process.Get(), 5000);
}

// What the holds hold, on the functions that take them: the temporary folder can be
// neither renamed nor removed, the copy neither written, deleted nor renamed, and the
// handle held is the very file that was written. Once made anew, once taken over.
TEST(CopyHandoff, HoldsKeepTheFolderAndTheCheckedCopy)
{
    const std::wstring root = L"C:\\ravelnest-tests\\holds";
    DeleteTree(root);
    CreateDirectoryW(L"C:\\ravelnest-tests", nullptr);
    ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr));
    TemporaryFolder = (root + L"\\Temp").c_str();
    TemporaryCopyPath = TemporaryFolder + L"\\Ravelnest Reelshifter SDK Uninstall.exe";
    ASSERT_TRUE(CreateDirectoryW(TemporaryFolder, nullptr));
    const std::vector<char> bytes = ReadBytes(BinPath(L"sleeper.exe"));
    CFileBytes image;
    image.Resize(static_cast<int>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), image.GetData());
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const CHandleHolder folder = OpenTemporaryFolder();
        ASSERT_TRUE(folder);
        // Windows applies no share mode to a handle with attribute access alone.
        PUBLIC_OBJECT_BASIC_INFORMATION basic = {};
        ASSERT_LE(0, NtQueryObject(folder.Get(), ObjectBasicInformation, &basic, sizeof(basic), nullptr));
        EXPECT_NE(0u, basic.GrantedAccess & (FILE_LIST_DIRECTORY | FILE_TRAVERSE)) << std::hex << basic.GrantedAccess;
        EXPECT_FALSE(MoveFileW(TemporaryFolder, (root + L"\\Moved").c_str()));
        EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
        if (round == 0) {  // still empty
            EXPECT_FALSE(RemoveDirectoryW(TemporaryFolder));
            EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
        }
        CHandleHolder copy;
        ASSERT_TRUE(HoldCopy(ExpectedFinalCopyPath(folder.Get()), image, copy));
        EXPECT_FALSE(HoldValidHandle(CreateFileW(TemporaryCopyPath, GENERIC_WRITE,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                 OPEN_EXISTING, 0, nullptr)));
        EXPECT_FALSE(DeleteFileW(TemporaryCopyPath));
        EXPECT_FALSE(MoveFileW(TemporaryCopyPath, (root + L"\\moved.exe").c_str()));
        const CHandleHolder named = HoldValidHandle(CreateFileW(TemporaryCopyPath, FILE_READ_ATTRIBUTES,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
        BY_HANDLE_FILE_INFORMATION held = {};
        BY_HANDLE_FILE_INFORMATION atPath = {};
        ASSERT_TRUE(named && GetFileInformationByHandle(copy.Get(), &held) &&
                    GetFileInformationByHandle(named.Get(), &atPath));
        EXPECT_EQ(atPath.dwVolumeSerialNumber, held.dwVolumeSerialNumber);
        EXPECT_EQ(atPath.nFileIndexHigh, held.nFileIndexHigh);
        EXPECT_EQ(atPath.nFileIndexLow, held.nFileIndexLow);
        CFileBytes read;
        SetFilePointer(copy.Get(), 0, nullptr, FILE_BEGIN);
        EXPECT_TRUE(ReadWholeFile(copy.Get(), read) && SameBytes(read, image));
    }
    DeleteTree(root);
}

// A handle's final path in each form, as the image path a process reports for that file.
TEST(CopyHandoff, FinalPathsAreComparedInTheFormAProcessReports)
{
    const struct {
        const wchar_t* finalPath;
        const wchar_t* imagePath;
    } forms[] = {
        {L"\\\\?\\c:\\users\\x\\appdata\\temp\\copy.exe", L"c:\\users\\x\\appdata\\temp\\copy.exe"},
        {L"\\\\?\\UNC\\server\\share\\temp\\copy.exe", L"\\\\server\\share\\temp\\copy.exe"},
        {L"\\\\?\\unc\\server\\share\\copy.exe", L"\\\\server\\share\\copy.exe"},
        {L"\\device\\harddiskvolume2\\temp\\copy.exe", L"\\device\\harddiskvolume2\\temp\\copy.exe"},
        {L"c:\\temp\\copy.exe", L"c:\\temp\\copy.exe"},
    };
    for (const auto& form : forms) {
        EXPECT_STREQ(form.imagePath, ImageFormOfFinalPath(form.finalPath).Text()) << form.finalPath;
    }
}

// The text form of the SID this process runs as.
std::wstring CurrentUserSid()
{
    HANDLE token = nullptr;
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } information;
    DWORD size = 0;
    wchar_t* text = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return std::wstring();
    }
    const CHandleHolder held(token);
    if (!GetTokenInformation(token, TokenUser, &information, sizeof(information), &size) ||
        !ConvertSidToStringSidW(information.user.User.Sid, &text)) {
        return std::wstring();
    }
    const std::wstring sid = text;
    LocalFree(text);
    return sid;
}

// The copy is made with exactly this DACL, protected from Temp's inheritable entries:
// SYSTEM and Administrators with full control, the user reading and executing it.
TEST(CopySecurity, CopyIsCreatedWritableByAdministratorsOnly)
{
    CAdministratorsOnlySecurity security;
    ASSERT_NE(nullptr, security.Attributes());
    PSECURITY_DESCRIPTOR descriptor = security.Attributes()->lpSecurityDescriptor;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    EXPECT_NE(0, control & SE_DACL_PROTECTED) << "the folder's inheritable entries would apply";
    wchar_t* text = nullptr;
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                                     DACL_SECURITY_INFORMATION, &text, nullptr));
    const std::wstring dacl = text;
    LocalFree(text);
    EXPECT_EQ(L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;" + CurrentUserSid() + L")", dacl);
}

// An earlier copy is used again only when the user's programs cannot have written it.
TEST(CopySecurity, OnlyACopyThatOnlyAdministratorsCanHaveWrittenIsReused)
{
    const std::wstring user = CurrentUserSid();
    ASSERT_FALSE(user.empty());
    const std::wstring own = L"(A;;FA;;;SY)(A;;FA;;;BA)";
    const struct {
        std::wstring descriptor;
        bool reused;
    } rows[] = {
        {L"O:BAD:P" + own + L"(A;;FRFX;;;" + user + L")", true},
        {L"O:SYD:P" + own, true},
        {L"O:" + user + L"D:P" + own + L"(A;;FRFX;;;" + user + L")", false},  // the user's own file
        {L"O:BAD:P" + own + L"(A;;FRFXFW;;;BU)", false},                       // Users may write it
        {L"O:BAD:P" + own + L"(A;;0x00000002;;;" + user + L")", false},        // the user may write data
        {L"O:BAD:P" + own + L"(A;;FRSD;;;" + user + L")", false},              // or delete it
        {L"O:BAD:P" + own + L"(A;;FRWD;;;BU)", false},                         // or give itself rights
        {L"O:BAD:P" + own + L"(A;;FRWO;;;" + user + L")", false},              // or take it over
        {L"O:BAD:P" + own + L"(A;;GA;;;WD)", false},                           // everyone everything
        {L"O:BAD:P" + own + L"(A;OICIIO;FA;;;BU)", false},                     // an inheritable entry
        {L"O:BAD:(A;ID;FA;;;SY)(A;ID;FA;;;BA)", false},                         // inherited entries
        {L"O:BA", false},                                                      // no DACL: no check
    };
    for (const auto& row : rows) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(row.descriptor.c_str(), SDDL_REVISION_1,
                                                                         &descriptor, nullptr))
            << row.descriptor;
        EXPECT_EQ(row.reused, IsWritableByAdministratorsOnlyDescriptor(descriptor)) << row.descriptor;
        LocalFree(descriptor);
    }
}

}  // namespace
