// Windows benchmark program, run under Wine by tools/run-benchmarks.sh: each figure beside
// the platform's own way of doing the same on the same data in the same run, with their
// ratio. Timings are the best of a few runs; building the data is never timed.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "InstalledState.h"
#include "PatternWorkload.h"
#include "RegistryKey.h"
#include "RemoveFolderContents.h"
#include "TestFiles.h"
#include "TestPrograms.h"
#include "TestRegistry.h"

namespace {

double NowMs()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return value;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename Function>
double TimeMs(Function function)
{
    const double start = NowMs();
    function();
    return NowMs() - start;
}

template <typename Function>
double BestMs(int runs, Function function)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        best = std::min(best, TimeMs(function));
    }
    return best;
}

void Row(const char* figure, double ours, const char* comparison, double theirs, const char* goal)
{
    std::printf("%-44s %10.1f ms   %-26s %10.1f ms   ratio %6.2f   goal %s\n", figure, ours, comparison, theirs,
                ours / theirs, goal);
}

// ---- pattern matcher ------------------------------------------------------------------

void BenchmarkPatterns()
{
    std::printf("\n== MatchPattern over 10 000 key names (Windows build; ratio = ours / comparison)\n");
    const std::vector<std::wstring> names = RealisticKeyNames();
    for (const PatternWorkload& workload : PatternWorkloads()) {
        volatile size_t sink = 0;
        if (workload.ours(names) != workload.regex(names) || workload.ours(names) != workload.substring(names)) {
            std::printf("%s: the three disagree\n", workload.name);
            continue;
        }
        const double ours = BestMs(5, [&] { sink = sink + workload.ours(names); });
        const double regex = BestMs(5, [&] { sink = sink + workload.regex(names); });
        const double substring = BestMs(5, [&] { sink = sink + workload.substring(names); });
        std::string figure = std::string("MatchPattern ") + workload.name;
        Row(figure.c_str(), ours, "std::wregex icase", regex, "<= 0.33");
        Row(figure.c_str(), ours, "A-Z folding substring", substring, "<= 4");
    }

    std::printf("\n== The dialect's backtracking: '(a|a)*b' against n a's (no match)\n");
    double previous = 0;
    for (int n = 12; n <= 20; n += 2) {
        const std::wstring subject(static_cast<size_t>(n), L'a');
        const double time = BestMs(3, [&] { MatchPattern(false, subject.c_str(), L"(a|a)*b"); });
        std::printf("n = %2d   %10.2f ms   %s\n", n, time,
                    previous > 0 ? ("x" + std::to_string(time / previous).substr(0, 4) + " per two more a's").c_str() : "");
        previous = time;
    }
    std::printf("\n== The system's patterns on long subjects (no match; linear growth expected)\n");
    previous = 0;
    for (size_t length : {1000u, 10000u, 100000u}) {
        std::wstring subject;
        while (subject.size() < length) {
            subject += L"Reel shifter-ish SDX {GUID-like} ravel nest ";
        }
        subject.resize(length);
        const double time = BestMs(3, [&] {
            MatchPattern(true, subject.c_str(), L"(Ravelnest)|(Reelshifter)");
            MatchPattern(true, subject.c_str(), L"Reelshifter");
            MatchPattern(true, subject.c_str(), L"^[-/]Embedding$");
        });
        std::printf("%6u units   %8.3f ms   %s\n", static_cast<unsigned>(length), time,
                    previous > 0 ? ("x" + std::to_string(time / previous).substr(0, 4) + " for 10x the length").c_str() : "");
        previous = time;
    }
}

// ---- registry tree removal ----------------------------------------------------------------

const wchar_t* const BenchKey = L"Software\\RavelnestBench";

void SetTwoValues(HKEY key)
{
    const wchar_t text[] = L"Reelshifter benchmark value";
    RegSetValueExW(key, L"DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof(text));
    const DWORD number = 42;
    RegSetValueExW(key, L"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
}

// 10 000 keys below BenchKey\Tree: wide, all children of Tree; or deep, 100 chains of 100.
void BuildKeyTree(bool deep)
{
    HKEY tree = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(BenchKey) + L"\\Tree").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                    nullptr, &tree, nullptr);
    SetTwoValues(tree);
    for (int chain = 0; chain < (deep ? 100 : 1); ++chain) {
        HKEY parent = tree;
        for (int i = 0; i < (deep ? 100 : 10000) - (deep ? 0 : 1); ++i) {
            HKEY child = nullptr;
            const std::wstring name = (deep ? L"Level " : L"Key ") + std::to_wstring(deep ? chain * 100 + i : i);
            RegCreateKeyExW(parent, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr);
            SetTwoValues(child);
            if (deep) {
                if (parent != tree) {
                    RegCloseKey(parent);
                }
                parent = child;
            } else {
                RegCloseKey(child);
            }
        }
        if (parent != tree) {
            RegCloseKey(parent);
        }
    }
    RegCloseKey(tree);
}

