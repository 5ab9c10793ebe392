// The matcher's atoms: groups, match groups, negation, escapes and abbreviations, classes,
// the end anchor and single code units.
#include <climits>

#include "PatternCompiler.h"

using namespace PatternInternal;

namespace {

// Each entry is the abbreviation letter followed by its expansion; only the expansion's
// first atom is parsed, so the second half of the q entry is never reached.
const wchar_t* const Abbreviations[] = {
    L"a([a-zA-Z0-9])",
    L"b([ \\t])",
    L"c([a-zA-Z])",
    L"d([0-9])",
    L"h([0-9a-fA-F])",
    L"n(\r|(\r?\n))",
    L"q(\"[^\"]*\")|('[^']*')",
    L"w([a-zA-Z]+)",
    L"z([0-9]+)",
};

}  // namespace

int CPatternCompiler::ParseAtom(const wchar_t*& cursor, bool& canBeEmpty)
{
    NestingGuard guard(m_nesting);
    canBeEmpty = false;
    const wchar_t c = *cursor;
    switch (c) {
    case 0:
        return PatternBadAbbreviation;  // only an expansion can end before its atom
    case L'(':
        return ParseGroup(cursor, canBeEmpty);
    case L'{':
        return ParseMatchGroup(cursor, canBeEmpty);
    case L'[':
        return ParseClass(cursor);
    case L'.':
        ++cursor;
        Emit(PatternOp::Any);
        return PatternOk;
    case L'!':
        if (!EndsSequence(cursor[1])) {
            return ParseNegation(cursor, canBeEmpty);
        }
        break;
    case L'\\':
        return ParseEscape(cursor, canBeEmpty);
    case L'$':
        if (cursor[1] == 0) {
            ++cursor;
            Emit(PatternOp::Character, 0);
            return PatternOk;
        }
        break;
    default:
        break;
    }
    ++cursor;
    Emit(PatternOp::Character, static_cast<int32_t>(c));
    return PatternOk;
}

// The sequence inside a group, up to and past its closing `close`.
int CPatternCompiler::ParseGroupBody(const wchar_t*& cursor, wchar_t close, int unclosed, bool& canBeEmpty)
{
    const int error = ParseSequence(cursor, canBeEmpty);
    if (error != PatternOk) {
        return error;
    }
    if (*cursor != close) {
        return unclosed;
    }
    ++cursor;
    return PatternOk;
}

// (R): call R; return; R. An empty R is one no-op and counts as not matching empty.
int CPatternCompiler::ParseGroup(const wchar_t*& cursor, bool& canBeEmpty)
{
    ++cursor;
    const int call = Emit(PatternOp::Call);
    Emit(PatternOp::Return);
    const int body = Size();
    bool bodyCanBeEmpty = false;
    const int error = ParseGroupBody(cursor, L')', PatternUnclosedGroup, bodyCanBeEmpty);
    if (error != PatternOk) {
        return error;
    }
    if (Size() == body) {
        Emit(PatternOp::NoOp);
        bodyCanBeEmpty = false;
    }
    Patch(call, body);
    canBeEmpty = bodyCanBeEmpty;
    return PatternOk;
}

// {R} as group n: push-group n; group-start n; call R; pop-group n; return; R; group-end n.
int CPatternCompiler::ParseMatchGroup(const wchar_t*& cursor, bool& canBeEmpty)
{
    ++cursor;
    const int group = m_pattern.m_groupCount++;
    Emit(PatternOp::PushGroup, group);
    Emit(PatternOp::GroupStart, group);
    const int call = Emit(PatternOp::Call);
    Emit(PatternOp::PopGroup, group);
    Emit(PatternOp::Return);
    const int body = Size();
    bool bodyCanBeEmpty = false;
    const int error = ParseGroupBody(cursor, L'}', PatternUnclosedMatchGroup, bodyCanBeEmpty);
    if (error != PatternOk) {
        return error;
    }
    const bool emptyBody = Size() == body;
    Patch(call, body);
    Emit(PatternOp::GroupEnd, group);
    canBeEmpty = !emptyBody && bodyCanBeEmpty;
    return PatternOk;
}

