#include "ConverterServerRegistration.h"

#include "ConverterServerRemoval.h"
#include "ProductConstants.h"
#include "RegistryKey.h"

namespace {

const wchar_t* const ClassName = L"Reelshifter1";
const wchar_t* const InterfaceName = L"IReelshifter1";
const wchar_t* const ProgId = L"Reelshifter.Reelshifter1";
const wchar_t* const AutomationProxyStub = L"{00020424-0000-0000-C000-000000000046}";

// Creates `name` below `parent` and writes its default value; a key that cannot be created
// loses only its own value.
void CreateWithDefault(HKEY parent, const wchar_t* name, const wchar_t* value)
{
    CRegistryKey key;
    if (key.Create(parent, name) == ERROR_SUCCESS) {
        key.SetStringValue(nullptr, value);
        key.Close();
    }
}

}  // namespace

void RegisterConverterServer(const CWideString& converterExecutable)
{
    RemoveConverterServerRegistration();
    CRegistryKey classes;
    if (classes.Open(HKEY_LOCAL_MACHINE, MachineClassesPath) != ERROR_SUCCESS) {
        return;
    }
    const CWideString description = L"Ravelnest Reelshifter " + ProductVersion;

    CRegistryKey typeLibrary;
    if (typeLibrary.Create(classes.Get(), L"TypeLib\\" + AppIdGuid) == ERROR_SUCCESS) {
        CreateWithDefault(typeLibrary.Get(), L"1.0", description);
        // In one call, whether or not "1.0" could be created: its intermediate keys arise with it.
        CreateWithDefault(typeLibrary.Get(), L"1.0\\0\\win32", converterExecutable);
        typeLibrary.Close();
    }

    CRegistryKey appId;
    if (appId.Create(classes.Get(), L"AppID\\" + AppIdGuid) == ERROR_SUCCESS) {
        appId.SetStringValue(nullptr, description);
        appId.SetDWordValue(L"AuthenticationLevel", 1);  // RPC_C_AUTHN_LEVEL_NONE
        appId.Close();
    }

    CRegistryKey executable;
    if (executable.Create(classes.Get(), L"AppID\\Reelshifter.exe") == ERROR_SUCCESS) {
        executable.SetStringValue(nullptr, description);
        executable.SetStringValue(L"AppID", AppIdGuid);
        executable.Close();
    }

    CRegistryKey classKey;
    if (classKey.Create(classes.Get(), L"CLSID\\" + ClassIdGuid) == ERROR_SUCCESS) {
        classKey.SetStringValue(nullptr, ClassName);
        classKey.SetStringValue(L"AppID", AppIdGuid);
        CreateWithDefault(classKey.Get(), L"LocalServer32", converterExecutable);
        classKey.Close();
    }

    CRegistryKey interfaceKey;
    if (interfaceKey.Create(classes.Get(), L"Interface\\" + InterfaceGuid1) == ERROR_SUCCESS) {
        interfaceKey.SetStringValue(nullptr, InterfaceName);
        CreateWithDefault(interfaceKey.Get(), L"TypeLib", AppIdGuid);
        CreateWithDefault(interfaceKey.Get(), L"ProxyStubClsid32", AutomationProxyStub);
        interfaceKey.Close();
    }

    CRegistryKey progId;
    if (progId.Create(classes.Get(), ProgId) == ERROR_SUCCESS) {
        progId.SetStringValue(nullptr, ClassName);
        CreateWithDefault(progId.Get(), L"CLSID", ClassIdGuid);
        progId.Close();
    }
}
