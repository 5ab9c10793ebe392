#pragma once

// The matcher's compiler, private to it: a recursive descent over the (already folded)
// pattern text into the flat instruction list. Binding from tightest: an atom with its
// quantifier, alternation, concatenation. The frames of sequences, alternations and
// quantifiers are in PatternCompiler.cpp, the atoms in PatternAtoms.cpp.

#include <initializer_list>

#include "PatternInternal.h"

namespace PatternInternal {

inline bool EndsSequence(wchar_t c)
{
    return c == 0 || c == L')' || c == L']' || c == L'}';
}

}  // namespace PatternInternal

class CPatternCompiler {
public:
    // An alternation's frame: push-position, call, pop-position, jump.
    static constexpr size_t AlternationFrame = 4;

    explicit CPatternCompiler(CPattern& pattern) : m_pattern(pattern), m_code(pattern.m_code) {}

    // Compiles the whole pattern into the pattern's code; a PatternError.
    int Compile(const wchar_t* text);

private:
    // Whether an atom may open at nesting `depth`.
    static bool CanNest(int depth) { return depth < PatternInternal::MaxNesting; }

    class NestingGuard {
    public:
        explicit NestingGuard(int& depth) : m_depth(depth)
        {
            if (!CanNest(m_depth)) {
                throw PatternInternal::OutOfResources();
            }
            ++m_depth;
        }
        ~NestingGuard() { --m_depth; }
        NestingGuard(const NestingGuard&) = delete;
        NestingGuard& operator=(const NestingGuard&) = delete;

    private:
        int& m_depth;
    };

    // The code: every addition is checked against the instruction limit.
    int Size() const { return static_cast<int>(m_code.size()); }
    bool HasRoom(size_t count, size_t pendingFrames) const;
    int Emit(PatternOp op, int32_t operand = 0);
    void Patch(int index, int32_t operand) { PatternInternal::At(m_code, index).operand = operand; }
    void Insert(int at, int count);
    void Relocate(int begin, int end, int firstMovedTarget, int delta);
    void Duplicate(int begin, int end, int firstSlot);
    void Prefix(int body, std::initializer_list<PatternInstruction> frame);
    int NewSlot() { return m_pattern.m_slotCount++; }

    // Sequences, alternations and quantifiers.
    static bool IsPlainLiteral(const wchar_t* cursor);
    int ParseSequence(const wchar_t*& cursor, bool& canBeEmpty);
    int ParseElement(const wchar_t*& cursor, bool& canBeEmpty, bool& emitted);
    int ParseQuantifiedAtom(const wchar_t*& cursor, bool& canBeEmpty);
    void OpenGreedyFrame(int body, int m);
    void WrapRepeat(int body, bool lazy);
    void WrapOptional(int body, bool lazy);

    // Atoms.
    int ParseAtom(const wchar_t*& cursor, bool& canBeEmpty);
    int ParseGroupBody(const wchar_t*& cursor, wchar_t close, int unclosed, bool& canBeEmpty);
    int ParseGroup(const wchar_t*& cursor, bool& canBeEmpty);
    int ParseMatchGroup(const wchar_t*& cursor, bool& canBeEmpty);
    int ParseNegation(const wchar_t*& cursor, bool& canBeEmpty);
    int ParseEscape(const wchar_t*& cursor, bool& canBeEmpty);
    static bool ReadClassItem(const wchar_t*& cursor, wchar_t& item);
    int ParseClass(const wchar_t*& cursor);

    CPattern& m_pattern;
    std::vector<PatternInstruction>& m_code;
    int m_nesting = 0;
    size_t m_pendingFrames = 0;  // instructions of alternation frames not yet opened
};
