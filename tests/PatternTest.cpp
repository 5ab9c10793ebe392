// Pattern matcher tests; built for Windows (run under Wine) and natively under sanitizers.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "AtlException.h"
#include "Pattern.h"
#include "PatternCases.h"

namespace {

void ExpectMatches(const std::initializer_list<MatchCase>& rows)
{
    for (const MatchCase& row : rows) {
        EXPECT_EQ(row.expected, MatchPattern(row.ignoreCase, row.subject, row.pattern)) << Describe(row);
    }
}

int ParseError(const wchar_t* pattern, bool caseSensitive = true)
{
    CPattern compiled;
    return compiled.Parse(pattern, caseSensitive);
}

std::string Program(const wchar_t* pattern, bool caseSensitive = true)
{
    CPattern compiled;
    EXPECT_EQ(0, compiled.Parse(pattern, caseSensitive));
    return compiled.FormatProgram();
}

}  // namespace

TEST(MatchPattern, EmbeddingSwitch)
{
    const wchar_t* const embedding = L"^[-/]Embedding$";
    ExpectMatches({
        {embedding, L"-Embedding", true, true},
        {embedding, L"/embedding", true, true},
        {embedding, L"/EMBEDDING", true, true},
        {embedding, L"--Embedding", true, false},
        {embedding, L"-Embedding2", true, false},
        {embedding, L"x-Embedding", true, false},
        {embedding, L"Embedding", true, false},
        {embedding, L"-embedding", false, false},
    });
}

TEST(MatchPattern, SystemPatterns)
{
    const wchar_t* const makerOrProduct = L"(Ravelnest)|(Reelshifter)";
    ExpectMatches({
        {makerOrProduct, L"{GUID} Reelshifter SDK", true, true},
        {makerOrProduct, L"RAVELNEST Tools", true, true},
        {makerOrProduct, L"myreelshifter", true, true},
        {makerOrProduct, L"Ravel nest Reel shifter", true, false},
        {L"Reelshifter", L"Ravelnest Reelshifter SDK 1.3.0", true, true},
        {L"SDK", L"ravelnest reelshifter sdk 1.1", true, true},
        {L"SDK", L"Ravelnest Reelshifter 1.3.0", true, false},
    });
}

TEST(MatchPattern, AlternationBindsSingleAtoms)
{
    ExpectMatches({
        {L"ab|cd", L"abd", false, true},
        {L"ab|cd", L"acd", false, true},
        {L"ab|cd", L"ab", false, false},
        {L"ab|cd", L"cd", false, false},
        {L"a|b|c", L"c", false, true},
        {L"(ab)|(cd)", L"xcd", false, true},
    });
}

TEST(MatchPattern, EmptyPatternAndAnchors)
{
    ExpectMatches({
        {L"", L"", false, true},
        {L"", L"anything", false, true},
        {L"$", L"", false, true},
        {L"$", L"a", false, false},
        {L"c$", L"abc", false, true},
        {L"b$", L"abc", false, false},
        {L"^b", L"abc", false, false},
        {L"^a", L"abc", false, true},
        {L"a^", L"a^", false, true},
        {L"$a", L"x$a", false, true},
        {L"x*", L"", false, true},
        {L"x*", L"abc", false, true},
    });
}

TEST(MatchPattern, EscapesAndAbbreviations)
{
    ExpectMatches({
        {L"\\t", L"t", false, true},
        {L"\\t", L"\t", false, false},
        {L"[\\t]", L"\t", false, true},
        {L"[\\t]", L"t", false, false},
        {L"\\n", L"\r", false, true},
        {L"\\n", L"\n", false, true},
        {L"^\\n$", L"\r\n", false, true},
        {L"\\n", L"n", false, false},
        {L"\\q", L"say \"hi\"", false, true},
        {L"\\q", L"say 'hi'", false, false},
        {L"\\.", L"a.b", false, true},
        {L"\\.", L"ab", false, false},
        {L"\\\\", L"C:\\", false, true},
        {L"^\\d+$", L"2026", false, true},
        {L"^\\d+$", L"20x6", false, false},
        {L"^\\z$", L"123", false, true},
        {L"^\\w$", L"Reelshifter", false, true},
        {L"^\\a\\c\\h$", L"9zF", false, true},
        {L"x\\by", L"x\ty", false, true},
        {L"x\\by", L"x y", false, true},
        {L"\\D", L"D", false, true},
        {L"\\D", L"7", false, false},
    });
}

