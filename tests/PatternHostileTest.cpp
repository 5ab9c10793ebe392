// The matcher against hostile input: every fuzz corpus input in full, known answers for
// blow-ups and unclosed syntax, and the start-position skip against trying every position.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dirent.h>
#endif

#include "Pattern.h"
#include "PatternCases.h"

namespace {

// A fuzz input: a flags byte (bit 0: ignore case), then little-endian code units; the first
// zero unit separates the pattern from the subject.
struct FuzzInput {
    bool ignoreCase = false;
    std::wstring pattern;
    std::wstring subject;
};

FuzzInput DecodeFuzzInput(const std::vector<unsigned char>& data)
{
    FuzzInput input;
    if (data.empty()) {
        return input;
    }
    input.ignoreCase = (data[0] & 1) != 0;
    std::wstring* part = &input.pattern;
    for (size_t i = 1; i + 1 < data.size(); i += 2) {
        const wchar_t unit = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
        if (unit == 0 && part == &input.pattern) {
            part = &input.subject;
        } else {
            part->push_back(unit);
        }
    }
    return input;
}

std::vector<std::string> CorpusFiles()
{
    std::vector<std::string> files;
    const std::string folder = RAVELNEST_FUZZ_CORPUS;
#if defined(_WIN32)
    WIN32_FIND_DATAA found = {};
    HANDLE find = FindFirstFileA((folder + "/*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                files.push_back(folder + "/" + found.cFileName);
            }
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
#else
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '.') {
                files.push_back(folder + "/" + entry->d_name);
            }
        }
        closedir(dir);
    }
#endif
    return files;
}

std::vector<unsigned char> ReadFile(const std::string& path)
{
    std::vector<unsigned char> data;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        unsigned char chunk[4096];
        size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof(chunk), file)) > 0) {
            data.insert(data.end(), chunk, chunk + got);
        }
        std::fclose(file);
    }
    return data;
}

}  // namespace

// Every corpus input in full (the fuzz target shortens them): deep nesting, long
// alternations, blow-ups, lone backslashes, unclosed classes and groups, surrogates. Each
// answers, in both case modes, as trying every start position answers.
TEST(MatchPattern, HostileCorpusInputsAnswer)
{
    const std::vector<std::string> files = CorpusFiles();
    ASSERT_GE(files.size(), 20u) << RAVELNEST_FUZZ_CORPUS;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const FuzzInput input = DecodeFuzzInput(ReadFile(file));
        for (bool ignoreCase : {input.ignoreCase, !input.ignoreCase}) {
            CPattern everyStart;
            everyStart.UseStartUnits(false);
            CPatternMatch match(32);
            const bool expected = everyStart.Parse(input.pattern.c_str(), !ignoreCase) == PatternOk &&
                                  everyStart.Match(input.subject.c_str(), match);
            EXPECT_EQ(expected, MatchPattern(ignoreCase, input.subject.c_str(), input.pattern.c_str())) << ignoreCase;
        }
    }
}

TEST(MatchPattern, HostileInputsWithKnownAnswers)
{
    // Alternation binds single atoms, so each alternative is a group.
    const std::wstring alternation = [] {
        std::wstring text;
        for (int i = 0; i < 2000; ++i) {
            text += L"(Reelshifter)|";
        }
        return text + L"(SDK)";
    }();
    EXPECT_TRUE(MatchPattern(true, L"the sdk", alternation.c_str()));
    EXPECT_FALSE(MatchPattern(true, L"the kit", alternation.c_str()));
    // Backtracking tries every way to split the a's: 2^16 here, and still no match.
    EXPECT_FALSE(MatchPattern(false, std::wstring(16, L'a').c_str(), L"(a|a)*b"));
    EXPECT_TRUE(MatchPattern(false, (std::wstring(16, L'a') + L"b").c_str(), L"(a|a)*b"));
    EXPECT_FALSE(MatchPattern(false, L"abc", L"[a-"));
    EXPECT_FALSE(MatchPattern(false, L"x", L"[^"));
}

// Start positions whose unit cannot begin a match are skipped; the answers and the match
// bounds are those of trying every position.
TEST(CPattern, StartUnitsSkipPositionsWithoutChangingAnswers)
{
    CPattern maker;
    ASSERT_EQ(0, maker.Parse(L"(Ravelnest)|(Reelshifter)", false));
    EXPECT_EQ(std::vector<wchar_t>{L'r'}, maker.StartUnits());
    CPattern repeated;
    ASSERT_EQ(0, repeated.Parse(L"x*y", true));
    EXPECT_EQ((std::vector<wchar_t>{L'y', L'x'}), repeated.StartUnits());
    for (const wchar_t* pattern : {L"a?", L".b", L"[ab]c", L"$", L"(a*)", L"!ab"}) {
        CPattern unfiltered;
        ASSERT_EQ(0, unfiltered.Parse(pattern, true)) << Describe({pattern, L"", false, false});
        EXPECT_TRUE(unfiltered.StartUnits().empty()) << Describe({pattern, L"", false, false});
    }

    const wchar_t* const patterns[] = {L"(Ravelnest)|(Reelshifter)", L"Reelshifter", L"SDK", L"x*y", L"(ab)|(ac)",
                                       L"a+?b", L"{b}c\\0", L"(x|y)z"};
    const wchar_t* const subjects[] = {L"", L"the REELSHIFTER sdk", L"ravelnest", L"xxy", L"zzy", L"ac ab",
                                       L"aab", L"bcb", L"yz", L"Ravelnes"};
    for (const wchar_t* pattern : patterns) {
        for (bool caseSensitive : {true, false}) {
            CPattern filtered;
            CPattern plain;
            ASSERT_EQ(0, filtered.Parse(pattern, caseSensitive));
            ASSERT_EQ(0, plain.Parse(pattern, caseSensitive));
            plain.UseStartUnits(false);
            for (const wchar_t* subject : subjects) {
                CPatternMatch a;
                CPatternMatch b;
                const bool found = filtered.Match(subject, a);
                EXPECT_EQ(plain.Match(subject, b), found) << Describe({pattern, subject, !caseSensitive, found});
                if (found) {
                    EXPECT_EQ(b.MatchStart(), a.MatchStart()) << Describe({pattern, subject, !caseSensitive, found});
                    EXPECT_EQ(b.MatchEnd(), a.MatchEnd()) << Describe({pattern, subject, !caseSensitive, found});
                }
            }
        }
    }
}
