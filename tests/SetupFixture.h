#pragma once

// What setup's tests share: their fixture, the texts of setup's messages, and the state a
// complete installation leaves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RoundTripTest.h"

extern const wchar_t* const CompletionText;
extern const wchar_t* const FailureText;

// A path in the tests' temporary folder.
std::wstring TempFolder(const wchar_t* name);
// The lines that the recorder appended to `log`.
std::vector<std::wstring> RecordedLines(const std::wstring& log);

// The whole server registration as DumpKey shows it: as setup writes it, and as it is.
std::wstring ExpectedServerRegistration();
std::wstring ServerRegistration();

// The files, shortcut, entry and registration of a complete installation. Windows keeps a
// file's name when a copy overwrites it: a readme already installed under its small name
// keeps that name (`readmeRenamed` false).
void ExpectInstalled(bool readmeRenamed = true);

// Folders beside the installation folder whose names begin with its own.
inline std::vector<std::wstring> SiblingFolders()
{
    return {InstallFolderPath() + L" Samples", InstallFolderPath() + L"2"};
}

class SetupTest : public RoundTripTest {
protected:
    SetupTest() : RoundTripTest(L"setup-recorder.log") {}

    void RemoveLeftovers() override
    {
        for (const std::wstring& folder : SiblingFolders()) {
            DeleteTree(folder);
        }
        RemoveDirectoryW(MakerFolderPath().c_str());
    }

    std::vector<std::wstring> WaitForRecordedLines(size_t count)
    {
        std::vector<std::wstring> lines;
        for (int i = 0; i < 200 && (lines = RecordedLines(m_log)).size() < count; ++i) {
            Sleep(50);
        }
        return lines;
    }

    // Starts setup, clicks the Reelshifter download button once and quits: what the recorder
    // appended meanwhile.
    std::vector<std::wstring> OpenReelshifterPage()
    {
        const StartedProgram setup = StartProgramWithId(Quoted(PackageFolder() + L"\\setup.exe"));
        HWND dialog = WaitForWindow(setup.id, L"#32770", SetupCaption);
        EXPECT_NE(nullptr, dialog);
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(1004, BN_CLICKED), 0);
        const std::vector<std::wstring> lines = WaitForRecordedLines(1);
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
        EXPECT_EQ(0u, FinishProgram(setup.process));
        return lines;
    }
};
