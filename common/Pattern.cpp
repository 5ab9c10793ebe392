#include "Pattern.h"

#include <climits>
#include <initializer_list>
#include <cwchar>
#include <new>

#include "AtlException.h"
#include "TextFold.h"

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

// Limits that stand in for exhausted memory (parse error 1): nested '+' doubles the code
// at each level, and parsing recurses once per nesting level.
constexpr size_t MaxInstructions = 1u << 20;
constexpr int MaxNesting = 1000;

struct OutOfResources {};

bool EndsSequence(wchar_t c)
{
    return c == 0 || c == L')' || c == L']' || c == L'}';
}

bool HasTarget(PatternOp op)
{
    return op == PatternOp::Class || op == PatternOp::NegatedClass || op == PatternOp::Jump || op == PatternOp::Call;
}

bool HasSlot(PatternOp op)
{
    switch (op) {
    case PatternOp::PushSlot:
    case PatternOp::PopSlot:
    case PatternOp::StorePosition:
    case PatternOp::StoreDepth:
    case PatternOp::LoadPosition:
    case PatternOp::LoadDepth:
    case PatternOp::FailIfNoProgress:
        return true;
    default:
        return false;
    }
}

template <typename T>
T& At(std::vector<T>& elements, int64_t index)
{
    if (index < 0 || static_cast<uint64_t>(index) >= elements.size()) {
        AtlThrow(E_INVALIDARG);
    }
    return elements[static_cast<size_t>(index)];
}

template <typename T>
const T& At(const std::vector<T>& elements, int64_t index)
{
    if (index < 0 || static_cast<uint64_t>(index) >= elements.size()) {
        AtlThrow(E_INVALIDARG);
    }
    return elements[static_cast<size_t>(index)];
}

// The units that the first consuming instruction of any match can take, following every
// path from the start: straight on, jumps, calls and the continuations that calls leave for
// backtracking. False (no filter) when a path can match without consuming, reaches an
// instruction whose first unit is not one known unit, or the search grows large.
int CollectStartUnits(const std::vector<PatternInstruction>& code, wchar_t (&units)[16])
{
    // Sized for the system's patterns, a few dozen instructions; larger code goes unfiltered.
    constexpr int MaxUnits = 16;
    constexpr size_t MaxCode = 1024;
    constexpr size_t MaxVisits = 512;
    int count = 0;
    if (code.size() > MaxCode) {
        return 0;
    }
    uint32_t visited[MaxCode / 32] = {};
    int32_t pending[2 * MaxVisits + 1];
    size_t top = 0;
    pending[top++] = 0;
    size_t visits = 0;
    while (top > 0) {
        const int32_t pc = pending[--top];
        if (pc < 0 || static_cast<size_t>(pc) >= code.size()) {
            return 0;
        }
        uint32_t& word = visited[static_cast<size_t>(pc) / 32];
        const uint32_t bit = 1u << (static_cast<size_t>(pc) % 32);
        if (word & bit) {
            continue;
        }
        word |= bit;
        if (++visits > MaxVisits) {
            return 0;
        }
        const PatternInstruction& instruction = code[static_cast<size_t>(pc)];
        switch (instruction.op) {
        case PatternOp::Character: {
            if (instruction.operand == 0) {
                return 0;  // the end anchor consumes nothing
            }
            const wchar_t unit = static_cast<wchar_t>(instruction.operand);
            bool known = false;
            for (int i = 0; i < count; ++i) {
                known = known || units[i] == unit;
            }
            if (!known) {
                if (count == MaxUnits) {
                    return 0;
                }
                units[count++] = unit;
            }
            break;
        }
        case PatternOp::Jump:
            pending[top++] = instruction.operand;
            break;
        case PatternOp::Call:
            pending[top++] = instruction.operand;
            pending[top++] = pc + 1;
            break;
        case PatternOp::Return:
        case PatternOp::Stop:
        case PatternOp::Advance:
            break;  // this path fails or ends the attempt
        case PatternOp::NoOp:
        case PatternOp::PushPosition:
        case PatternOp::PopPosition:
        case PatternOp::PushSlot:
        case PatternOp::PopSlot:
        case PatternOp::StorePosition:
        case PatternOp::StoreDepth:
        case PatternOp::FailIfNoProgress:
        case PatternOp::PushGroup:
        case PatternOp::PopGroup:
        case PatternOp::GroupStart:
        case PatternOp::GroupEnd:
            pending[top++] = pc + 1;
            break;
        default:
            return 0;  // Any, classes, back references, loads and Match
        }
    }
    return count;
}

}  // namespace

