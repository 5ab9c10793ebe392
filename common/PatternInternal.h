#pragma once

// What the matcher's compiler, start-unit analysis and match loop share; not for its users.

#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <vector>

#include "AtlException.h"
#include "Pattern.h"
#include "TextFold.h"

namespace PatternInternal {

// Limits that stand in for exhausted memory (parse error 1): nested '+' doubles the code
// at each level, and parsing recurses once per nesting level.
constexpr size_t MaxInstructions = 1u << 20;
constexpr int MaxNesting = 1000;

struct OutOfResources {};

inline bool HasTarget(PatternOp op)
{
    return op == PatternOp::Class || op == PatternOp::NegatedClass || op == PatternOp::Jump || op == PatternOp::Call;
}

inline bool HasSlot(PatternOp op)
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

// `text` (`units` code units, its terminator included) with the letters A-Z folded: in
// `shortBuffer` when it fits there, as the system's patterns and key names do, else in
// `longBuffer`. Raises std::bad_alloc when the long buffer cannot grow.
inline const wchar_t* FoldedCopy(const wchar_t* text, size_t units, wchar_t* shortBuffer, size_t shortUnits,
                                 std::vector<wchar_t>& longBuffer)
{
    wchar_t* target = shortBuffer;
    if (units > shortUnits) {
        longBuffer.resize(units);
        target = longBuffer.data();
    }
    std::wmemcpy(target, text, units);
    FoldAsciiLetters(target);
    return target;
}

// The code units that can begin a match (see CPattern::StartUnits), stored in `units`;
// their count, or 0 when that cannot be told.
int CollectStartUnits(const std::vector<PatternInstruction>& code, wchar_t (&units)[CPattern::MaxStartUnits]);

}  // namespace PatternInternal