TEST(MatchPattern, CaseFoldingReachesRangesAndEscapes)
{
    EXPECT_EQ(PatternReversedRange, ParseError(L"[Z-a]", false));
    EXPECT_EQ(PatternOk, ParseError(L"[Z-a]", true));
    ExpectMatches({
        {L"[Z-a]", L"_", false, true},
        {L"\\D", L"7", true, true},
        {L"\\D", L"D", true, false},
        {L"[A-C]", L"b", true, true},
        {L"[a-c]", L"B", true, true},
        {L"[A-C]", L"b", false, false},
        {L"\\T", L"t", true, true},
        // Only A-Z fold: a full-width or accented capital stays itself.
        {L"\xFF41", L"\xFF21", true, false},
        {L"\x00E9", L"\x00C9", true, false},
    });
}

TEST(MatchPattern, QuantifierCharactersWithoutAtomAreLiteral)
{
    ExpectMatches({
        {L"a**", L"aaa*", false, true},
        {L"^a**$", L"aaa", false, false},
        {L"*a", L"*a", false, true},
        {L"*a", L"a", false, false},
        {L"(+)", L"+", false, true},
        {L"x|?", L"?", false, true},
    });
}

TEST(MatchPattern, UnmatchedClosersAndDroppedAlternations)
{
    EXPECT_EQ(Program(L"ab"), Program(L"ab)cd"));
    EXPECT_EQ(Program(L"ab"), Program(L"ab]cd"));
    EXPECT_EQ(Program(L"ab"), Program(L"ab}cd"));
    EXPECT_EQ(Program(L"a"), Program(L"ab|"));
    EXPECT_EQ(Program(L"()"), Program(L"(a|)"));
    ExpectMatches({
        {L"ab)cd", L"xab", false, true},
        {L"ab|", L"a", false, true},
    });
}

TEST(MatchPattern, BackReferences)
{
    EXPECT_EQ(PatternUnknownGroup, ParseError(L"\\0{a}"));
    EXPECT_EQ(PatternUnknownGroup, ParseError(L"{a}\\1"));
    EXPECT_EQ(PatternUnknownGroup, ParseError(L"{a}\\99999999999999999999"));
    EXPECT_EQ(PatternOk, ParseError(L"()*"));
    ExpectMatches({
        {L"{a}\\0", L"aa", false, true},
        {L"^{a}\\0$", L"a", false, false},
        {L"^{a+}-\\0$", L"aaa-aaa", false, true},
        {L"^{a+}-\\0$", L"aaa-aa", false, false},
        {L"()*", L"", false, true},
        {L"()*", L"abc", false, true},
        // A group still open at its back-reference, or never entered, captured nothing.
        {L"^{a\\0}$", L"a", false, true},
        {L"^{x}|{y}\\1$", L"yy", false, true},
        {L"^{x}|{y}\\0$", L"y", false, true},
    });
}

TEST(MatchPattern, NegativeLookAhead)
{
    ExpectMatches({
        {L"^!ab", L"bb", false, true},
        {L"^!ab", L"ab", false, false},
        {L"^!(ab)..$", L"ac", false, true},
        {L"^!(ab)..$", L"ab", false, false},
        {L"^(!a.)*$", L"bcd", false, true},
        {L"^(!a.)*$", L"bad", false, false},
        {L"x!", L"x!", false, true},
    });
}

