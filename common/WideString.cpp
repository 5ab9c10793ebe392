#include "WideString.h"

#include <shlwapi.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

int CheckedLength(const wchar_t* text)
{
    const size_t length = text ? wcslen(text) : 0;
    if (length > static_cast<size_t>(INT_MAX) - 1) {
        AtlThrow(E_OUTOFMEMORY);
    }
    return static_cast<int>(length);
}

}  // namespace

CWideString::Buffer* CWideString::Allocate(int capacity)
{
    if (capacity < 0 || static_cast<size_t>(capacity) >= (SIZE_MAX - sizeof(Buffer)) / sizeof(wchar_t)) {
        AtlThrow(E_OUTOFMEMORY);
    }
    auto* buffer = static_cast<Buffer*>(malloc(sizeof(Buffer) + sizeof(wchar_t) * static_cast<size_t>(capacity)));
    if (!buffer) {
        AtlThrow(E_OUTOFMEMORY);
    }
    buffer->references = 1;
    buffer->capacity = capacity;
    buffer->length = 0;
    buffer->text[0] = 0;
    return buffer;
}

void CWideString::Release(Buffer* buffer) noexcept
{
    if (buffer && InterlockedDecrement(&buffer->references) == 0) {
        free(buffer);
    }
}

CWideString::CWideString(const wchar_t* text)
{
    Assign(text, CheckedLength(text));
}

CWideString::CWideString(const CWideString& other) noexcept : m_buffer(other.m_buffer)
{
    if (m_buffer) {
        InterlockedIncrement(&m_buffer->references);
    }
}

CWideString::CWideString(CWideString&& other) noexcept : m_buffer(other.m_buffer)
{
    other.m_buffer = nullptr;
}

CWideString::~CWideString()
{
    Release(m_buffer);
}

CWideString& CWideString::operator=(const CWideString& other) noexcept
{
    if (other.m_buffer) {
        InterlockedIncrement(&other.m_buffer->references);
    }
    Release(m_buffer);
    m_buffer = other.m_buffer;
    return *this;
}

CWideString& CWideString::operator=(CWideString&& other) noexcept
{
    if (this != &other) {
        Release(m_buffer);
        m_buffer = other.m_buffer;
        other.m_buffer = nullptr;
    }
    return *this;
}

CWideString& CWideString::operator=(const wchar_t* text)
{
    Assign(text, CheckedLength(text));
    return *this;
}

void CWideString::Assign(const wchar_t* source, int count)
{
    if (count < 0 || (count > 0 && !source)) {
        AtlThrow(E_INVALIDARG);
    }
    if (count == 0) {
        Release(m_buffer);
        m_buffer = nullptr;
        return;
    }
    // Copy into a fresh buffer first: the source may lie inside the one being replaced.
    Buffer* fresh = Allocate(count);
    memcpy(fresh->text, source, sizeof(wchar_t) * static_cast<size_t>(count));
    fresh->text[count] = 0;
    fresh->length = count;
    Release(m_buffer);
    m_buffer = fresh;
}

CWideString CWideString::Left(int count) const
{
    if (count <= 0) {
        return CWideString();
    }
    if (count >= Length()) {
        return *this;
    }
    CWideString prefix;
    prefix.Assign(Text(), count);
    return prefix;
}

wchar_t* CWideString::GetBuffer(int capacity)
{
    if (capacity < 0) {
        AtlThrow(E_INVALIDARG);
    }
    const int length = Length();
    if (capacity < length) {
        capacity = length;
    }
    if (m_buffer && m_buffer->references == 1 && m_buffer->capacity >= capacity) {
        return m_buffer->text;
    }
    Buffer* fresh = Allocate(capacity);
    if (length > 0) {
        memcpy(fresh->text, m_buffer->text, sizeof(wchar_t) * static_cast<size_t>(length));
    }
    fresh->text[length] = 0;
    fresh->length = length;
    Release(m_buffer);
    m_buffer = fresh;
    return fresh->text;
}

void CWideString::ReleaseBuffer()
{
    if (!m_buffer) {
        return;
    }
    const int capacity = m_buffer->capacity;
    int length = 0;
    while (length < capacity && m_buffer->text[length] != 0) {
        ++length;
    }
    ReleaseBufferSetLength(length);
}

void CWideString::ReleaseBufferSetLength(int length)
{
    const int capacity = m_buffer ? m_buffer->capacity : 0;
    if (length < 0 || length > capacity) {
        AtlThrow(E_INVALIDARG);
    }
    if (m_buffer) {
        m_buffer->text[length] = 0;
        m_buffer->length = length;
    }
}

void CWideString::RemoveTrailingBackslash()
{
    if (Length() == 0) {
        return;
    }
    PathRemoveBackslashW(GetBuffer(Length()));
    ReleaseBuffer();
}

BOOL CWideString::RemoveLastComponent()
{
    const BOOL result = PathRemoveFileSpecW(GetBuffer(Length()));
    ReleaseBuffer();
    return result;
}

BOOL CWideString::AppendComponent(const wchar_t* component)
{
    const int needed = Length() + CheckedLength(component) + 1;
    // The shell's helper may use up to MAX_PATH code units whatever the inputs' lengths.
    const BOOL result = PathAppendW(GetBuffer(needed < MAX_PATH ? MAX_PATH : needed), component ? component : L"");
    ReleaseBuffer();
    return result;
}

void CWideString::AddTrailingBackslash()
{
    PathAddBackslashW(GetBuffer(Length() + 1));
    ReleaseBuffer();
}

CWideString CWideString::Concatenate(const wchar_t* left, int leftLength, const wchar_t* right, int rightLength)
{
    if (leftLength > INT_MAX - 1 - rightLength) {
        AtlThrow(E_OUTOFMEMORY);
    }
    CWideString result;
    const int length = leftLength + rightLength;
    if (length == 0) {
        return result;
    }
    result.m_buffer = Allocate(length);
    memcpy(result.m_buffer->text, left, sizeof(wchar_t) * static_cast<size_t>(leftLength));
    memcpy(result.m_buffer->text + leftLength, right, sizeof(wchar_t) * static_cast<size_t>(rightLength));
    result.m_buffer->text[length] = 0;
    result.m_buffer->length = length;
    return result;
}

CWideString operator+(const CWideString& left, const CWideString& right)
{
    return CWideString::Concatenate(left.Text(), left.Length(), right.Text(), right.Length());
}

CWideString operator+(const CWideString& left, const wchar_t* right)
{
    return CWideString::Concatenate(left.Text(), left.Length(), right ? right : L"", CheckedLength(right));
}

CWideString operator+(const wchar_t* left, const CWideString& right)
{
    return CWideString::Concatenate(left ? left : L"", CheckedLength(left), right.Text(), right.Length());
}
