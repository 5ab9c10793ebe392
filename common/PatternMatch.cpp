// The match loop: one switch in one loop over the compiled code, with the backtrack stack
// explicit and its growth in one place.
#include <climits>
#include <new>

#include "PatternInternal.h"

using namespace PatternInternal;

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
    wchar_t shortFolded[256];
    std::vector<wchar_t> folded;
    const wchar_t* text = subject;
    try {
        if (!m_caseSensitive) {
            text = FoldedCopy(subject, subjectLength + 1, shortFolded, 256, folded);
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
    if (skipStarts && !SkipToStart(text, attempt)) {
        return false;
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
            if (skipStarts && !SkipToStart(text, attempt)) {
                return false;
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
