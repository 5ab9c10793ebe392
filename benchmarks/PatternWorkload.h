#pragma once

// The pattern workload shared by the native and the Windows benchmark: 10 000 registry key
// names as a machine's Uninstall and ARPCache keys hold them, the system's three patterns,
// and the two comparisons: std::wregex (ECMAScript, icase, compiled once) and a plain A-Z
// folding substring search, the lower bound for these patterns.

#include <cstdio>
#include <cwchar>
#include <deque>
#include <regex>
#include <string>
#include <vector>

#include "Pattern.h"

inline std::vector<std::wstring> RealisticKeyNames(size_t count = 10000)
{
    static const wchar_t* const products[] = {
        L"Microsoft Visual C++ 2015-2022 Redistributable (x86) - 14.36.32532",
        L"Mozilla Firefox (x64 en-US)", L"7-Zip 23.01", L"Adobe Acrobat Reader DC MUI",
        L"Google Chrome", L"VLC media player", L"Notepad++ (32-bit x86)", L"Python 3.11.4 (64-bit)",
        L"NVIDIA Graphics Driver 536.67", L"Intel(R) Management Engine Components",
        L"KB5028185", L"Windows SDK AddOn", L"Ravelnest Reelshifter SDK 1.2.0", L"Reelshifter Converter",
        L"OtherMaker Video Tools 4.2", L"Git", L"CMake", L"Realtek High Definition Audio Driver",
    };
    std::vector<std::wstring> names;
    names.reserve(count);
    unsigned state = 12345;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return (state >> 8) & 0xFFFFFF;
    };
    wchar_t buffer[128];
    for (size_t i = 0; i < count; ++i) {
        if (i % 1000 == 7) {
            // The embedding switch as a command line gives it, now and then.
            names.push_back((i / 1000) % 2 ? L"/Embedding" : L"-EMBEDDING");
        } else if (i % 3 == 0) {
            // A GUID, in upper or lower case as installers write them.
            std::swprintf(buffer, 128, (i % 2) ? L"{%08X-%04X-%04X-%04X-%06X%06X}" : L"{%08x-%04x-%04x-%04x-%06x%06x}",
                          next() * 97u, next() & 0xFFFF, next() & 0xFFFF, next() & 0xFFFF, next(), next());
            names.push_back(buffer);
        } else {
            std::wstring name = products[next() % (sizeof(products) / sizeof(products[0]))];
            if (i % 5 == 0) {
                for (wchar_t& c : name) {
                    c = (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
                }
            }
            std::swprintf(buffer, 128, L" %u.%u", next() % 20, next() % 100);
            names.push_back(name + buffer);
        }
    }
    return names;
}

inline wchar_t FoldAsciiCase(wchar_t c)
{
    return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
}

// Whether `needle` (upper case) occurs in `text`, folding A-Z only.
inline bool ContainsFolded(const std::wstring& text, const wchar_t* needle, size_t needleLength)
{
    if (text.size() < needleLength) {
        return false;
    }
    for (size_t start = 0; start + needleLength <= text.size(); ++start) {
        size_t i = 0;
        while (i < needleLength && FoldAsciiCase(text[start + i]) == needle[i]) {
            ++i;
        }
        if (i == needleLength) {
            return true;
        }
    }
    return false;
}

// The three uses of the system's patterns, each returning how many names matched.
struct PatternWorkload {
    const char* name;
    size_t (*ours)(const std::vector<std::wstring>&);
    size_t (*regex)(const std::vector<std::wstring>&);
    size_t (*substring)(const std::vector<std::wstring>&);
};

inline size_t OursMaker(const std::vector<std::wstring>& names)
{
    size_t hits = 0;
    for (const std::wstring& name : names) {
        hits += MatchPattern(true, name.c_str(), L"(Ravelnest)|(Reelshifter)") ? 1 : 0;
    }
    return hits;
}

inline size_t OursProductSdk(const std::vector<std::wstring>& names)
{
    size_t hits = 0;
    for (const std::wstring& name : names) {
        hits += MatchPattern(true, name.c_str(), L"Reelshifter") && MatchPattern(true, name.c_str(), L"SDK") ? 1 : 0;
    }
    return hits;
}

inline size_t OursEmbedding(const std::vector<std::wstring>& names)
{
    size_t hits = 0;
    for (const std::wstring& name : names) {
        hits += MatchPattern(true, name.c_str(), L"^[-/]Embedding$") ? 1 : 0;
    }
    return hits;
}

inline size_t RegexCount(const std::vector<std::wstring>& names, const std::wregex& pattern)
{
    size_t hits = 0;
    for (const std::wstring& name : names) {
        hits += std::regex_search(name, pattern) ? 1 : 0;
    }
    return hits;
}

inline const std::wregex& RegexOf(const wchar_t* text)
{
    static std::deque<std::pair<std::wstring, std::wregex>> compiled;  // stable references
    for (const auto& entry : compiled) {
        if (entry.first == text) {
            return entry.second;
        }
    }
    compiled.emplace_back(text, std::wregex(text, std::regex::ECMAScript | std::regex::icase));
    return compiled.back().second;
}

inline size_t RegexMaker(const std::vector<std::wstring>& names)
{
    return RegexCount(names, RegexOf(L"Ravelnest|Reelshifter"));
}

inline size_t RegexProductSdk(const std::vector<std::wstring>& names)
{
    const std::wregex& product = RegexOf(L"Reelshifter");
    const std::wregex& sdk = RegexOf(L"SDK");
    size_t hits = 0;
    for (const std::wstring& name : names) {
        hits += std::regex_search(name, product) && std::regex_search(name, sdk) ? 1 : 0;
    }
    return hits;
}

inline size_t RegexEmbedding(const std::vector<std::wstring>& names)
{
    return RegexCount(names, RegexOf(L"^[-/]Embedding$"));
}

inline size_t SubstringMaker(const std::vector<std::wstring>& names)
{
    size_t hits = 0;
    for (const std::wstring& name : names) {
        hits += ContainsFolded(name, L"RAVELNEST", 9) || ContainsFolded(name, L"REELSHIFTER", 11) ? 1 : 0;
    }
    return hits;
}

inline size_t SubstringProductSdk(const std::vector<std::wstring>& names)
{
    size_t hits = 0;
    for (const std::wstring& name : names) {
        hits += ContainsFolded(name, L"REELSHIFTER", 11) && ContainsFolded(name, L"SDK", 3) ? 1 : 0;
    }
    return hits;
}

inline size_t SubstringEmbedding(const std::vector<std::wstring>& names)
{
    size_t hits = 0;
    for (const std::wstring& name : names) {
        // The literal searched for as the other two are; the anchors checked after it.
        hits += ContainsFolded(name, L"EMBEDDING", 9) && name.size() == 10 && (name[0] == L'-' || name[0] == L'/') ? 1 : 0;
    }
    return hits;
}

inline const std::vector<PatternWorkload>& PatternWorkloads()
{
    static const std::vector<PatternWorkload> workloads = {
        {"(Ravelnest)|(Reelshifter)", OursMaker, RegexMaker, SubstringMaker},
        {"Reelshifter then SDK", OursProductSdk, RegexProductSdk, SubstringProductSdk},
        {"^[-/]Embedding$", OursEmbedding, RegexEmbedding, SubstringEmbedding},
    };
    return workloads;
}
