#pragma once

#include <windows.h>

// Security for a file that an elevated program writes into a folder of the user's: SYSTEM
// and Administrators have full control, the user who runs this process may read and
// execute it, and nothing is inherited from the folder (whose permissions the user sets).
class CAdministratorsOnlySecurity {
public:
    CAdministratorsOnlySecurity();
    ~CAdministratorsOnlySecurity();
    CAdministratorsOnlySecurity(const CAdministratorsOnlySecurity&) = delete;
    CAdministratorsOnlySecurity& operator=(const CAdministratorsOnlySecurity&) = delete;

    // Null when the descriptor could not be made.
    SECURITY_ATTRIBUTES* Attributes() noexcept { return m_attributes.lpSecurityDescriptor ? &m_attributes : nullptr; }

private:
    SECURITY_ATTRIBUTES m_attributes;
};

// True when the user's own programs cannot have written the open file (opened with
// READ_CONTROL): SYSTEM or Administrators own it, its DACL lets no one else write it, delete
// it or change its permissions or owner, and no entry of it is inherited or inheritable
// (the copy's own DACL has none).
bool IsWritableByAdministratorsOnly(HANDLE file);
// The same rule, read from a security descriptor with its owner and DACL.
bool IsWritableByAdministratorsOnlyDescriptor(PSECURITY_DESCRIPTOR descriptor);