TEST(MatchPattern, GreedyAgainstNonGreedy)
{
    CPattern pattern;
    CPatternMatch match;
    const wchar_t* subject = L"xaaay";
    ASSERT_EQ(0, pattern.Parse(L"a+", true));
    ASSERT_TRUE(pattern.Match(subject, match));
    EXPECT_EQ(subject + 1, match.MatchStart());
    EXPECT_EQ(subject + 4, match.MatchEnd());
    ASSERT_EQ(0, pattern.Parse(L"a+?", true));
    ASSERT_TRUE(pattern.Match(subject, match));
    EXPECT_EQ(subject + 2, match.MatchEnd());
    ASSERT_EQ(0, pattern.Parse(L"a*?", true));
    ASSERT_TRUE(pattern.Match(subject, match));
    EXPECT_EQ(subject, match.MatchEnd());
    ASSERT_EQ(0, pattern.Parse(L"xa??", true));
    ASSERT_TRUE(pattern.Match(subject, match));
    EXPECT_EQ(subject + 1, match.MatchEnd());
    ASSERT_EQ(0, pattern.Parse(L"xa?", true));
    ASSERT_TRUE(pattern.Match(subject, match));
    EXPECT_EQ(subject + 2, match.MatchEnd());
}

// The non-greedy forms resume at the position where they took their choice: with the
// position left behind by the failed rest, '^a??ab' would miss 'aab'. Every loop ends, also
// when an iteration can match the empty text at run time and a failure backtracks into an
// earlier iteration.
TEST(MatchPattern, NonGreedyFormsBacktrackToTheirOwnPosition)
{
    ExpectMatches({
        {L"^a??ab", L"aab", false, true},
        {L"^a*?ab", L"aaab", false, true},
        {L"^{a}+?ab", L"aaab", false, true},
        {L"^(ab)*?abc$", L"ababc", false, true},
        {L"^x*?y", L"xxz", false, false},
    });
    // An iteration that consumes nothing ends the loop instead of spinning forever.
    ExpectMatches({
        {L"{}*?x", L"aaa", false, false},
        {L"(!a)*?x", L"bbb", false, false},
        {L"(!a)+?b", L"bbb", false, true},
        {L"(a*!b)+x", L"a", false, false},
        {L"((a*!b)+)+x", L"aa", false, false},
        {L"(a*!a*!b)+x", L"aaa", false, false},
        {L"(a*!b)+?x", L"aa", false, false},
        {L"((a*!b)+?)+?x", L"aa", false, false},
        {L"(a*!b)+x", L"aax", false, true},
        {L"^(a*!b)+?x$", L"aax", false, true},
    });
}

TEST(MatchPattern, GroupBoundsAfterBacktracking)
{
    CPattern pattern;
    CPatternMatch match;
    const wchar_t* subject = L"aaab";
    ASSERT_EQ(0, pattern.Parse(L"{a*}ab", true));
    ASSERT_TRUE(pattern.Match(subject, match));
    EXPECT_EQ(subject, match.GroupStart(0));
    EXPECT_EQ(subject + 2, match.GroupEnd(0));

    const wchar_t* other = L"zabc";
    ASSERT_EQ(0, pattern.Parse(L"{a|(ab)}c", true));
    ASSERT_TRUE(pattern.Match(other, match));
    EXPECT_EQ(other + 1, match.GroupStart(0));
    EXPECT_EQ(other + 3, match.GroupEnd(0));
    EXPECT_EQ(other + 1, match.MatchStart());

    // With case ignored the bounds point into the caller's subject, not the folded copy.
    const wchar_t* upper = L"XAB";
    ASSERT_EQ(0, pattern.Parse(L"{a}b", false));
    ASSERT_TRUE(pattern.Match(upper, match));
    EXPECT_EQ(upper + 1, match.GroupStart(0));
    EXPECT_EQ(upper + 3, match.MatchEnd());

    // A failed later attempt leaves no group bound behind.
    ASSERT_EQ(0, pattern.Parse(L"({x}y)|w", true));
    ASSERT_TRUE(pattern.Match(L"xw", match));
    EXPECT_EQ(nullptr, match.GroupStart(0));
}

