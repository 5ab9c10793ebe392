// Start-up of the real programs: single instance, the embedding switch, self-verification.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ImageChecksum.h"
#include "InstalledState.h"
#include "TestFiles.h"
#include "TestPrograms.h"
#include "TestRegistry.h"

namespace {

const wchar_t* const PlainName = L"Ravelnest Reelshifter SDK 1.3.0";
const wchar_t* const EmbeddingName = L"Ravelnest Reelshifter SDK 1.3.0 Embedding";

// Holds setup's mutex name as a running instance would.
class CNameHolder {
public:
    explicit CNameHolder(const wchar_t* name) : m_mutex(CreateMutexW(nullptr, TRUE, name)) {}
    ~CNameHolder() { CloseHandle(m_mutex); }
    CNameHolder(const CNameHolder&) = delete;
    CNameHolder& operator=(const CNameHolder&) = delete;

private:
    HANDLE m_mutex;
};

DWORD RunSetup(const wchar_t* arguments)
{
    return RunSetupAndQuit(BinPath(L"setup.exe"), arguments);
}

// A running setup showing its dialog, quit through 終了 when the test ends.
class CRunningSetup {
public:
    explicit CRunningSetup(const wchar_t* arguments)
        : m_program(StartProgramWithId(Quoted(BinPath(L"setup.exe")) + L" " + arguments))
    {
        m_dialog = WaitForWindow(m_program.id, L"#32770", SetupCaption);
    }
    ~CRunningSetup()
    {
        if (m_dialog) {
            PostMessageW(m_dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
        }
        FinishProgram(m_program.process);
    }
    CRunningSetup(const CRunningSetup&) = delete;
    CRunningSetup& operator=(const CRunningSetup&) = delete;

    bool ShowsDialog() const { return m_dialog != nullptr && IsRunning(m_program.process); }

private:
    StartedProgram m_program;
    HWND m_dialog = nullptr;
};

uint32_t ReadU32(const std::vector<char>& image, size_t offset)
{
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value |= static_cast<uint32_t>(static_cast<unsigned char>(image.at(offset + i))) << (8 * i);
    }
    return value;
}

void WriteU32(std::vector<char>& image, size_t offset, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i) {
        image.at(offset + i) = static_cast<char>(value >> (8 * i));
    }
}

// Renumbers the image's dialog resource `from` as `to` (both may be equal) and stamps the
// checksum anew, so that the program's own integrity check still passes; false when the
// image has no such dialog.
bool RenumberDialog(std::vector<char>& image, uint32_t from, uint32_t to)
{
    const size_t directory = DataDirectoryOffset(image, IMAGE_DIRECTORY_ENTRY_RESOURCE);
    const size_t root = directory == 0 ? 0 : RvaFileOffset(image, ReadU32(image, directory));
    if (root == 0) {
        return false;
    }
    // A directory: 16 bytes of header with the named and the numbered entry counts, then
    // entries of 8 bytes: the id, and the offset of a subdirectory (high bit set).
    const auto entries = [&image](size_t directory) {
        return (ReadU32(image, directory + 12) & 0xFFFF) + (ReadU32(image, directory + 12) >> 16);
    };
    for (size_t i = 0; i < entries(root); ++i) {
        const size_t type = root + 16 + i * 8;
        if (ReadU32(image, type) != 5 || (ReadU32(image, type + 4) & 0x80000000u) == 0) {  // RT_DIALOG
            continue;
        }
        const size_t dialogs = root + (ReadU32(image, type + 4) & 0x7FFFFFFFu);
        for (size_t j = 0; j < entries(dialogs); ++j) {
            const size_t dialog = dialogs + 16 + j * 8;
            if (ReadU32(image, dialog) == from) {
                WriteU32(image, dialog, to);
                const auto* bytes = reinterpret_cast<const uint8_t*>(image.data());
                const size_t checksum = FindImageChecksumOffset(bytes, image.size());
                WriteU32(image, checksum, ComputeImageChecksum(bytes, image.size(), checksum));
                return true;
            }
        }
    }
    return false;
}

}  // namespace

// Without its dialog setup can neither ask nor install: it ends with 1, not with the 0 of a
// completed run. The same copy with the dialog kept starts, so the 1 is not the integrity
// check's.
TEST(Startup, SetupWhoseDialogCannotBeCreatedExitsOne)
{
    const std::vector<char> original = ReadBytes(BinPath(L"setup.exe"));
    const std::wstring copy = BinPath(L"startup-no-dialog.exe");
    std::vector<char> kept = original;
    ASSERT_TRUE(RenumberDialog(kept, 101, 101));
    WriteBytes(copy, kept);
    EXPECT_EQ(0u, RunSetupAndQuit(copy, L""));

    std::vector<char> renumbered = original;
    ASSERT_TRUE(RenumberDialog(renumbered, 101, 102));
    WriteBytes(copy, renumbered);
    EXPECT_EQ(1u, RunProgram(Quoted(copy)));
    DeleteFileW(copy.c_str());
}

TEST(Startup, PlainRunStartsWhenNoInstanceHoldsTheName)
{
    EXPECT_EQ(0u, RunSetup(L""));
}

