#pragma once

// A small regular-expression engine over wide text: a pattern is compiled into a flat
// instruction list for a backtracking machine whose stack is explicit, so matching never
// recurses. It needs no Windows header and builds natively too (for sanitizers and fuzzing).

#include <cstdint>
#include <string>
#include <vector>

enum class PatternOp : int32_t {
    NoOp,              // operand: a value (class bounds)
    Character,         // code unit; 0 matches the subject's terminator (end anchor)
    Any,               // -
    Class,             // index after the class's bound pairs
    NegatedClass,      // index after the class's bound pairs
    Jump,              // target index
    Call,              // target index; pushes the next index
    Return,            // - (fails)
    PushPosition,      // -
    PopPosition,       // -
    PushSlot,          // slot
    PopSlot,           // slot
    StorePosition,     // slot
    StoreDepth,        // slot
    LoadPosition,      // slot
    LoadDepth,         // slot
    FailIfNoProgress,  // slot
    BackReference,     // group
    PushGroup,         // group
    PopGroup,          // group
    GroupStart,        // group
    GroupEnd,          // group
    Stop,              // -
    Advance,           // -
    Match,             // -
};

struct PatternInstruction {
    PatternOp op;
    int32_t operand;
};

// Parse results.
enum PatternError : int {
    PatternOk = 0,
    PatternNoMemory = 1,
    PatternUnclosedMatchGroup = 2,
    PatternUnclosedGroup = 3,
    PatternUnclosedClass = 4,
    PatternBadAbbreviation = 5,
    PatternEmptyClass = 6,
    PatternUnknownGroup = 7,
    PatternReversedRange = 8,
    PatternEmptyRepetition = 9,
    PatternMissing = 10,
};

class CPattern;

// The state of one match: backtrack stack, slots, group bounds and the match's bounds,
// all as positions in the caller's subject once Match returns.
class CPatternMatch {
public:
    explicit CPatternMatch(int32_t stackRoom = 256);

    const wchar_t* MatchStart() const noexcept { return Position(m_matchStart); }
    const wchar_t* MatchEnd() const noexcept { return Position(m_matchEnd); }
    int GroupCount() const noexcept { return static_cast<int>(m_groups.size() / 2); }
    // Null for a group that was not entered.
    const wchar_t* GroupStart(int group) const;
    const wchar_t* GroupEnd(int group) const;
    // Room the stack reached during the last match (it starts at the room given).
    int32_t StackCapacity() const noexcept { return static_cast<int32_t>(m_stack.size()); }

private:
    friend class CPattern;

    const wchar_t* Position(int32_t offset) const noexcept
    {
        return (offset < 0 || !m_subject) ? nullptr : m_subject + offset;
    }
    bool Push(int32_t value);
    int32_t Pop();

    // Stack entries, slots and group bounds hold offsets into the subject (or its folded
    // copy, which has the same offsets); -1 is an unset group bound.
    std::vector<int32_t> m_stack;
    int32_t m_depth = 0;
    std::vector<int32_t> m_slots;
    std::vector<int32_t> m_groups;
    int32_t m_matchStart = -1;
    int32_t m_matchEnd = -1;
    const wchar_t* m_subject = nullptr;
};

class CPattern {
public:
    // The most start units that CollectStartUnits keeps; more leave the skip off.
    static constexpr int MaxStartUnits = 16;

    // Discards an earlier compilation and compiles `pattern`.
    PatternError Parse(const wchar_t* pattern, bool caseSensitive);
    // Whether the pattern matches anywhere in `subject`; false for a null subject.
    bool Match(const wchar_t* subject, CPatternMatch& match) const;

    int InstructionCount() const noexcept { return static_cast<int>(m_code.size()); }
    PatternInstruction Instruction(int index) const;
    int GroupCount() const noexcept { return m_groupCount; }
    int SlotCount() const noexcept { return m_slotCount; }
    int LastError() const noexcept { return m_lastError; }
    bool CaseSensitive() const noexcept { return m_caseSensitive; }

    // One line per instruction, "index kind operand", for tests and debugging.
    std::string FormatProgram() const;

    // The code units that can begin a match when every match consumes one first (empty
    // when that cannot be told); Match skips start positions holding other units. Turning
    // the skip off gives the same answers more slowly: for tests.
    std::vector<wchar_t> StartUnits() const { return std::vector<wchar_t>(m_startUnits, m_startUnits + m_startUnitCount); }
    void UseStartUnits(bool use) noexcept { m_useStartUnits = use; }

private:
    friend class CPatternCompiler;

    bool CanStartAt(wchar_t unit) const noexcept;
    // Moves `position` on to the first unit that can begin a match; false at the end.
    bool SkipToStart(const wchar_t* text, int32_t& position) const noexcept;

    std::vector<PatternInstruction> m_code;
    wchar_t m_startUnits[MaxStartUnits] = {};
    int m_startUnitCount = 0;
    bool m_useStartUnits = true;
    bool m_caseSensitive = true;
    int m_groupCount = 0;
    int m_slotCount = 0;
    PatternError m_lastError = PatternOk;
};

// The system's only entry to the matcher.
bool MatchPattern(bool ignoreCase, const wchar_t* subject, const wchar_t* pattern);