// Recursive-descent compiler over the (already folded) pattern text. Binding from tightest:
// an atom with its quantifier, alternation, concatenation.
class CPatternCompiler {
public:
    explicit CPatternCompiler(CPattern& pattern) : m_pattern(pattern), m_code(pattern.m_code) {}

    int Compile(const wchar_t* text)
    {
        const bool anchored = text[0] == L'^';
        Emit(PatternOp::Call, 2);
        Emit(anchored ? PatternOp::Stop : PatternOp::Advance);
        const wchar_t* cursor = text + (anchored ? 1 : 0);
        bool canBeEmpty = false;
        // At the top level an unmatched ')', ']' or '}' ends the pattern; the rest is ignored.
        const int error = ParseSequence(cursor, canBeEmpty);
        if (error != PatternOk) {
            return error;
        }
        Emit(PatternOp::Match);
        return PatternOk;
    }

private:
    class NestingGuard {
    public:
        explicit NestingGuard(int& depth) : m_depth(depth)
        {
            if (++m_depth > MaxNesting) {
                throw OutOfResources();
            }
        }
        ~NestingGuard() { --m_depth; }
        NestingGuard(const NestingGuard&) = delete;
        NestingGuard& operator=(const NestingGuard&) = delete;

    private:
        int& m_depth;
    };

    int Size() const { return static_cast<int>(m_code.size()); }

    int Emit(PatternOp op, int32_t operand = 0)
    {
        if (m_code.size() + m_pendingFrames >= MaxInstructions) {
            throw OutOfResources();
        }
        m_code.push_back({op, operand});
        return Size() - 1;
    }

    void Patch(int index, int32_t operand) { At(m_code, index).operand = operand; }

    // Opens `count` instructions at `at`; targets into the moved code follow it.
    void Insert(int at, int count)
    {
        if (m_code.size() + m_pendingFrames + static_cast<size_t>(count) > MaxInstructions) {
            throw OutOfResources();
        }
        m_code.insert(m_code.begin() + at, static_cast<size_t>(count), PatternInstruction{PatternOp::NoOp, 0});
        Relocate(at + count, Size(), at, count);
    }

    void Relocate(int begin, int end, int firstMovedTarget, int delta)
    {
        for (int i = begin; i < end; ++i) {
            PatternInstruction& instruction = m_code[static_cast<size_t>(i)];
            if (HasTarget(instruction.op) && instruction.operand >= firstMovedTarget) {
                instruction.operand += delta;
            }
        }
    }

    // Appends a second copy of [begin, end): same groups, fresh slots.
    void Duplicate(int begin, int end, int firstSlot)
    {
        const int copyStart = Size();
        const int slotDelta = m_pattern.m_slotCount - firstSlot;
        for (int i = begin; i < end; ++i) {
            PatternInstruction instruction = m_code[static_cast<size_t>(i)];
            if (HasTarget(instruction.op) && instruction.operand >= begin) {
                instruction.operand += copyStart - begin;
            } else if (HasSlot(instruction.op)) {
                instruction.operand += slotDelta;
            }
            Emit(instruction.op, instruction.operand);
        }
        m_pattern.m_slotCount += slotDelta;
    }

    int NewSlot() { return m_pattern.m_slotCount++; }

    // A code unit that compiles to one Character whatever surrounds it: no syntax of its own,
    // no quantifier or bar after it.
    static bool IsPlainLiteral(const wchar_t* cursor)
    {
        switch (cursor[0]) {
        case 0:
        case L'(':
        case L'{':
        case L'[':
        case L'.':
        case L'!':
        case L'\\':
        case L'$':
            return false;
        default:
            break;
        }
        const wchar_t next = cursor[1];
        return next != L'*' && next != L'+' && next != L'?' && next != L'|';
    }

