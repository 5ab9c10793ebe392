// The package as a vendor ships it, signed with Authenticode: the signed programs start and
// do their work, and the start-up check still refuses a stale checksum or a changed byte.
// The files come from tests/release/signing-test.sh, which names their folder in
// RAVELNEST_SIGNED_PACKAGE.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FolderWalk.h"
#include "InstalledState.h"
#include "RoundTripTest.h"
#include "SignedImageParts.h"
#include "TestFiles.h"
#include "TestPrograms.h"
#include "TestRegistry.h"

namespace {

std::wstring SigningFolder()
{
    wchar_t folder[MAX_PATH] = {};
    GetEnvironmentVariableW(L"RAVELNEST_SIGNED_PACKAGE", folder, MAX_PATH);
    return folder;
}

class SigningTest : public RoundTripTest {
protected:
    SigningTest() : RoundTripTest(L"signing-recorder.log") {}

    void SetUp() override
    {
        ASSERT_FALSE(SigningFolder().empty()) << "run through tests/release/signing-test.sh";
        RoundTripTest::SetUp();
    }
};

TEST_F(SigningTest, SignedSetupInstallsAndTheSignedUninstallerRemovesEverything)
{
    for (const wchar_t* signedBy : {L"\\signed", L"\\signed-pkcs12"}) {
        SCOPED_TRACE(signedBy);
        const std::wstring package = SigningFolder() + signedBy;
        const SetupRun run = RunSetup(package + L"\\setup.exe");
        EXPECT_EQ(0u, run.exitCode);
        EXPECT_TRUE(run.sawMessage);
        EXPECT_FALSE(run.messageHasErrorIcon);
        const std::vector<char> signedUninstaller = ReadBytes(package + L"\\Uninstall.exe");
        EXPECT_EQ(signedUninstaller, ReadBytes(InstallFolderPath() + L"\\Uninstall.exe"));

        Uninstall();
        EXPECT_EQ(signedUninstaller, ReadBytes(UninstallCopyPath())) << "the temporary copy is the signed program";
        ExpectNothingLeft();
    }
}

// Its VirtualAddress is a file offset.
IMAGE_DATA_DIRECTORY& CertificateEntry(std::vector<char>& image)
{
    return *reinterpret_cast<IMAGE_DATA_DIRECTORY*>(image.data() +
                                                    DataDirectoryOffset(image, IMAGE_DIRECTORY_ENTRY_SECURITY));
}

// Setup's record of the uninstaller leaves out what signing changes, so the signed package
// installs. Refused: an uninstaller with one byte of its code changed after signing, and
// one whose certificate entry names bytes inside the image, which the record would leave
// out too and which could stand in for the section table.
TEST_F(SigningTest, UninstallerChangedAfterSigningIsNotInstalled)
{
    const std::wstring changed = SigningFolder() + L"\\changed-uninstaller";
    for (int variant = 0; variant < 3; ++variant) {
        SCOPED_TRACE(variant);
        DeleteTree(changed);
        CopyFolder(SigningFolder() + L"\\signed", changed);
        std::vector<char> uninstaller = ReadBytes(changed + L"\\Uninstall.exe");
        ASSERT_GT(uninstaller.size(), 0x1000u);
        const DWORD unsignedSize = CertificateEntry(uninstaller).VirtualAddress;
        if (variant == 0) {
            uninstaller[0x800] ^= 0x5A;  // in the first section, after the headers
        } else if (variant == 1) {
            uninstaller.resize(unsignedSize);  // without its signature
            uninstaller.insert(uninstaller.begin() + 0x800, 8, 'X');
            CertificateEntry(uninstaller) = {0x800, 8};
        } else {
            // A "table" from just after the certificate entry, inside the headers, to the end.
            const DWORD inside = static_cast<DWORD>(DataDirectoryOffset(uninstaller, IMAGE_DIRECTORY_ENTRY_SECURITY) + 8);
            uninstaller.resize(unsignedSize);
            CertificateEntry(uninstaller) = {inside, unsignedSize - inside};
        }
        if (variant > 0) {
            ImagePart parts[SignedImagePartCount];
            EXPECT_FALSE(FindSignedImageParts(reinterpret_cast<const uint8_t*>(uninstaller.data()), uninstaller.size(),
                                              parts))
                << "a certificate table inside the image is left out of the digest";
        }
        WriteBytes(changed + L"\\Uninstall.exe", uninstaller);
        const SetupRun run = RunSetup(changed + L"\\setup.exe");
        EXPECT_EQ(1u, run.exitCode);
        EXPECT_TRUE(run.messageHasErrorIcon);
        EXPECT_EQ(m_cleanState, DumpInstalledState());
    }
    DeleteTree(changed);
}

TEST_F(SigningTest, StaleChecksumRefusesToStartUntilTheChecksumStep)
{
    EXPECT_EQ(1u, RunProgram(Quoted(SigningFolder() + L"\\variants\\stale.exe")));
    EXPECT_EQ(0u, RunSetupAndQuit(SigningFolder() + L"\\variants\\restamped.exe", L""));
}

TEST_F(SigningTest, OneChangedByteAnywhereRefusesToStart)
{
    const std::wstring variants = SigningFolder() + L"\\variants\\";
    int changed = 0;
    ForEachFolderEntry((variants + L"changed-at-*.exe").c_str(), [&](const WIN32_FIND_DATAW& found) {
        EXPECT_EQ(1u, RunProgram(Quoted(variants + found.cFileName))) << found.cFileName;
        ++changed;
    });
    EXPECT_EQ(3, changed) << "the signing script made three changed copies";
}

}  // namespace
