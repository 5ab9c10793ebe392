#include "TestFiles.h"

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "ComHolder.h"
#include "FolderWalk.h"
#include "HandleHolder.h"
#include "TestPrograms.h"
#include "TestRegistry.h"

std::wstring BinFolder()
{
    wchar_t path[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, path, static_cast<DWORD>(sizeof(path) / sizeof(path[0])));
    PathRemoveFileSpecW(path);
    return path;
}

std::wstring BinPath(const wchar_t* name)
{
    return BinFolder() + L"\\" + name;
}

std::wstring FullPath(const std::wstring& path)
{
    wchar_t full[MAX_PATH] = {};
    GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return full;
}

std::wstring PackageFolder()
{
    return FullPath(BinFolder() + L"\\..\\package\\ReelshifterSDK");
}

std::wstring ShellFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, 0, path);
    return path;
}

std::wstring MakerFolderPath()
{
    return ShellFolder(CSIDL_PROGRAM_FILES) + L"\\Ravelnest";
}

std::wstring InstallFolderPath()
{
    return MakerFolderPath() + L"\\Reelshifter SDK";
}

std::wstring UninstallCopyPath()
{
    std::wstring folder = ShellFolder(CSIDL_LOCAL_APPDATA);
    folder.erase(folder.find_last_of(L'\\'));
    return folder + L"\\Temp\\Ravelnest Reelshifter SDK Uninstall.exe";
}

std::wstring TemporaryFolderPath()
{
    std::wstring folder = UninstallCopyPath();
    return folder.erase(folder.find_last_of(L'\\'));
}

std::wstring Quoted(const std::wstring& path)
{
    return L"\"" + path + L"\"";
}

std::wstring Upper(std::wstring text)
{
    CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

bool FileExists(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FolderExists(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<char> ReadBytes(const std::wstring& path)
{
    std::vector<char> bytes;
    const CHandleHolder file = HoldValidHandle(CreateFileW(path.c_str(), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) {
        return bytes;
    }
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file.Get(), chunk, sizeof(chunk), &got, nullptr) && got > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return bytes;
}

void WriteBytes(const std::wstring& path, const std::vector<char>& bytes)
{
    const CHandleHolder file = HoldValidHandle(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file) {
        WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}

void WriteText(const std::wstring& path, const char* text)
{
    WriteBytes(path, std::vector<char>(text, text + strlen(text)));
}

namespace {

// The NT headers of a PE32 or PE32+ image, or null; both begin with the same file header.
const IMAGE_NT_HEADERS32* NtHeaders(const std::vector<char>& image)
{
    if (image.size() < sizeof(IMAGE_DOS_HEADER)) {
        return nullptr;
    }
    const size_t at = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data())->e_lfanew;
    if (at > image.size() || image.size() - at < sizeof(IMAGE_NT_HEADERS64)) {
        return nullptr;
    }
    return reinterpret_cast<const IMAGE_NT_HEADERS32*>(image.data() + at);
}

}  // namespace

bool IsPe32Plus(const std::vector<char>& image)
{
    const IMAGE_NT_HEADERS32* nt = NtHeaders(image);
    return nt && nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
}

size_t DataDirectoryOffset(const std::vector<char>& image, int index)
{
    const IMAGE_NT_HEADERS32* nt = NtHeaders(image);
    if (!nt) {
        return 0;
    }
    const size_t headers = reinterpret_cast<const char*>(nt) - image.data();
    return headers + (IsPe32Plus(image) ? offsetof(IMAGE_NT_HEADERS64, OptionalHeader.DataDirectory)
                                        : offsetof(IMAGE_NT_HEADERS32, OptionalHeader.DataDirectory)) +
           index * sizeof(IMAGE_DATA_DIRECTORY);
}

size_t RvaFileOffset(const std::vector<char>& image, DWORD rva)
{
    const IMAGE_NT_HEADERS32* nt = NtHeaders(image);
    if (!nt) {
        return 0;
    }
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);  // from the file header's size field
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if (reinterpret_cast<const char*>(section + 1) > image.data() + image.size()) {
            return 0;
        }
        if (rva >= section->VirtualAddress && rva - section->VirtualAddress < section->SizeOfRawData) {
            return section->PointerToRawData + (rva - section->VirtualAddress);
        }
    }
    return 0;
}

void DeleteTree(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        DeleteFileW(path.c_str());
        return;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        ForEachFolderEntry((path + L"\\*").c_str(),
                           [&path](const WIN32_FIND_DATAW& found) { DeleteTree(path + L"\\" + found.cFileName); });
    }
    RemoveDirectoryW(path.c_str());
}

void CopyFolder(const std::wstring& from, const std::wstring& to)
{
    CreateDirectoryW(to.c_str(), nullptr);
    ForEachFolderEntry((from + L"\\*").c_str(), [&](const WIN32_FIND_DATAW& found) {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            CopyFileW((from + L"\\" + found.cFileName).c_str(), (to + L"\\" + found.cFileName).c_str(), FALSE);
        }
    });
}

void SetAttributesBelow(const std::wstring& folder, DWORD attributes)
{
    ForEachFolderEntry((folder + L"\\*").c_str(), [&](const WIN32_FIND_DATAW& found) {
        const std::wstring path = folder + L"\\" + found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            SetAttributesBelow(path, attributes);
        }
        SetFileAttributesW(path.c_str(), attributes);
    });
}

namespace {

void ListInto(const std::wstring& folder, const std::wstring& relative, std::vector<std::wstring>& lines)
{
    ForEachFolderEntry((folder + L"\\*").c_str(), [&](const WIN32_FIND_DATAW& found) {
        const std::wstring name = found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            lines.push_back(relative + name + L"\\");
            ListInto(folder + L"\\" + name, relative + name + L"\\", lines);
        } else {
            lines.push_back(relative + name + L" " + std::to_wstring(found.nFileSizeLow));
        }
    });
}