    int ParseSequence(const wchar_t*& cursor, bool& canBeEmpty)
    {
        bool allCanBeEmpty = true;
        while (!EndsSequence(*cursor)) {
            // Runs of plain text, most of the system's patterns, go straight to code; the
            // limits are those that the element's own parse would check.
            if (IsPlainLiteral(cursor) && m_nesting < MaxNesting &&
                m_code.size() + m_pendingFrames + 4 < MaxInstructions) {
                m_code.push_back({PatternOp::Character, static_cast<int32_t>(*cursor)});
                ++cursor;
                allCanBeEmpty = false;
                continue;
            }
            bool elementCanBeEmpty = false;
            bool emitted = false;
            const int error = ParseElement(cursor, elementCanBeEmpty, emitted);
            if (error != PatternOk) {
                return error;
            }
            if (emitted) {
                allCanBeEmpty = allCanBeEmpty && elementCanBeEmpty;
            }
        }
        canBeEmpty = allCanBeEmpty;
        return PatternOk;
    }

    // X|Y: push-position; call X; pop-position; jump Y; X; jump after; Y. The frame is
    // emitted before X and taken out again when no bar follows.
    int ParseElement(const wchar_t*& cursor, bool& canBeEmpty, bool& emitted)
    {
        const int start = Size();
        const int groupsBefore = m_pattern.m_groupCount;
        const int slotsBefore = m_pattern.m_slotCount;
        // Most elements have no bar: the frame's four instructions are only counted against
        // the limit while X is compiled, and opened before X once a bar follows it.
        m_pendingFrames += 4;
        bool xCanBeEmpty = false;
        int error = ParseQuantifiedAtom(cursor, xCanBeEmpty);
        m_pendingFrames -= 4;
        if (error != PatternOk) {
            return error;
        }
        if (*cursor != L'|') {
            canBeEmpty = xCanBeEmpty;
            emitted = true;
            return PatternOk;
        }
        Insert(start, 4);
        At(m_code, start).op = PatternOp::PushPosition;
        At(m_code, start + 1).op = PatternOp::Call;
        At(m_code, start + 2).op = PatternOp::PopPosition;
        At(m_code, start + 3).op = PatternOp::Jump;
        const int xStart = start + 4;
        ++cursor;
        const int jumpAfter = Emit(PatternOp::Jump);
        const int yStart = Size();
        bool yCanBeEmpty = false;
        bool yEmitted = false;
        if (!EndsSequence(*cursor)) {
            error = ParseElement(cursor, yCanBeEmpty, yEmitted);
            if (error != PatternOk) {
                return error;
            }
        }
        if (!yEmitted) {
            // Nothing after the bar: the alternation goes together with its left side.
            m_code.resize(static_cast<size_t>(start));
            m_pattern.m_groupCount = groupsBefore;
            m_pattern.m_slotCount = slotsBefore;
            emitted = false;
            return PatternOk;
        }
        Patch(start + 1, xStart);
        Patch(start + 3, yStart);
        Patch(jumpAfter, Size());
        canBeEmpty = xCanBeEmpty || yCanBeEmpty;
        emitted = true;
        return PatternOk;
    }

    // The atom is compiled once; a quantifier's frame is then opened around it, which gives
    // the code that compiling it again inside the frame would give.
    int ParseQuantifiedAtom(const wchar_t*& cursor, bool& canBeEmpty)
    {
        const int atomStart = Size();
        const int slotsBefore = m_pattern.m_slotCount;
        bool atomCanBeEmpty = false;
        const int error = ParseAtom(cursor, atomCanBeEmpty);
        if (error != PatternOk) {
            return error;
        }
        const wchar_t quantifier = *cursor;
        if (quantifier != L'*' && quantifier != L'+' && quantifier != L'?') {
            canBeEmpty = atomCanBeEmpty;
            return PatternOk;
        }
        ++cursor;
        const bool lazy = *cursor == L'?';
        if (lazy) {
            ++cursor;
        }
        switch (quantifier) {
        case L'*':
            if (atomCanBeEmpty) {
                return PatternEmptyRepetition;
            }
            WrapRepeat(atomStart, lazy);
            canBeEmpty = true;
            break;
        case L'+': {
            if (atomCanBeEmpty) {
                return PatternEmptyRepetition;
            }
            const int copyStart = Size();
            Duplicate(atomStart, copyStart, slotsBefore);
            WrapRepeat(copyStart, lazy);
            canBeEmpty = lazy;
            break;
        }
        default:
            WrapOptional(atomStart, lazy);
            canBeEmpty = true;
            break;
        }
        return PatternOk;
    }

