#pragma once

#include <cstddef>

// Comparisons without regard to case fold only A-Z onto a-z, never by locale, so that a
// full-width or accented letter never equals its plain form.

inline wchar_t FoldAsciiLetter(wchar_t c) noexcept
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// Compares at most `count` code units; <0, 0 or >0 like wcsncmp after folding.
inline int CompareFoldedPrefix(const wchar_t* left, const wchar_t* right, size_t count) noexcept
{
    for (size_t i = 0; i < count; ++i) {
        const wchar_t a = FoldAsciiLetter(left[i]);
        const wchar_t b = FoldAsciiLetter(right[i]);
        if (a != b) {
            return a < b ? -1 : 1;
        }
        if (a == 0) {
            return 0;
        }
    }
    return 0;
}

inline int CompareFolded(const wchar_t* left, const wchar_t* right) noexcept
{
    return CompareFoldedPrefix(left, right, static_cast<size_t>(-1));
}

inline bool EqualsFolded(const wchar_t* left, const wchar_t* right) noexcept
{
    return CompareFolded(left, right) == 0;
}

inline void FoldAsciiLetters(wchar_t* text) noexcept
{
    for (; *text != 0; ++text) {
        *text = FoldAsciiLetter(*text);
    }
}