// Wine's own export: the Unix path of a Windows path, or null.
std::string UnixPath(const std::wstring& path)
{
    using Converter = char*(CDECL*)(const wchar_t*);
    const auto convert = reinterpret_cast<Converter>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* unix = convert ? convert(path.c_str()) : nullptr;
    if (!unix) {
        return std::string();
    }
    std::string result(unix);
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

std::wstring Widened(const std::string& text)
{
    std::wstring wide(text.size() * 2 + 1, L'\0');
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
    wide.resize(length > 0 ? static_cast<size_t>(length - 1) : 0);
    return wide;
}

}  // namespace

std::wstring ListFolder(const std::wstring& folder)
{
    std::vector<std::wstring> lines;
    ListInto(folder, L"", lines);
    std::sort(lines.begin(), lines.end());
    std::wstring out;
    for (const std::wstring& line : lines) {
        out += line + L"\n";
    }
    return out;
}

bool PlantUnixLink(const std::wstring& link, const std::wstring& target)
{
    const std::string unixLink = UnixPath(link);
    const std::string unixTarget = UnixPath(target);
    if (unixLink.empty() || unixTarget.empty()) {
        return false;
    }
    RunUnixProgram(L"/bin/ln", L"-s -n \"" + Widened(unixTarget) + L"\" \"" + Widened(unixLink) + L"\"");
    for (int i = 0; i < 100; ++i) {
        if (GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES) {
            return true;
        }
        Sleep(50);
    }
    return false;
}

void RemoveUnixLink(const std::wstring& link)
{
    const std::string unixLink = UnixPath(link);
    if (!unixLink.empty()) {
        RunUnixProgram(L"/bin/rm", L"-f \"" + Widened(unixLink) + L"\"");
    }
    for (int i = 0; i < 100 && GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) {
        Sleep(50);
    }
}

namespace {

// Wine's own mount-manager call that winecfg uses to define a drive: the drive letter, its
// type and the Unix folder it shows (none: the drive goes).
bool DefineWineDrive(wchar_t letter, UINT type, const std::string& unixFolder)
{
    struct UnixDrive {
        ULONG size;
        ULONG type;
        ULONG fsType;
        DWORD serial;
        ULONGLONG unixDevice;
        WCHAR letter;
        USHORT mountPointOffset;
        USHORT deviceOffset;
        USHORT labelOffset;
    };
    std::vector<char> request(sizeof(UnixDrive) + unixFolder.size() + 1, 0);
    auto* drive = reinterpret_cast<UnixDrive*>(request.data());
    drive->size = static_cast<ULONG>(request.size());
    drive->type = type;
    drive->letter = letter;
    if (!unixFolder.empty()) {
        drive->mountPointOffset = sizeof(UnixDrive);
        memcpy(request.data() + sizeof(UnixDrive), unixFolder.c_str(), unixFolder.size());
    }
    const CHandleHolder manager = HoldValidHandle(CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                                              nullptr));
    constexpr DWORD DefineUnixDrive = CTL_CODE(0x6D, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
    DWORD returned = 0;
    return manager && DeviceIoControl(manager.Get(), DefineUnixDrive, request.data(), drive->size, nullptr, 0,
                                      &returned, nullptr);
}

}  // namespace

CWineNetworkPlace::CWineNetworkPlace(const std::wstring& name, const std::wstring& folder)
{
    const std::string target = UnixPath(folder);
    if (target.empty()) {
        return;
    }
    if (name.find(L'\\') == std::wstring::npos) {
        m_drive = name;
        m_valid = DefineWineDrive(name[0], DRIVE_REMOTE, target) && GetDriveTypeW((name + L"\\").c_str()) == DRIVE_REMOTE;
        return;
    }
    // The prefix's dosdevices folder: where drive C: is a link.
    std::string devices = UnixPath(L"C:\\");
    const size_t drive = devices.rfind("/c:");
    if (drive == std::string::npos) {
        return;
    }
    devices.resize(drive);
    std::string share(name.begin(), name.end());  // ASCII names only
    m_link = devices + "/unc/" + share.replace(share.find('\\'), 1, "/");
    RunUnixProgram(L"/bin/sh", L"-c \"mkdir -p '" + Widened(m_link.substr(0, m_link.rfind('/'))) + L"' && ln -s -n '" +
                                   Widened(target) + L"' '" + Widened(m_link) + L"'\"");
    const std::wstring root = L"\\\\" + name + L"\\";
    for (int i = 0; i < 200 && !m_valid; ++i) {
        m_valid = GetFileAttributesW(root.c_str()) != INVALID_FILE_ATTRIBUTES;
        Sleep(m_valid ? 0 : 50);
    }
}

CWineNetworkPlace::~CWineNetworkPlace()
{
    if (!m_link.empty()) {
        RunUnixProgram(L"/bin/rm", L"-f \"" + Widened(m_link) + L"\"");
    }
    if (!m_drive.empty()) {
        DefineWineDrive(m_drive[0], DRIVE_NO_ROOT_DIR, std::string());
    }
}

std::wstring ShortcutTarget(const std::wstring& shortcut)
{
    std::wstring target;
    CComHolder<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Receive()))) {
        return target;
    }
    CComHolder<IPersistFile> file;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.Receive())) &&
        SUCCEEDED(file->Load(shortcut.c_str(), STGM_READ))) {
        wchar_t path[MAX_PATH] = {};
        if (link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH) == S_OK) {
            target = path;
        }
    }
    return target;
}