TEST(MatchPattern, NullArguments)
{
    EXPECT_FALSE(MatchPattern(false, nullptr, L"a"));
    EXPECT_FALSE(MatchPattern(false, L"a", nullptr));
    CPattern pattern;
    EXPECT_EQ(PatternMissing, pattern.Parse(nullptr, true));
    EXPECT_EQ(0, pattern.InstructionCount());
}

TEST(CPattern, ParseErrors)
{
    const struct {
        const wchar_t* pattern;
        int expected;
    } rows[] = {
        {L"{ab", PatternUnclosedMatchGroup},
        {L"{a)", PatternUnclosedMatchGroup},
        {L"(ab", PatternUnclosedGroup},
        {L"(a}", PatternUnclosedGroup},
        {L"[ab", PatternUnclosedClass},
        {L"[a-]", PatternUnclosedClass},
        {L"[a-", PatternUnclosedClass},
        {L"[a\\", PatternUnclosedClass},
        {L"[]", PatternEmptyClass},
        {L"[^]", PatternEmptyClass},
        {L"\\3", PatternUnknownGroup},
        {L"[z-a]", PatternReversedRange},
        {L"(a*)*", PatternEmptyRepetition},
        {L"(a?)+", PatternEmptyRepetition},
        {L"(a*|b)*?", PatternEmptyRepetition},
        {L"(a+?)+?", PatternEmptyRepetition},
        {L"(a*b*)+", PatternEmptyRepetition},
        {L"!(a*)*", PatternEmptyRepetition},
        {L"(a|b)*", PatternOk},
        {L"(a*b)*", PatternOk},
        {L"(a*)?", PatternOk},
        {L"[-/]", PatternOk},
        {L"\\", PatternOk},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.expected, ParseError(row.pattern)) << Describe({row.pattern, L"", false, false});
    }
}

TEST(CPattern, ResourceLimitsReportNoMemory)
{
    // Each '+' doubles the code below it; 21 levels exceed the instruction limit.
    std::wstring doubling = L"a";
    for (int i = 0; i < 21; ++i) {
        doubling = L"(" + doubling + L")+";
    }
    EXPECT_EQ(PatternNoMemory, ParseError(doubling.c_str()));
    EXPECT_FALSE(MatchPattern(false, L"a", doubling.c_str()));

    std::wstring deep(5000, L'(');
    deep += L"a";
    deep += std::wstring(5000, L')');
    EXPECT_EQ(PatternNoMemory, ParseError(deep.c_str()));

    std::wstring nested(200, L'(');
    nested += L"a";
    nested += std::wstring(200, L')');
    EXPECT_TRUE(MatchPattern(false, L"xa", nested.c_str()));
}

