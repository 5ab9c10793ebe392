#include "SetupFixture.h"

#include <shlobj.h>

#include <utility>

#include "FindHandle.h"
#include "TestFiles.h"
#include "TestPrograms.h"
#include "TestRegistry.h"

const wchar_t* const CompletionText =
    L"Reelshifter SDK 1.3.0 \x3092 \x30B9\x30BF\x30FC\x30C8\x30E1\x30CB\x30E5\x30FC\x306B\x767B\x9332\x3057\x307E"
    L"\x3057\x305F\x3002";
const wchar_t* const FailureText =
    L"Reelshifter SDK 1.3.0 \x3092\x30A4\x30F3\x30B9\x30C8\x30FC\x30EB\x3067\x304D\x307E\x305B\x3093\x3067\x3057"
    L"\x305F\x3002";

std::wstring TempFolder(const wchar_t* name)
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + name;
}

namespace {

std::wstring ConverterPath()
{
    return MakerFolderPath() + L"\\Reelshifter\\Reelshifter.exe";
}

std::wstring Sz(const wchar_t* name, const std::wstring& data)
{
    return std::wstring(L"  ") + name + L" type 1 bytes " + std::to_wstring((data.size() + 1) * 2) + L" " + data + L"\n";
}

}  // namespace

// The whole server registration as DumpKey shows it: every key, value, type and size.
std::wstring ExpectedServerRegistration()
{
    const std::wstring appId = L"{5C0B7A21-3E94-4D1F-8A62-1B7D9E4C3F08}";
    const std::wstring classId = L"{E2A4D6F8-1B3C-4E5F-9071-A2B4C6D8E0F1}";
    const std::wstring interfaceId = L"{3F6E9B12-7C4D-4A85-B0E3-D92C1A5F7B46}";
    const std::wstring description = L"Ravelnest Reelshifter 1.3.0";
    const std::wstring server = ConverterPath();
    return L"[TypeLib\\" + appId + L"]\n" +
           L"[TypeLib\\" + appId + L"\\1.0]\n" + Sz(L"@", description) +
           L"[TypeLib\\" + appId + L"\\1.0\\0]\n" +
           L"[TypeLib\\" + appId + L"\\1.0\\0\\win32]\n" + Sz(L"@", server) +
           L"[AppID\\" + appId + L"]\n" + Sz(L"@", description) + L"  AuthenticationLevel type 4 bytes 4 1\n" +
           L"[AppID\\Reelshifter.exe]\n" + Sz(L"@", description) + Sz(L"AppID", appId) +
           L"[CLSID\\" + classId + L"]\n" + Sz(L"@", L"Reelshifter1") + Sz(L"AppID", appId) +
           L"[CLSID\\" + classId + L"\\LocalServer32]\n" + Sz(L"@", server) +
           L"[Interface\\" + interfaceId + L"]\n" + Sz(L"@", L"IReelshifter1") +
           L"[Interface\\" + interfaceId + L"\\ProxyStubClsid32]\n" +
           Sz(L"@", L"{00020424-0000-0000-C000-000000000046}") +
           L"[Interface\\" + interfaceId + L"\\TypeLib]\n" + Sz(L"@", appId) +
           L"[Reelshifter.Reelshifter1]\n" + Sz(L"@", L"Reelshifter1") +
           L"[Reelshifter.Reelshifter1\\CLSID]\n" + Sz(L"@", classId);
}

std::wstring ServerRegistration()
{
    std::wstring out;
    for (const wchar_t* key : ServerKeys) {
        out += DumpKey(HKEY_CLASSES_ROOT, key);
    }
    return out;
}

std::vector<std::wstring> RecordedLines(const std::wstring& log)
{
    const std::vector<char> bytes = ReadBytes(log);
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

void ExpectInstalled(bool readmeRenamed)
{
    const std::wstring folder = InstallFolderPath();
    const std::wstring package = PackageFolder();
    const auto lastWriteTime = [](const std::wstring& path) {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
        return static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
    };
    // Each installed file holds its source's bytes and keeps its source's time.
    for (const auto& name : {std::make_pair(L"\\Reelshifter SDK.chm", L"\\Reelshifter SDK.chm"),
                             std::make_pair(L"\\Uninstall.exe", L"\\Uninstall.exe"),
                             std::make_pair(L"\\readme.txt", L"\\Readme.txt")}) {
        EXPECT_EQ(ReadBytes(package + name.first), ReadBytes(folder + name.second)) << name.second;
        EXPECT_NE(0u, lastWriteTime(package + name.first));
        EXPECT_EQ(lastWriteTime(package + name.first), lastWriteTime(folder + name.second)) << name.second;
    }
    // The readme is written under its capitalised name.
    WIN32_FIND_DATAW found = {};
    const CFindHandle find(FindFirstFileW((folder + L"\\readme.txt").c_str(), &found));
    ASSERT_TRUE(find.IsValid());
    EXPECT_STREQ(readmeRenamed ? L"Readme.txt" : L"readme.txt", found.cFileName);

    const std::wstring shortcut = ShellFolder(CSIDL_COMMON_PROGRAMS) + L"\\Reelshifter SDK 1.3.0.lnk";
    EXPECT_TRUE(FileExists(shortcut));
    EXPECT_EQ(folder + L"\\Reelshifter SDK.chm", ShortcutTarget(shortcut));

    const std::wstring uninstaller = folder + L"\\Uninstall.exe";
    EXPECT_EQ(L"[" + std::wstring(UninstallKey) + L"\\" + EntryName + L"]\n" + Sz(L"DisplayName", EntryName) +
                  Sz(L"UninstallString", L"\"" + uninstaller + L"\""),
              DumpKey(HKEY_LOCAL_MACHINE, std::wstring(UninstallKey) + L"\\" + EntryName));
    EXPECT_EQ(ExpectedServerRegistration(), ServerRegistration());
}
