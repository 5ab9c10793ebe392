#pragma once

#include "WideString.h"

// The process-level preparation of each program, run by its one global guard before the
// main entry: DLL search hardening, the executable's path and self-check, the command
// line, setup's single-instance mutex and OLE. Any failure ends the process with exit
// code 1 and no message; a normal exit undoes it in the destructor.
class StartupGuard {
public:
    enum Program { SetupProgram, UninstallProgram };

    explicit StartupGuard(Program program);
    virtual ~StartupGuard();

    StartupGuard(const StartupGuard&) = delete;
    StartupGuard& operator=(const StartupGuard&) = delete;

private:
    Program m_program;
};

// Setup's mutex name, composed from the product constants.
CWideString InstanceMutexName(bool embedding);
