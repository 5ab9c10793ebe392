#include "FileSecurity.h"

#include <aclapi.h>
#include <sddl.h>

#include "HandleHolder.h"
#include "WideString.h"

namespace {

// Frees what the security functions allocate with LocalAlloc.
class CLocalMemory {
public:
    explicit CLocalMemory(void* memory = nullptr) noexcept : m_memory(memory) {}
    ~CLocalMemory() { LocalFree(m_memory); }
    CLocalMemory(const CLocalMemory&) = delete;
    CLocalMemory& operator=(const CLocalMemory&) = delete;

private:
    void* m_memory;
};

// The SID of the user this process runs as, as text; empty when it cannot be read.
CWideString CurrentUserSid()
{
    HANDLE opened = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) {
        return CWideString();
    }
    const CHandleHolder token(opened);
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } information;
    DWORD size = 0;
    wchar_t* text = nullptr;
    if (!GetTokenInformation(token.Get(), TokenUser, &information, sizeof(information), &size) ||
        !ConvertSidToStringSidW(information.user.User.Sid, &text)) {
        return CWideString();
    }
    const CLocalMemory freed(text);
    return CWideString(text);
}

bool IsAdministratorsOrSystem(PSID sid)
{
    return IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

// Rights that let the holder change the file's bytes, remove or replace it, or give itself
// any of these.
constexpr ACCESS_MASK WritingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                                      DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL |
                                      MAXIMUM_ALLOWED;

}  // namespace

CAdministratorsOnlySecurity::CAdministratorsOnlySecurity() : m_attributes{sizeof(m_attributes), nullptr, FALSE}
{
    const CWideString user = CurrentUserSid();
    if (user.Length() == 0) {
        return;
    }
    // P: protected, so the folder's inheritable entries do not apply.
    const CWideString descriptor = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FRFX;;;" + user + L")";
    PSECURITY_DESCRIPTOR made = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(descriptor, SDDL_REVISION_1, &made, nullptr)) {
        m_attributes.lpSecurityDescriptor = made;
    }
}

CAdministratorsOnlySecurity::~CAdministratorsOnlySecurity()
{
    LocalFree(m_attributes.lpSecurityDescriptor);
}

bool IsWritableByAdministratorsOnlyDescriptor(PSECURITY_DESCRIPTOR descriptor)
{
    PSID owner = nullptr;
    BOOL ownerDefaulted = FALSE;
    BOOL hasDacl = FALSE;
    PACL dacl = nullptr;
    BOOL daclDefaulted = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &ownerDefaulted) ||
        !GetSecurityDescriptorDacl(descriptor, &hasDacl, &dacl, &daclDefaulted)) {
        return false;
    }
    if (!owner || !IsAdministratorsOrSystem(owner) || !hasDacl || !dacl) {
        return false;  // no DACL lets everyone do everything
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(dacl, i, &entry)) {
            return false;
        }
        const ACE_HEADER* header = static_cast<const ACE_HEADER*>(entry);
        if ((header->AceFlags & VALID_INHERIT_FLAGS) != 0) {
            return false;  // inherited from the user's folder, or for it: never the copy's own
        }
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) {
            continue;  // takes rights away
        }
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            return false;  // a kind this check does not read
        }
        const ACCESS_ALLOWED_ACE* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        if ((allowed->Mask & WritingRights) != 0 &&
            !IsAdministratorsOrSystem(const_cast<DWORD*>(&allowed->SidStart))) {
            return false;
        }
    }
    return true;
}

bool IsWritableByAdministratorsOnly(HANDLE file)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                        nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const CLocalMemory freed(descriptor);
    return IsWritableByAdministratorsOnlyDescriptor(descriptor);
}
