#pragma once

// The machine's own class registrations. HKEY_CLASSES_ROOT merges the user's classes over
// them: written there, a key that the user's classes already hold would receive the write.
extern const wchar_t* const MachineClassesPath;  // below HKEY_LOCAL_MACHINE

// Removes every key that this or an earlier registration of Reelshifter's automation
// server may have left below the machine's classes. Setup runs it before it registers; the
// uninstaller runs it as one of its removal steps.
void RemoveConverterServerRegistration();
