// libFuzzer target: an arbitrary pattern and subject, each code unit kept to 16 bits as on
// Windows. Input layout: a flags byte (bit 0: ignore case), then little-endian code units;
// the first zero unit separates the pattern from the subject. The pattern is kept to 20 code
// units and the subject to 7: the dialect allows exponential backtracking, and with longer
// inputs '(a|a|a|a|a|a|a|a|a)+b' alone would make a slow input without any fault. Repetitions
// nested three deep multiply again ('((.*!a|!b)+)*+' takes about ten times longer for each
// unit of subject): a pattern with three or more repetition signs gets 4 units of subject.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "Pattern.h"

constexpr size_t MaxPatternUnits = 20;
constexpr size_t MaxSubjectUnits = 7;
constexpr size_t MaxSubjectUnitsWhenNested = 4;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) {
        return 0;
    }
    const bool ignoreCase = (data[0] & 1) != 0;
    std::vector<wchar_t> units;
    for (size_t i = 1; i + 1 < size; i += 2) {
        units.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    }
    units.push_back(0);
    std::vector<wchar_t>::iterator separator = units.begin();
    while (*separator != 0) {
        ++separator;
    }
    std::vector<wchar_t> pattern(units.begin(), separator);
    std::vector<wchar_t> subject(separator + 1, units.end());
    if (pattern.size() > MaxPatternUnits) {
        pattern.resize(MaxPatternUnits);
    }
    pattern.push_back(0);
    size_t repetitions = 0;
    for (wchar_t unit : pattern) {
        repetitions += unit == L'*' || unit == L'+' || unit == L'?' || unit == L'{';
    }
    const size_t maxSubject = repetitions >= 3 ? MaxSubjectUnitsWhenNested : MaxSubjectUnits;
    if (subject.size() > maxSubject) {
        subject.resize(maxSubject);
    }
    subject.push_back(0);
    const bool found = MatchPattern(ignoreCase, subject.data(), pattern.data());
    // Skipping start positions must never change an answer or a found match's bounds.
    CPattern filtered;
    CPattern plain;
    if (filtered.Parse(pattern.data(), !ignoreCase) == PatternOk && plain.Parse(pattern.data(), !ignoreCase) == PatternOk) {
        plain.UseStartUnits(false);
        CPatternMatch a;
        CPatternMatch b;
        const bool filteredFound = filtered.Match(subject.data(), a);
        if (filteredFound != found || filteredFound != plain.Match(subject.data(), b) ||
            (found && (a.MatchStart() != b.MatchStart() || a.MatchEnd() != b.MatchEnd()))) {
            __builtin_trap();
        }
    }
    return 0;
}
