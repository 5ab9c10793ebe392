#pragma once

// The fixture of tests that run the real setup and uninstaller: each test starts and ends
// with nothing of the SDK on the machine and the readme opening in the tests' recorder (or,
// without a log name, in the prefix's own text viewer, Notepad), and keeps what the machine
// showed before it, to compare the end with.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "InstalledState.h"
#include "TestFiles.h"
#include "TestPrograms.h"
#include "TestRegistry.h"

class RoundTripTest : public ::testing::Test {
protected:
    explicit RoundTripTest(const wchar_t* logName) : m_logName(logName) {}

    // Installs with the real setup.exe, confirming its dialog as a user does.
    static void Install(DWORD expectedExitCode = 0);
    // Runs the uninstall entry as the Add/Remove Programs panel does; the first instance and
    // its copy both end with 0.
    static void Uninstall();

    void SetUp() override;
    void TearDown() override;

    // What the test plants besides the SDK, removed before and after it.
    virtual void RemoveLeftovers() {}
    void Clean();

    // Nothing of the SDK left, and nothing around it lost.
    void ExpectNothingLeft();

    std::wstring m_log;
    std::wstring m_cleanState;
    std::vector<std::wstring> m_surroundings;

private:
    const wchar_t* m_logName;
    std::unique_ptr<CReadmeRecorder> m_readmeHandler;
};