    // Opens `count` instructions before the body at `body` and fills them with `frame`.
    void Prefix(int body, std::initializer_list<PatternInstruction> frame)
    {
        Insert(body, static_cast<int>(frame.size()));
        size_t i = static_cast<size_t>(body);
        for (const PatternInstruction& instruction : frame) {
            m_code[i++] = instruction;
        }
    }

    // Slot m holds the position where the current iteration began; push-slot and pop-slot
    // keep it right when a failure backtracks into an earlier iteration, so the progress
    // test always compares with that iteration's own start and every loop ends.
    void WrapRepeat(int body, bool lazy)
    {
        const int m = NewSlot();
        if (!lazy) {
            // push-slot m; store-position m; push-position; call body; pop-position;
            // pop-slot m; jump after; body: E; fail-if-no-progress m; jump back.
            Prefix(body, {{PatternOp::PushSlot, m}, {PatternOp::StorePosition, m}, {PatternOp::PushPosition, 0},
                          {PatternOp::Call, body + 7}, {PatternOp::PopPosition, 0}, {PatternOp::PopSlot, m},
                          {PatternOp::Jump, 0}});
            Emit(PatternOp::FailIfNoProgress, m);
            Emit(PatternOp::Jump, body);
            Patch(body + 6, Size());
            return;
        }
        // Non-greedy: push-slot m; store-position m; push-position; call after; pop-position;
        // call body; pop-slot m; return; body: E; fail-if-no-progress m; jump back. Leaving
        // is tried first; once the rest has failed the body starts where leaving was tried.
        Prefix(body, {{PatternOp::PushSlot, m}, {PatternOp::StorePosition, m}, {PatternOp::PushPosition, 0},
                      {PatternOp::Call, 0}, {PatternOp::PopPosition, 0}, {PatternOp::Call, body + 8},
                      {PatternOp::PopSlot, m}, {PatternOp::Return, 0}});
        Emit(PatternOp::FailIfNoProgress, m);
        Emit(PatternOp::Jump, body);
        Patch(body + 3, Size());
    }

    void WrapOptional(int body, bool lazy)
    {
        if (!lazy) {
            // As the greedy repetition, without the jump back.
            const int m = NewSlot();
            Prefix(body, {{PatternOp::PushSlot, m}, {PatternOp::StorePosition, m}, {PatternOp::PushPosition, 0},
                          {PatternOp::Call, body + 7}, {PatternOp::PopPosition, 0}, {PatternOp::PopSlot, m},
                          {PatternOp::Jump, 0}});
            Emit(PatternOp::FailIfNoProgress, m);
            Patch(body + 6, Size());
            return;
        }
        // Non-greedy: push-position; call after; pop-position; E.
        Prefix(body, {{PatternOp::PushPosition, 0}, {PatternOp::Call, 0}, {PatternOp::PopPosition, 0}});
        Patch(body + 1, Size());
    }

    int ParseAtom(const wchar_t*& cursor, bool& canBeEmpty)
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

    // (R): call R; return; R. An empty R is one no-op and counts as not matching empty.
    int ParseGroup(const wchar_t*& cursor, bool& canBeEmpty)
    {
        ++cursor;
        const int call = Emit(PatternOp::Call);
        Emit(PatternOp::Return);
        const int body = Size();
        bool bodyCanBeEmpty = false;
        const int error = ParseSequence(cursor, bodyCanBeEmpty);
        if (error != PatternOk) {
            return error;
        }
        if (*cursor != L')') {
            return PatternUnclosedGroup;
        }
        ++cursor;
        if (Size() == body) {
            Emit(PatternOp::NoOp);
            bodyCanBeEmpty = false;
        }
        Patch(call, body);
        canBeEmpty = bodyCanBeEmpty;
        return PatternOk;
    }