// !E with slots a and b: store-position a; store-depth b; call E; load-position a;
// load-depth b; jump after; E; load-position a; load-depth b; return.
int CPatternCompiler::ParseNegation(const wchar_t*& cursor, bool& canBeEmpty)
{
    ++cursor;
    const int a = NewSlot();
    const int b = NewSlot();
    Emit(PatternOp::StorePosition, a);
    Emit(PatternOp::StoreDepth, b);
    const int call = Emit(PatternOp::Call);
    Emit(PatternOp::LoadPosition, a);
    Emit(PatternOp::LoadDepth, b);
    const int jump = Emit(PatternOp::Jump);
    const int body = Size();
    const int error = ParseAtom(cursor, canBeEmpty);
    if (error != PatternOk) {
        return error;
    }
    Emit(PatternOp::LoadPosition, a);
    Emit(PatternOp::LoadDepth, b);
    Emit(PatternOp::Return);
    Patch(call, body);
    Patch(jump, Size());
    return PatternOk;
}

int CPatternCompiler::ParseEscape(const wchar_t*& cursor, bool& canBeEmpty)
{
    const wchar_t next = cursor[1];
    if (next == 0) {
        // A lone trailing backslash stands for itself.
        ++cursor;
        Emit(PatternOp::Character, L'\\');
        return PatternOk;
    }
    if (next >= L'0' && next <= L'9') {
        cursor += 1;
        int64_t group = 0;
        while (*cursor >= L'0' && *cursor <= L'9') {
            if (group <= INT_MAX) {
                group = group * 10 + (*cursor - L'0');
            }
            ++cursor;
        }
        if (group >= m_pattern.m_groupCount) {
            return PatternUnknownGroup;
        }
        Emit(PatternOp::BackReference, static_cast<int32_t>(group));
        return PatternOk;
    }
    for (const wchar_t* entry : Abbreviations) {
        if (entry[0] == next) {
            cursor += 2;
            const wchar_t* expansion = entry + 1;
            return ParseAtom(expansion, canBeEmpty) == PatternOk ? PatternOk : PatternBadAbbreviation;
        }
    }
    cursor += 2;
    Emit(PatternOp::Character, static_cast<int32_t>(next));
    return PatternOk;
}

// Reads one class item, where \t is a tab and a backslash takes the next code unit.
bool CPatternCompiler::ReadClassItem(const wchar_t*& cursor, wchar_t& item)
{
    if (*cursor == L'\\') {
        ++cursor;
        if (*cursor == 0) {
            return false;
        }
        item = *cursor == L't' ? L'\t' : *cursor;
    } else {
        item = *cursor;
    }
    ++cursor;
    return true;
}

// class e, then a (low, high) pair of no-ops per item; e is the index after the pairs.
int CPatternCompiler::ParseClass(const wchar_t*& cursor)
{
    ++cursor;
    const bool negated = *cursor == L'^';
    if (negated) {
        ++cursor;
    }
    if (*cursor == L']') {
        return PatternEmptyClass;
    }
    const int head = Emit(negated ? PatternOp::NegatedClass : PatternOp::Class);
    for (;;) {
        if (*cursor == 0) {
            return PatternUnclosedClass;
        }
        if (*cursor == L']') {
            ++cursor;
            break;
        }
        wchar_t low = 0;
        if (!ReadClassItem(cursor, low)) {
            return PatternUnclosedClass;
        }
        wchar_t high = low;
        if (*cursor == L'-') {
            if (cursor[1] == L']' || cursor[1] == 0) {
                return PatternUnclosedClass;
            }
            high = cursor[1];  // the upper bound is taken literally
            cursor += 2;
            if (high < low) {
                return PatternReversedRange;
            }
        }
        Emit(PatternOp::NoOp, static_cast<int32_t>(low));
        Emit(PatternOp::NoOp, static_cast<int32_t>(high));
    }
    Patch(head, Size());
    return PatternOk;
}
