// The matcher's compiler: the code it emits, the frames of sequences, alternations and
// quantifiers, and CPattern::Parse, which folds the pattern and runs the compiler.
#include <new>

#include "PatternCompiler.h"

using namespace PatternInternal;

int CPatternCompiler::Compile(const wchar_t* text)
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

// Whether `count` more instructions fit while `pendingFrames` frame instructions,
// emitted later, are counted too.
bool CPatternCompiler::HasRoom(size_t count, size_t pendingFrames) const
{
    return m_code.size() + pendingFrames + count <= MaxInstructions;
}

int CPatternCompiler::Emit(PatternOp op, int32_t operand)
{
    if (!HasRoom(1, m_pendingFrames)) {
        throw OutOfResources();
    }
    m_code.push_back({op, operand});
    return Size() - 1;
}

// Opens `count` instructions at `at`; targets into the moved code follow it.
void CPatternCompiler::Insert(int at, int count)
{
    if (!HasRoom(static_cast<size_t>(count), m_pendingFrames)) {
        throw OutOfResources();
    }
    m_code.insert(m_code.begin() + at, static_cast<size_t>(count), PatternInstruction{PatternOp::NoOp, 0});
    Relocate(at + count, Size(), at, count);
}

void CPatternCompiler::Relocate(int begin, int end, int firstMovedTarget, int delta)
{
    for (int i = begin; i < end; ++i) {
        PatternInstruction& instruction = m_code[static_cast<size_t>(i)];
        if (HasTarget(instruction.op) && instruction.operand >= firstMovedTarget) {
            instruction.operand += delta;
        }
    }
}

// Appends a second copy of [begin, end): same groups, fresh slots.
void CPatternCompiler::Duplicate(int begin, int end, int firstSlot)
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

// A code unit that compiles to one Character whatever surrounds it: no syntax of its own,
// no quantifier or bar after it.
bool CPatternCompiler::IsPlainLiteral(const wchar_t* cursor)
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

int CPatternCompiler::ParseSequence(const wchar_t*& cursor, bool& canBeEmpty)
{
    bool allCanBeEmpty = true;
    while (!EndsSequence(*cursor)) {
        // Runs of plain text, most of the system's patterns, go straight to code; the
        // limits are those that the element's own parse would check: its atom's nesting,
        // and its alternation frame counted while the atom is emitted.
        if (IsPlainLiteral(cursor) && CanNest(m_nesting) && HasRoom(1, m_pendingFrames + AlternationFrame)) {
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
int CPatternCompiler::ParseElement(const wchar_t*& cursor, bool& canBeEmpty, bool& emitted)
{
    const int start = Size();
    const int groupsBefore = m_pattern.m_groupCount;
    const int slotsBefore = m_pattern.m_slotCount;
    // Most elements have no bar: the frame's four instructions are only counted against
    // the limit while X is compiled, and opened before X once a bar follows it.
    m_pendingFrames += AlternationFrame;
    bool xCanBeEmpty = false;
    int error = ParseQuantifiedAtom(cursor, xCanBeEmpty);
    m_pendingFrames -= AlternationFrame;
    if (error != PatternOk) {
        return error;
    }
    if (*cursor != L'|') {
        canBeEmpty = xCanBeEmpty;
        emitted = true;
        return PatternOk;
    }
    Insert(start, static_cast<int>(AlternationFrame));
    At(m_code, start).op = PatternOp::PushPosition;
    At(m_code, start + 1).op = PatternOp::Call;
    At(m_code, start + 2).op = PatternOp::PopPosition;
    At(m_code, start + 3).op = PatternOp::Jump;
    const int xStart = start + static_cast<int>(AlternationFrame);
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
int CPatternCompiler::ParseQuantifiedAtom(const wchar_t*& cursor, bool& canBeEmpty)
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
void CPatternCompiler::Prefix(int body, std::initializer_list<PatternInstruction> frame)
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
// The greedy frame with slot m before the body at `body`: push-slot m; store-position m;
// push-position; call body; pop-position; pop-slot m; jump after (patched at body + 6).
void CPatternCompiler::OpenGreedyFrame(int body, int m)
{
    Prefix(body, {{PatternOp::PushSlot, m}, {PatternOp::StorePosition, m}, {PatternOp::PushPosition, 0},
                  {PatternOp::Call, body + 7}, {PatternOp::PopPosition, 0}, {PatternOp::PopSlot, m},
                  {PatternOp::Jump, 0}});
}

void CPatternCompiler::WrapRepeat(int body, bool lazy)
{
    const int m = NewSlot();
    if (!lazy) {
        // The greedy frame; body: E; fail-if-no-progress m; jump back.
        OpenGreedyFrame(body, m);
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

void CPatternCompiler::WrapOptional(int body, bool lazy)
{
    if (!lazy) {
        // As the greedy repetition, without the jump back.
        const int m = NewSlot();
        OpenGreedyFrame(body, m);
        Emit(PatternOp::FailIfNoProgress, m);
        Patch(body + 6, Size());
        return;
    }
    // Non-greedy: push-position; call after; pop-position; E.
    Prefix(body, {{PatternOp::PushPosition, 0}, {PatternOp::Call, 0}, {PatternOp::PopPosition, 0}});
    Patch(body + 1, Size());
}

PatternError CPattern::Parse(const wchar_t* pattern, bool caseSensitive)
{
    m_code.clear();
    m_startUnitCount = 0;
    m_groupCount = 0;
    m_slotCount = 0;
    m_caseSensitive = caseSensitive;
    if (!pattern) {
        return m_lastError = PatternMissing;
    }
    PatternError error = PatternOk;
    try {
        wchar_t shortFolded[128];
        std::vector<wchar_t> folded;
        const wchar_t* text = caseSensitive ? pattern
                                            : FoldedCopy(pattern, wcslen(pattern) + 1, shortFolded, 128, folded);
        m_code.reserve(64);
        error = static_cast<PatternError>(CPatternCompiler(*this).Compile(text));
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
