#pragma once

// Removes every key that this or an earlier registration of Reelshifter's automation
// server may have left below HKEY_CLASSES_ROOT. Setup runs it before it registers; the
// uninstaller runs it as one of its removal steps.
void RemoveConverterServerRegistration();