    // {R} as group n: push-group n; group-start n; call R; pop-group n; return; R; group-end n.
    int ParseMatchGroup(const wchar_t*& cursor, bool& canBeEmpty)
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
        const int error = ParseSequence(cursor, bodyCanBeEmpty);
        if (error != PatternOk) {
            return error;
        }
        if (*cursor != L'}') {
            return PatternUnclosedMatchGroup;
        }
        ++cursor;
        const bool emptyBody = Size() == body;
        Patch(call, body);
        Emit(PatternOp::GroupEnd, group);
        canBeEmpty = !emptyBody && bodyCanBeEmpty;
        return PatternOk;
    }

    // !E with slots a and b: store-position a; store-depth b; call E; load-position a;
    // load-depth b; jump after; E; load-position a; load-depth b; return.
    int ParseNegation(const wchar_t*& cursor, bool& canBeEmpty)
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

    int ParseEscape(const wchar_t*& cursor, bool& canBeEmpty)
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
    static bool ReadClassItem(const wchar_t*& cursor, wchar_t& item)
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
    int ParseClass(const wchar_t*& cursor)
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

    CPattern& m_pattern;
    std::vector<PatternInstruction>& m_code;
    int m_nesting = 0;
    size_t m_pendingFrames = 0;  // instructions of alternation frames not yet opened
};

int CPattern::Parse(const wchar_t* pattern, bool caseSensitive)
{
    m_code.clear();
    m_startUnitCount = 0;
    m_groupCount = 0;
    m_slotCount = 0;
    m_caseSensitive = caseSensitive;
    if (!pattern) {
        return m_lastError = PatternMissing;
    }
    int error = PatternOk;
    try {
        // Short patterns, the system's, fold on the stack.
        wchar_t shortFolded[128];
        std::vector<wchar_t> folded;
        const wchar_t* text = pattern;
        if (!caseSensitive) {
            const size_t units = wcslen(pattern) + 1;
            wchar_t* target = shortFolded;
            if (units > 128) {
                folded.resize(units);
                target = folded.data();
            }
            std::wmemcpy(target, pattern, units);
            FoldAsciiLetters(target);
            text = target;
        }
        m_code.reserve(64);
        error = CPatternCompiler(*this).Compile(text);
        if (error == PatternOk) {
            m_startUnitCount = CollectStartUnits(m_code, m_startUnits);
        }
    } catch (const std::bad_alloc&) {
        error = PatternNoMemory;
    } catch (const OutOfResources&) {
        error = PatternNoMemory;
    }
    if (error != PatternOk) {
        m_code.clear();
        m_startUnitCount = 0;
    }
    return m_lastError = error;
}

bool CPattern::CanStartAt(wchar_t unit) const noexcept
{
    for (int i = 0; i < m_startUnitCount; ++i) {
        if (m_startUnits[i] == unit) {
            return true;
        }
    }
    return false;
}

PatternInstruction CPattern::Instruction(int index) const
{
    return At(m_code, index);
}

CPatternMatch::CPatternMatch(int32_t stackRoom) : m_stack(static_cast<size_t>(stackRoom > 0 ? stackRoom : 0)) {}

const wchar_t* CPatternMatch::GroupStart(int group) const
{
    return Position(At(m_groups, 2 * static_cast<int64_t>(group)));
}

const wchar_t* CPatternMatch::GroupEnd(int group) const
{
    return Position(At(m_groups, 2 * static_cast<int64_t>(group) + 1));
}