void BenchmarkRegistry()
{
    std::printf("\n== Removing a registry tree of 10 000 keys with two values each\n");
    for (bool deep : {false, true}) {
        double ours = 1e300;
        double theirs = 1e300;
        for (int run = 0; run < 2; ++run) {
            BuildKeyTree(deep);
            CRegistryKey parent;
            parent.Open(HKEY_CURRENT_USER, BenchKey);
            ours = std::min(ours, TimeMs([&] { parent.DeleteKeyTree(L"Tree"); }));
            if (KeyExists(HKEY_CURRENT_USER, std::wstring(BenchKey) + L"\\Tree")) {
                std::printf("DeleteKeyTree left the tree\n");
            }
            BuildKeyTree(deep);
            theirs = std::min(theirs, TimeMs([&] { RegDeleteTreeW(parent.Get(), L"Tree"); }));
            if (KeyExists(HKEY_CURRENT_USER, std::wstring(BenchKey) + L"\\Tree")) {
                std::printf("RegDeleteTreeW left the tree\n");
            }
        }
        Row(deep ? "DeleteKeyTree, deep (100 chains of 100)" : "DeleteKeyTree, wide (10 000 children)", ours,
            "RegDeleteTreeW", theirs, "<= 1.5");
    }
    RegDeleteKeyW(HKEY_CURRENT_USER, BenchKey);
}

// ---- folder removal ----------------------------------------------------------------------

const wchar_t* const FolderRoot = L"C:\\ravelnest-bench";
const wchar_t* const FolderTree = L"C:\\ravelnest-bench\\tree";

