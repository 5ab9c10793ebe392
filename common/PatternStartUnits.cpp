// Which code units can begin a match, worked out once from the compiled code, so that an
// unanchored match can skip the start positions where no match can begin.
#include "PatternInternal.h"

namespace PatternInternal {

// The units that the first consuming instruction of any match can take, following every
// path from the start: straight on, jumps, calls and the continuations that calls leave for
// backtracking. False (no filter) when a path can match without consuming, reaches an
// instruction whose first unit is not one known unit, or the search grows large.
int CollectStartUnits(const std::vector<PatternInstruction>& code, wchar_t (&units)[CPattern::MaxStartUnits])
{
    // Sized for the system's patterns, a few dozen instructions; larger code goes unfiltered.
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
                if (count == CPattern::MaxStartUnits) {
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

}  // namespace PatternInternal

bool CPattern::CanStartAt(wchar_t unit) const noexcept
{
    for (int i = 0; i < m_startUnitCount; ++i) {
        if (m_startUnits[i] == unit) {
            return true;
        }
    }
    return false;
}

bool CPattern::SkipToStart(const wchar_t* text, int32_t& position) const noexcept
{
    while (text[position] != 0 && !CanStartAt(text[position])) {
        ++position;
    }
    return text[position] != 0;
}