TEST(CPattern, CompilationFrames)
{
    const struct {
        const wchar_t* pattern;
        const char* program;
    } rows[] = {
        {L"", "0 call 2\n1 advance\n2 match\n"},
        {L"^a$", "0 call 2\n1 stop\n2 character 97\n3 character 0\n4 match\n"},
        {L".", "0 call 2\n1 advance\n2 any\n3 match\n"},
        {L"[^a-c]", "0 call 2\n1 advance\n2 negated-class 5\n3 no-op 97\n4 no-op 99\n5 match\n"},
        {L"()", "0 call 2\n1 advance\n2 call 4\n3 return\n4 no-op 0\n5 match\n"},
        {L"(a)", "0 call 2\n1 advance\n2 call 4\n3 return\n4 character 97\n5 match\n"},
        {L"{a}\\0",
         "0 call 2\n1 advance\n2 push-group 0\n3 group-start 0\n4 call 7\n5 pop-group 0\n6 return\n"
         "7 character 97\n8 group-end 0\n9 back-reference 0\n10 match\n"},
        {L"!a",
         "0 call 2\n1 advance\n2 store-position 0\n3 store-depth 1\n4 call 8\n5 load-position 0\n"
         "6 load-depth 1\n7 jump 12\n8 character 97\n9 load-position 0\n10 load-depth 1\n11 return\n12 match\n"},
        {L"a|b",
         "0 call 2\n1 advance\n2 push-position\n3 call 6\n4 pop-position\n5 jump 8\n6 character 97\n"
         "7 jump 9\n8 character 98\n9 match\n"},
        {L"a*",
         "0 call 2\n1 advance\n2 push-slot 0\n3 store-position 0\n4 push-position\n5 call 9\n6 pop-position\n"
         "7 pop-slot 0\n8 jump 12\n9 character 97\n10 fail-if-no-progress 0\n11 jump 2\n12 match\n"},
        {L"a?",
         "0 call 2\n1 advance\n2 push-slot 0\n3 store-position 0\n4 push-position\n5 call 9\n6 pop-position\n"
         "7 pop-slot 0\n8 jump 11\n9 character 97\n10 fail-if-no-progress 0\n11 match\n"},
        {L"a+",
         "0 call 2\n1 advance\n2 character 97\n3 push-slot 0\n4 store-position 0\n5 push-position\n6 call 10\n"
         "7 pop-position\n8 pop-slot 0\n9 jump 13\n10 character 97\n11 fail-if-no-progress 0\n12 jump 3\n"
         "13 match\n"},
        {L"a*?",
         "0 call 2\n1 advance\n2 push-slot 0\n3 store-position 0\n4 push-position\n5 call 13\n"
         "6 pop-position\n7 call 10\n8 pop-slot 0\n9 return\n10 character 97\n11 fail-if-no-progress 0\n"
         "12 jump 2\n13 match\n"},
        {L"a??", "0 call 2\n1 advance\n2 push-position\n3 call 6\n4 pop-position\n5 character 97\n6 match\n"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.program, Program(row.pattern)) << Describe({row.pattern, L"", false, false});
    }
}

TEST(CPattern, PlusKeepsGroupNumbersAndTakesFreshSlots)
{
    CPattern pattern;
    ASSERT_EQ(0, pattern.Parse(L"{!a}+", true));
    EXPECT_EQ(1, pattern.GroupCount());
    EXPECT_EQ(5, pattern.SlotCount());  // two per negation copy, one for the loop
}

TEST(CPatternMatch, LongSubjectGrowsTheStack)
{
    std::wstring subject(100000, L'a');
    subject += L"b";
    CPattern pattern;
    CPatternMatch match(256);
    ASSERT_EQ(0, pattern.Parse(L"^a*b$", true));
    ASSERT_TRUE(pattern.Match(subject.c_str(), match));
    EXPECT_GT(match.StackCapacity(), 300000);
    EXPECT_EQ(subject.c_str() + subject.size(), match.MatchEnd());
    EXPECT_FALSE(MatchPattern(false, (subject + L"c").c_str(), L"^a*b$"));
    EXPECT_TRUE(MatchPattern(true, subject.c_str(), L"A+?B"));
}

TEST(CPatternMatch, OutOfRangeIndexRaisesInvalidArgument)
{
    CPattern pattern;
    ASSERT_EQ(0, pattern.Parse(L"{a}", true));
    CPatternMatch match;
    ASSERT_TRUE(pattern.Match(L"a", match));
    try {
        match.GroupStart(1);
        FAIL() << "no exception";
    } catch (const CAtlException& e) {
        EXPECT_EQ(E_INVALIDARG, e.m_hr);
    }
    EXPECT_THROW(pattern.Instruction(pattern.InstructionCount()), CAtlException);
}