// 1 000 folders (100, each with 9 below it) holding 10 small files each.
void BuildFolderTree()
{
    CreateDirectoryW(FolderRoot, nullptr);
    CreateDirectoryW(FolderTree, nullptr);
    auto fill = [](const std::wstring& folder) {
        for (int f = 0; f < 10; ++f) {
            HANDLE file = CreateFileW((folder + L"\\file " + std::to_wstring(f) + L".txt").c_str(), GENERIC_WRITE, 0,
                                      nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            DWORD written = 0;
            WriteFile(file, "sixteen bytes...", 16, &written, nullptr);
            CloseHandle(file);
        }
    };
    for (int top = 0; top < 100; ++top) {
        const std::wstring folder = std::wstring(FolderTree) + L"\\folder " + std::to_wstring(top);
        CreateDirectoryW(folder.c_str(), nullptr);
        fill(folder);
        for (int sub = 0; sub < 9; ++sub) {
            const std::wstring below = folder + L"\\below " + std::to_wstring(sub);
            CreateDirectoryW(below.c_str(), nullptr);
            fill(below);
        }
    }
}

void BenchmarkFolders()
{
    std::printf("\n== Removing a folder tree of 1 000 folders and 10 000 small files\n");
    double ours = 1e300;
    double theirs = 1e300;
    for (int run = 0; run < 2; ++run) {
        BuildFolderTree();
        ours = std::min(ours, TimeMs([] { RemoveFolderContents(FolderTree); }));
        if (FolderExists(FolderTree)) {
            std::printf("RemoveFolderContents left the tree\n");
        }
        BuildFolderTree();
        theirs = std::min(theirs, TimeMs([] {
            wchar_t from[MAX_PATH] = {};
            lstrcpyW(from, FolderTree);  // double-terminated by the zeroed buffer
            SHFILEOPSTRUCTW operation = {};
            operation.wFunc = FO_DELETE;
            operation.pFrom = from;
            operation.fFlags = FOF_NO_UI;
            SHFileOperationW(&operation);
        }));
        if (FolderExists(FolderTree)) {
            std::printf("SHFileOperationW left the tree\n");
        }
    }
    Row("RemoveFolderContents", ours, "SHFileOperationW FO_DELETE", theirs, "<= 1.5");
    DeleteTree(FolderRoot);
}

// ---- whole programs ---------------------------------------------------------------------

void SeedUnrelatedKeys(int count)
{
    for (const wchar_t* parent : {UninstallKey, ArpCacheKey}) {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, parent, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        for (int i = 0; i < count; ++i) {
            HKEY child = nullptr;
            const std::wstring name = L"Bench Unrelated Product " + std::to_wstring(i) + L" {0A1B2C3D-" +
                                      std::to_wstring(100000 + i) + L"}";
            RegCreateKeyExW(key, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr);
            SetTwoValues(child);
            RegCloseKey(child);
        }
        RegCloseKey(key);
    }
}

void RemoveUnrelatedKeys()
{
    for (const wchar_t* parent : {UninstallKey, ArpCacheKey}) {
        for (const std::wstring& name : SubkeyNames(HKEY_LOCAL_MACHINE, parent)) {
            if (name.rfind(L"Bench Unrelated Product ", 0) == 0) {
                SHDeleteKeyW(HKEY_LOCAL_MACHINE, (std::wstring(parent) + L"\\" + name).c_str());
            }
        }
    }
}

void BenchmarkWholePrograms()
{
    std::printf("\n== Whole programs with 100 unrelated processes running: time beyond the prescribed pauses\n");
    std::printf("   (setup: its two 1000 ms pauses taken off; the uninstaller waits 3000 ms only when something\n");
    std::printf("   of the SDK runs, and nothing does here)\n");
    const std::wstring log = FullPath(BinPath(L"benchmark-recorder.log"));
    CReadmeRecorder readme(log);
    std::vector<StartedProgram> others;
    for (int i = 0; i < 100; ++i) {
        others.push_back(StartProgramWithId(Quoted(BinPath(L"sleeper.exe"))));
    }
    for (const StartedProgram& other : others) {
        WaitForWindow(other.id, L"RavelnestTestSleeper", nullptr, 30000);
    }
    RemoveEverythingSetupMakes();
    // A first round trip, untimed: Wine's first use of the shell and COM in a process tree
    // costs seconds once.
    RunSetup(PackageFolder() + L"\\setup.exe");
    RunUninstallEntry();
    WaitForTemporaryCopies();
    double base[2] = {0, 0};
    int seeded = 0;
    for (int keys : {0, 1000, 5000}) {
        SeedUnrelatedKeys(keys - seeded);
        seeded = keys;
        double install = 1e300;
        double uninstall = 1e300;
        for (int run = 0; run < 3; ++run) {
            install = std::min(install, TimeMs([] { RunSetup(PackageFolder() + L"\\setup.exe"); }) - 2000);
            uninstall = std::min(uninstall, TimeMs([] {
                RunUninstallEntry();
                WaitForTemporaryCopies();
            }));
        }
        if (keys == 0) {
            base[0] = install;
            base[1] = uninstall;
        }
        std::printf("%5d unrelated Uninstall and ARPCache keys each: setup %8.1f ms, uninstall %8.1f ms", keys,
                    install, uninstall);
        if (keys > 0) {
            std::printf("   (+%.1f and +%.1f ms per 1 000 keys)", (install - base[0]) * 1000 / keys,
                        (uninstall - base[1]) * 1000 / keys);
        }
        std::printf("\n");
    }
    RemoveUnrelatedKeys();
    for (const StartedProgram& other : others) {
        TerminateProcess(other.process, 0);
        FinishProgram(other.process, 5000);
    }
    DeleteFileW(log.c_str());
}

void ReportSizes()
{
    std::printf("\n== Program sizes (stripped, static; goal at most 256 KiB each)\n");
    for (const wchar_t* name : {L"setup.exe", L"Uninstall.exe"}) {
        const size_t bytes = ReadBytes(PackageFolder() + L"\\" + name).size();
        std::printf("%-14ls %8u bytes = %6.1f KiB\n", name, static_cast<unsigned>(bytes), bytes / 1024.0);
    }
}

}  // namespace

// Arguments name the parts to run (patterns, registry, folders, programs, sizes); none: all.
int wmain(int argc, wchar_t** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    CoInitialize(nullptr);
    auto wanted = [&](const wchar_t* part) {
        if (argc < 2) {
            return true;
        }
        for (int i = 1; i < argc; ++i) {
            if (lstrcmpiW(argv[i], part) == 0) {
                return true;
            }
        }
        return false;
    };
    if (wanted(L"patterns")) {
        BenchmarkPatterns();
    }
    if (wanted(L"registry")) {
        BenchmarkRegistry();
    }
    if (wanted(L"folders")) {
        BenchmarkFolders();
    }
    if (wanted(L"programs")) {
        BenchmarkWholePrograms();
    }
    if (wanted(L"sizes")) {
        ReportSizes();
    }
    CoUninitialize();
    return 0;
}
