#include "ConverterServerRemoval.h"

#include "ProductConstants.h"
#include "RegistryKey.h"

const wchar_t* const MachineClassesPath = L"Software\\Classes";

void RemoveConverterServerRegistration()
{
    CRegistryKey classes;
    if (classes.Open(HKEY_LOCAL_MACHINE, MachineClassesPath) != ERROR_SUCCESS) {
        return;
    }
    const struct {
        const wchar_t* parent;  // null: the classes key itself
        const wchar_t* subkeys[6];
    } rows[] = {
        {L"TypeLib", {AppIdGuid}},
        {L"AppID", {AppIdGuid, ClassIdGuid, L"Reelshifter.exe"}},
        {L"CLSID", {ClassIdGuid}},
        {L"Interface", {InterfaceGuid1, InterfaceGuid2}},
        {nullptr,
         {L"Ravelnest.Reelshifter", L"Ravelnest.Reelshifter1", L"Reelshifter.Reelshifter", L"Reelshifter.Reelshifter1",
          L"ReelshifterLibrary.Reelshifter", L"ReelshifterLibrary.Reelshifter1"}},
    };
    for (const auto& row : rows) {
        CRegistryKey parent;
        if (parent.Open(classes.Get(), row.parent) != ERROR_SUCCESS) {
            continue;
        }
        for (const wchar_t* subkey : row.subkeys) {
            if (subkey) {
                parent.DeleteKeyTree(subkey);
            }
        }
        parent.Close();
    }
}