bool CPatternMatch::Push(int32_t value)
{
    if (static_cast<size_t>(m_depth) == m_stack.size()) {
        const int64_t room = 2 * static_cast<int64_t>(m_depth) + 4;
        if (room > INT32_MAX) {
            return false;
        }
        try {
            m_stack.resize(static_cast<size_t>(room));
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    m_stack[static_cast<size_t>(m_depth++)] = value;
    return true;
}

int32_t CPatternMatch::Pop()
{
    if (m_depth <= 0) {
        AtlThrow(E_INVALIDARG);
    }
    return m_stack[static_cast<size_t>(--m_depth)];
}

bool CPattern::Match(const wchar_t* subject, CPatternMatch& match) const
{
    match.m_subject = subject;
    match.m_matchStart = -1;
    match.m_matchEnd = -1;
    match.m_depth = 0;
    if (!subject || m_lastError != PatternOk || m_code.empty()) {
        return false;
    }
    const size_t subjectLength = wcslen(subject);
    if (subjectLength >= static_cast<size_t>(INT32_MAX)) {
        return false;
    }
    const int32_t length = static_cast<int32_t>(subjectLength);
    // Short subjects, as key names are, fold on the stack.
    wchar_t shortFolded[256];
    std::vector<wchar_t> folded;
    const wchar_t* text = subject;
    try {
        if (!m_caseSensitive) {
            wchar_t* target = shortFolded;
            if (subjectLength + 1 > 256) {
                folded.resize(subjectLength + 1);
                target = folded.data();
            }
            std::wmemcpy(target, subject, subjectLength + 1);
            FoldAsciiLetters(target);
            text = target;
        }
        match.m_slots.assign(static_cast<size_t>(m_slotCount), 0);
        match.m_groups.assign(2 * static_cast<size_t>(m_groupCount), -1);
    } catch (const std::bad_alloc&) {
        return false;
    }

    const auto checkedPosition = [length](int32_t value) {
        if (value < 0 || value > length) {
            AtlThrow(E_INVALIDARG);
        }
        return value;
    };
    const auto inClass = [this](int32_t first, int32_t end, wchar_t unit) {
        for (int32_t i = first; i + 1 < end; i += 2) {
            if (At(m_code, i).operand <= static_cast<int32_t>(unit) && static_cast<int32_t>(unit) <= At(m_code, i + 1).operand) {
                return true;
            }
        }
        return false;
    };

    const int32_t codeSize = static_cast<int32_t>(m_code.size());
    std::vector<int32_t>& slots = match.m_slots;
    std::vector<int32_t>& groups = match.m_groups;
    // Every match consumes one of the start units first, so other start positions, and the
    // end, cannot begin one.
    const bool skipStarts = m_useStartUnits && m_startUnitCount > 0 && At(m_code, 1).op == PatternOp::Advance;
    int32_t attempt = 0;
    if (skipStarts) {
        while (text[attempt] != 0 && !CanStartAt(text[attempt])) {
            ++attempt;
        }
        if (text[attempt] == 0) {
            return false;
        }
    }
    int32_t p = attempt;
    int32_t pc = 0;
    for (;;) {
        const PatternInstruction& instruction = At(m_code, pc);
        const int32_t operand = instruction.operand;
        bool ok = true;
        switch (instruction.op) {
        case PatternOp::NoOp:
            ++pc;
            break;
        case PatternOp::Character:
            ok = static_cast<int32_t>(text[p]) == operand;
            if (ok) {
                p += operand != 0 ? 1 : 0;  // the end anchor stays on the terminator
                ++pc;
            }
            break;
        case PatternOp::Any:
            ok = text[p] != 0;
            if (ok) {
                ++p;
                ++pc;
            }
            break;
        case PatternOp::Class:
        case PatternOp::NegatedClass:
            ok = text[p] != 0 && inClass(pc + 1, operand, text[p]) == (instruction.op == PatternOp::Class);
            if (ok) {
                ++p;
                pc = operand;
            }
            break;
        case PatternOp::Jump:
            pc = operand;
            break;
        case PatternOp::Call:
            if (pc == 0) {
                match.m_matchStart = p;
            }
            if (!match.Push(pc + 1)) {
                return false;
            }
            pc = operand;
            break;
        case PatternOp::Return:
            ok = false;
            break;
        case PatternOp::PushPosition:
            if (!match.Push(p)) {
                return false;
            }
            ++pc;
            break;
        case PatternOp::PopPosition:
            p = checkedPosition(match.Pop());
            ++pc;
            break;
        case PatternOp::PushSlot:
            if (!match.Push(At(slots, operand))) {
                return false;
            }
            ++pc;
            break;
        case PatternOp::PopSlot:
            At(slots, operand) = match.Pop();
            ++pc;
            break;
        case PatternOp::StorePosition:
            At(slots, operand) = p;
            ++pc;
            break;
        case PatternOp::StoreDepth:
            At(slots, operand) = match.m_depth;
            ++pc;
            break;
        case PatternOp::LoadPosition:
            p = checkedPosition(At(slots, operand));
            ++pc;
            break;
        case PatternOp::LoadDepth: {
            const int32_t depth = At(slots, operand);
            if (depth < 0 || depth > match.m_depth) {
                AtlThrow(E_INVALIDARG);
            }
            match.m_depth = depth;
            ++pc;
            break;
        }
        case PatternOp::FailIfNoProgress:
            ok = p != At(slots, operand);
            if (ok) {
                ++pc;
            }
            break;
        case PatternOp::BackReference: {
            const int32_t start = At(groups, 2 * static_cast<int64_t>(operand));
            const int32_t end = At(groups, 2 * static_cast<int64_t>(operand) + 1);
            // A group not entered yet, or still open here, captured the empty text.
            const int32_t captured = (start < 0 || end < start) ? 0 : end - start;
            ok = captured <= length - p &&
                 (captured == 0 || std::wmemcmp(text + p, text + start, static_cast<size_t>(captured)) == 0);
            if (ok) {
                p += captured;
                ++pc;
            }
            break;
        }
        case PatternOp::PushGroup:
            if (!match.Push(At(groups, 2 * static_cast<int64_t>(operand))) ||
                !match.Push(At(groups, 2 * static_cast<int64_t>(operand) + 1))) {
                return false;
            }
            ++pc;
            break;
        case PatternOp::PopGroup:
            At(groups, 2 * static_cast<int64_t>(operand) + 1) = match.Pop();
            At(groups, 2 * static_cast<int64_t>(operand)) = match.Pop();
            ++pc;
            break;
        case PatternOp::GroupStart:
            At(groups, 2 * static_cast<int64_t>(operand)) = p;
            ++pc;
            break;
        case PatternOp::GroupEnd:
            At(groups, 2 * static_cast<int64_t>(operand) + 1) = p;
            ++pc;
            break;
        case PatternOp::Stop:
            return false;
        case PatternOp::Advance:
            // Start positions run from the first code unit to the last; the end is tried
            // only for the empty subject.
            if (text[attempt] == 0 || text[++attempt] == 0) {
                return false;
            }
            if (skipStarts) {
                while (text[attempt] != 0 && !CanStartAt(text[attempt])) {
                    ++attempt;
                }
                if (text[attempt] == 0) {
                    return false;
                }
            }
            match.m_depth = 0;
            p = attempt;
            pc = 0;
            break;
        case PatternOp::Match:
            match.m_matchEnd = p;
            return true;
        }
        if (!ok) {
            pc = match.Pop();
            if (pc < 0 || pc >= codeSize) {
                AtlThrow(E_INVALIDARG);
            }
        }
    }
}

std::string CPattern::FormatProgram() const
{
    static const char* const Names[] = {
        "no-op",          "character",     "any",           "class",          "negated-class",      "jump",
        "call",           "return",        "push-position", "pop-position",   "push-slot",          "pop-slot",
        "store-position", "store-depth",   "load-position", "load-depth",     "fail-if-no-progress", "back-reference",
        "push-group",     "pop-group",     "group-start",   "group-end",      "stop",               "advance",
        "match",
    };
    std::string text;
    for (size_t i = 0; i < m_code.size(); ++i) {
        text += std::to_string(i) + " " + Names[static_cast<int>(m_code[i].op)];
        switch (m_code[i].op) {
        case PatternOp::Any:
        case PatternOp::Return:
        case PatternOp::PushPosition:
        case PatternOp::PopPosition:
        case PatternOp::Stop:
        case PatternOp::Advance:
        case PatternOp::Match:
            break;
        default:
            text += " " + std::to_string(m_code[i].operand);
            break;
        }
        text += "\n";
    }
    return text;
}

bool MatchPattern(bool ignoreCase, const wchar_t* subject, const wchar_t* pattern)
{
    try {
        CPattern compiled;
        if (compiled.Parse(pattern, !ignoreCase) != PatternOk) {
            return false;
        }
        // The system's patterns need a few entries; the stack grows when a match needs more.
        CPatternMatch match(32);
        return compiled.Match(subject, match);
    } catch (const std::bad_alloc&) {
        return false;
    }
}
