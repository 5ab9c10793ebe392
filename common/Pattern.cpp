// The matcher's entry, MatchPattern, and the dump of a compiled program. The compiler, the
// start-unit analysis and the match loop have files of their own.
#include <new>

#include "PatternInternal.h"

using namespace PatternInternal;

PatternInstruction CPattern::Instruction(int index) const
{
    return At(m_code, index);
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
