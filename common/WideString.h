#pragma once

#include <windows.h>

#include "AtlException.h"
#include "GrowableArray.h"

// The system's text type: UTF-16 code units with a terminating zero and value semantics.
// Copies share one reference-counted buffer; a change to a shared buffer first gives the
// changing string a private copy. Text() is never null, so it can always be handed to
// a Windows function. Failures raise CAtlException (E_INVALIDARG, E_OUTOFMEMORY).
class CWideString {
public:
    CWideString() noexcept = default;
    CWideString(const wchar_t* text);  // a null pointer gives the empty string
    CWideString(const CWideString& other) noexcept;
    CWideString(CWideString&& other) noexcept;
    ~CWideString();

    CWideString& operator=(const CWideString& other) noexcept;
    CWideString& operator=(CWideString&& other) noexcept;
    CWideString& operator=(const wchar_t* text);

    // Replaces the contents with `count` code units; `source` may lie inside this string.
    void Assign(const wchar_t* source, int count);

    int Length() const noexcept { return m_buffer ? m_buffer->length : 0; }
    const wchar_t* Text() const noexcept { return m_buffer ? m_buffer->text : L""; }
    operator const wchar_t*() const noexcept { return Text(); }

    // The first `count` code units; below 0 counts as 0, beyond the length gives a copy.
    CWideString Left(int count) const;

    // A private buffer with room for `capacity` code units plus the terminator, holding the
    // current text. After writing into it, set the length with one of the two releases.
    wchar_t* GetBuffer(int capacity);
    void ReleaseBuffer();                     // measures up to the first zero
    void ReleaseBufferSetLength(int length);  // E_INVALIDARG below 0 or beyond the capacity

    // In-place path edits through the shell's path helpers.
    void RemoveTrailingBackslash();
    BOOL RemoveLastComponent();
    BOOL AppendComponent(const wchar_t* component);
    void AddTrailingBackslash();

    friend CWideString operator+(const CWideString& left, const CWideString& right);
    friend CWideString operator+(const CWideString& left, const wchar_t* right);
    friend CWideString operator+(const wchar_t* left, const CWideString& right);

private:
    struct Buffer {
        LONG references;
        int capacity;  // code units, the terminator not counted
        int length;
        wchar_t text[1];
    };

    static Buffer* Allocate(int capacity);
    static void Release(Buffer* buffer) noexcept;
    static CWideString Concatenate(const wchar_t* left, int leftLength, const wchar_t* right,
                                   int rightLength);

    Buffer* m_buffer = nullptr;  // null is the empty string
};

using CWideStringArray = CGrowableArray<CWideString>;
