#pragma once

// A row of the matcher's tests, and how a failure names it.
#include <string>

struct MatchCase {
    const wchar_t* pattern;
    const wchar_t* subject;
    bool ignoreCase;
    bool expected;
};

inline std::string Describe(const MatchCase& row)
{
    std::string text = "pattern '";
    for (const wchar_t* c = row.pattern; *c; ++c) {
        text += *c < 0x20 ? '?' : static_cast<char>(*c);
    }
    text += "' subject '";
    for (const wchar_t* c = row.subject; *c; ++c) {
        text += *c < 0x20 ? '?' : static_cast<char>(*c);
    }
    return text + (row.ignoreCase ? "' ignoring case" : "'");
}
