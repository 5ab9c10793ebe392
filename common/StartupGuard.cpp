#include "StartupGuard.h"

#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

#include "ImageVerification.h"
#include "Pattern.h"
#include "ProcessGlobals.h"
#include "ProcessHardening.h"
#include "ProductConstants.h"

bool EmbeddingMode = false;
HANDLE InstanceMutex = nullptr;

namespace {

// Before anything is marshalled: only SYSTEM and Administrators may call into this
// process's objects (an absent descriptor would switch the access check off), callers may
// identify themselves but not be impersonated, and no object arrives custom-marshalled, so
// that whoever answers as the desktop's shell cannot have its own code unmarshal here. A
// failure leaves COM's defaults, as before.
void RestrictComCallers()
{
    BYTE system[SECURITY_MAX_SID_SIZE];
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD systemSize = sizeof(system);
    DWORD administratorsSize = sizeof(administrators);
    union {
        ACL acl;
        BYTE bytes[sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE)];
    } dacl;
    constexpr DWORD CallRights = COM_RIGHTS_EXECUTE | COM_RIGHTS_EXECUTE_LOCAL;
    SECURITY_DESCRIPTOR descriptor;
    if (!CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &systemSize) ||
        !CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &administratorsSize) ||
        !InitializeAcl(&dacl.acl, sizeof(dacl), ACL_REVISION) ||
        !AddAccessAllowedAce(&dacl.acl, ACL_REVISION, CallRights, system) ||
        !AddAccessAllowedAce(&dacl.acl, ACL_REVISION, CallRights, administrators) ||
        !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorOwner(&descriptor, administrators, FALSE) ||
        !SetSecurityDescriptorGroup(&descriptor, administrators, FALSE) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, &dacl.acl, FALSE)) {
        return;
    }
    CoInitializeSecurity(&descriptor, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT, RPC_C_IMP_LEVEL_IDENTIFY,
                         nullptr, EOAC_NO_CUSTOM_MARSHAL, nullptr);
}

}  // namespace

CWideString InstanceMutexName(bool embedding)
{
    return embedding ? FullProductName() + L" Embedding" : FullProductName();
}

StartupGuard::StartupGuard(Program program) : m_program(program)
{
    // Before anything can load a DLL: the program may start from a downloads folder.
    HardenProcess();

    constexpr DWORD PathCapacity = 0x7FFF;
    CWideString path;
    const DWORD length = GetModuleFileNameW(nullptr, path.GetBuffer(PathCapacity), PathCapacity);
    if (length == 0) {
        ExitProcess(1);
    }
    path.ReleaseBufferSetLength(static_cast<int>(length < PathCapacity ? length : PathCapacity));
    if (!VerifyOwnImage(path)) {
        ExitProcess(1);
    }
    ModulePath = path;

    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments) {
        ExitProcess(1);
    }
    if (program == SetupProgram) {
        for (int i = 1; i < count; ++i) {
            if (MatchPattern(true, arguments[i], L"^[-/]Embedding$")) {
                EmbeddingMode = true;
            }
        }
    }
    GlobalFree(arguments);

    if (program == SetupProgram) {
        InstanceMutex = CreateMutexW(nullptr, TRUE, InstanceMutexName(EmbeddingMode));
        if (!InstanceMutex) {
            ExitProcess(1);
        }
        if (GetLastError() == ERROR_ALREADY_EXISTS) {
            CloseHandle(InstanceMutex);
            ExitProcess(1);
        }
    }

    if (OleInitialize(nullptr) != S_OK) {
        ExitProcess(1);
    }
    RestrictComCallers();
}

StartupGuard::~StartupGuard()
{
    OleUninitialize();
    if (m_program == SetupProgram) {
        CloseHandle(InstanceMutex);
    }
}