TEST(Startup, SecondSetupExitsOneAndTheFirstKeepsRunning)
{
    CRunningSetup first(L"");
    ASSERT_TRUE(first.ShowsDialog());
    EXPECT_EQ(1u, RunProgram(Quoted(BinPath(L"setup.exe"))));
    EXPECT_TRUE(first.ShowsDialog());

    CRunningSetup embedding(L"/EMBEDDING");
    ASSERT_TRUE(embedding.ShowsDialog());
    EXPECT_EQ(1u, RunProgram(Quoted(BinPath(L"setup.exe")) + L" -embedding"));
    EXPECT_TRUE(embedding.ShowsDialog());
    EXPECT_TRUE(first.ShowsDialog());
}

TEST(Startup, SecondInstanceOfEitherNameExitsOne)
{
    {
        CNameHolder running(PlainName);
        EXPECT_EQ(1u, RunSetup(L""));
        EXPECT_EQ(1u, RunSetup(L"unrelated argument"));
        EXPECT_EQ(0u, RunSetup(L"/EMBEDDING"));  // the other name is free
    }
    {
        CNameHolder running(EmbeddingName);
        EXPECT_EQ(1u, RunSetup(L"-embedding"));
        EXPECT_EQ(1u, RunSetup(L"/Embedding"));
        EXPECT_EQ(1u, RunSetup(L"first -EMBEDDING last"));
        EXPECT_EQ(0u, RunSetup(L""));
    }
}

TEST(Startup, LookalikeSwitchesKeepThePlainName)
{
    CNameHolder running(EmbeddingName);
    for (const wchar_t* argument : {L"Embedding", L"--Embedding", L"-Embedding2", L"x-Embedding", L"\\Embedding"}) {
        EXPECT_EQ(0u, RunSetup(argument)) << "argument selected the embedding name";
    }
    CNameHolder plain(PlainName);
    for (const wchar_t* argument : {L"Embedding", L"--Embedding", L"-Embedding2"}) {
        EXPECT_EQ(1u, RunSetup(argument)) << "argument did not keep the plain name";
    }
}

TEST(Startup, UninstallTakesNoInstanceLock)
{
    CNameHolder plain(PlainName);
    CNameHolder embedding(EmbeddingName);
    HANDLE first = StartProgram(Quoted(BinPath(L"Uninstall.exe")));
    HANDLE second = StartProgram(Quoted(BinPath(L"Uninstall.exe")));
    EXPECT_EQ(0u, FinishProgram(first));
    EXPECT_EQ(0u, FinishProgram(second));
    for (DWORD exitCode : WaitForTemporaryCopies()) {
        EXPECT_EQ(0u, exitCode);
    }
}

// A copy whose bytes differ from the stamped checksum refuses to start.
TEST(Startup, CorruptedOrTruncatedCopyExitsOne)
{
    for (const wchar_t* program : {L"setup.exe", L"Uninstall.exe"}) {
        const std::vector<char> original = ReadBytes(BinPath(program));
        ASSERT_GT(original.size(), 4096u);

        const std::wstring intact = BinPath(L"startup-intact.exe");
        WriteBytes(intact, original);
        EXPECT_EQ(0u, RunSetupAndQuit(intact, L""));
        WaitForTemporaryCopies();

        std::vector<char> flipped = original;
        flipped[0x60] ^= 0x01;  // inside the DOS stub's message, never executed
        const std::wstring corrupt = BinPath(L"startup-corrupt.exe");
        WriteBytes(corrupt, flipped);
        EXPECT_EQ(1u, RunProgram(Quoted(corrupt)));

        std::vector<char> zeroed = original;
        zeroed[zeroed.size() - 1] ^= 0x5A;
        WriteBytes(corrupt, zeroed);
        EXPECT_EQ(1u, RunProgram(Quoted(corrupt)));

        std::vector<char> unstamped = original;
        const size_t header = static_cast<unsigned char>(original[0x3C]) |
                              static_cast<unsigned char>(original[0x3D]) << 8;
        for (size_t i = 0; i < 4; ++i) {
            unstamped[header + 4 + 20 + 64 + i] = 0;
        }
        WriteBytes(corrupt, unstamped);
        EXPECT_EQ(1u, RunProgram(Quoted(corrupt)));

        WriteBytes(corrupt, std::vector<char>(original.begin(), original.end() - 1));
        EXPECT_EQ(1u, RunProgram(Quoted(corrupt)));

        // Cut into a section: either the loader refuses the file or the self-check does.
        WriteBytes(corrupt, std::vector<char>(original.begin(), original.begin() + original.size() / 2));
        const DWORD halfExit = RunProgram(Quoted(corrupt));
        EXPECT_NE(0u, halfExit);

        DeleteFileW(intact.c_str());
        DeleteFileW(corrupt.c_str());
    }
}

// Both programs are shipped stripped and static; dead code must stay out of them.
TEST(Startup, ProgramsStayWithinTheirSizeBudget)
{
    for (const wchar_t* program : {L"setup.exe", L"Uninstall.exe"}) {
        EXPECT_LE(ReadBytes(BinPath(program)).size(), 256u * 1024u) << program;
    }
}
