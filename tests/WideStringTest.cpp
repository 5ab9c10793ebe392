#include <gtest/gtest.h>

#include <string>

#include "TextFold.h"
#include "WideString.h"

namespace {

HRESULT RaisedBy(void (*action)())
{
    try {
        action();
    } catch (const CAtlException& e) {
        return e.m_hr;
    }
    return S_OK;
}

}  // namespace

TEST(CWideString, CopiesShareUntilEitherChanges)
{
    CWideString source(L"Reelshifter");
    CWideString copy = source;
    EXPECT_EQ(source.Text(), copy.Text());  // one buffer

    copy.AppendComponent(L"SDK");
    EXPECT_STREQ(L"Reelshifter", source.Text());
    EXPECT_STREQ(L"Reelshifter\\SDK", copy.Text());

    CWideString second = source;
    wchar_t* buffer = source.GetBuffer(20);
    buffer[0] = L'X';
    source.ReleaseBuffer();
    EXPECT_STREQ(L"Xeelshifter", source.Text());
    EXPECT_STREQ(L"Reelshifter", second.Text());

    CWideString assigned;
    assigned = second;
    second = L"other";
    EXPECT_STREQ(L"Reelshifter", assigned.Text());
}

TEST(CWideString, AssignFromSpanInsideOwnBuffer)
{
    CWideString text(L"Ravelnest Reelshifter SDK");
    text.Assign(text.Text() + 10, 11);
    EXPECT_STREQ(L"Reelshifter", text.Text());
    EXPECT_EQ(11, text.Length());

    CWideString shared(L"abcdef");
    CWideString other = shared;
    shared.Assign(shared.Text() + 2, 3);
    EXPECT_STREQ(L"cde", shared.Text());
    EXPECT_STREQ(L"abcdef", other.Text());
}

TEST(CWideString, NullTextsCountAsEmpty)
{
    const CWideString fromNull(static_cast<const wchar_t*>(nullptr));
    ASSERT_NE(nullptr, fromNull.Text());
    EXPECT_STREQ(L"", fromNull.Text());
    EXPECT_EQ(0, fromNull.Length());
    EXPECT_NE(nullptr, CWideString().Text());

    const CWideString word(L"SDK");
    EXPECT_STREQ(L"SDK", (word + static_cast<const wchar_t*>(nullptr)).Text());
    EXPECT_STREQ(L"SDK", (static_cast<const wchar_t*>(nullptr) + word).Text());
    EXPECT_STREQ(L"Reelshifter SDK", (L"Reelshifter " + word).Text());
    EXPECT_STREQ(L"SDK 1.3.0", (word + L" " + CWideString(L"1.3.0")).Text());
    EXPECT_STREQ(L"", (CWideString() + CWideString()).Text());

    CWideString empty;
    empty.Assign(nullptr, 0);
    EXPECT_EQ(0, empty.Length());
}

TEST(CWideString, PrefixBounds)
{
    const CWideString text(L"Reelshifter");
    EXPECT_STREQ(L"", text.Left(0).Text());
    EXPECT_STREQ(L"", text.Left(-5).Text());
    EXPECT_STREQ(L"Reel", text.Left(4).Text());
    EXPECT_EQ(4, text.Left(4).Length());
    EXPECT_STREQ(L"Reelshifter", text.Left(11).Text());
    EXPECT_STREQ(L"Reelshifter", text.Left(1000).Text());
}

TEST(CWideString, PathEdits)
{
    CWideString folder(L"C:\\Program Files\\");
    folder.RemoveTrailingBackslash();
    EXPECT_STREQ(L"C:\\Program Files", folder.Text());
    EXPECT_EQ(16, folder.Length());
    folder.RemoveTrailingBackslash();
    EXPECT_STREQ(L"C:\\Program Files", folder.Text());

    CWideString root(L"C:\\");
    root.RemoveTrailingBackslash();
    EXPECT_STREQ(L"C:\\", root.Text());  // a root keeps its backslash

    EXPECT_TRUE(folder.AppendComponent(L"Ravelnest"));
    EXPECT_TRUE(folder.AppendComponent(L"Reelshifter SDK"));
    EXPECT_STREQ(L"C:\\Program Files\\Ravelnest\\Reelshifter SDK", folder.Text());
    EXPECT_EQ(42, folder.Length());

    EXPECT_TRUE(folder.RemoveLastComponent());
    EXPECT_STREQ(L"C:\\Program Files\\Ravelnest", folder.Text());
    EXPECT_EQ(26, folder.Length());

    folder.AddTrailingBackslash();
    EXPECT_STREQ(L"C:\\Program Files\\Ravelnest\\", folder.Text());
    folder.AddTrailingBackslash();
    EXPECT_EQ(27, folder.Length());

    CWideString withSlash(L"C:\\Temp\\");
    EXPECT_TRUE(withSlash.AppendComponent(L"x.exe"));
    EXPECT_STREQ(L"C:\\Temp\\x.exe", withSlash.Text());

    CWideString file(L"name.txt");
    file.RemoveLastComponent();
    EXPECT_STREQ(L"", file.Text());
    EXPECT_EQ(0, file.Length());
}

TEST(CWideString, LengthOutOfRangeRaisesInvalidArgument)
{
    EXPECT_EQ(E_INVALIDARG, RaisedBy([] {
        CWideString text(L"abc");
        text.GetBuffer(10);
        text.ReleaseBufferSetLength(11);
    }));
    EXPECT_EQ(E_INVALIDARG, RaisedBy([] {
        CWideString text(L"abc");
        text.GetBuffer(10);
        text.ReleaseBufferSetLength(-1);
    }));
    EXPECT_EQ(E_INVALIDARG, RaisedBy([] { CWideString().Assign(L"abc", -1); }));
    EXPECT_EQ(E_INVALIDARG, RaisedBy([] { CWideString().Assign(nullptr, 2); }));
    EXPECT_EQ(E_INVALIDARG, RaisedBy([] { CWideString().ReleaseBufferSetLength(1); }));
    EXPECT_EQ(S_OK, RaisedBy([] {
        CWideString text;
        wcscpy(text.GetBuffer(10), L"0123456789");
        text.ReleaseBufferSetLength(10);
        if (text.Length() != 10) {
            throw CAtlException(E_FAIL);
        }
    }));
}

TEST(CWideString, BufferMeasuresUpToFirstZero)
{
    CWideString text;
    wchar_t* buffer = text.GetBuffer(MAX_PATH);
    wcscpy(buffer, L"C:\\Windows");
    text.ReleaseBuffer();
    EXPECT_EQ(10, text.Length());
    text.GetBuffer(MAX_PATH)[3] = 0;
    text.ReleaseBuffer();
    EXPECT_STREQ(L"C:\\", text.Text());
}

TEST(CWideStringArray, AddStoresCopiesAndReturnsIndexes)
{
    CWideStringArray names;
    CWideString name(L"Ravelnest Reelshifter SDK 1.2.0");
    EXPECT_EQ(0, names.Add(name));
    EXPECT_EQ(1, names.Add(L"RAVELNEST Tools"));
    name = L"changed";
    EXPECT_STREQ(L"Ravelnest Reelshifter SDK 1.2.0", names[0].Text());
    EXPECT_EQ(2, names.GetSize());
    EXPECT_THROW(names[2], CAtlException);
}

TEST(TextFold, OnlyLettersAToZFold)
{
    EXPECT_TRUE(EqualsFolded(L"C:\\PROGRAM FILES\\RAVELNEST", L"c:\\program files\\ravelnest"));
    EXPECT_FALSE(EqualsFolded(L"C:\\Program Files", L"C:\\Program File"));
    EXPECT_FALSE(EqualsFolded(L"\xFF21", L"\xFF41"));        // full-width A, a
    EXPECT_FALSE(EqualsFolded(L"caf\x00C9", L"caf\x00E9"));  // accented E, e
    EXPECT_FALSE(EqualsFolded(L"[", L"{"));                  // neighbours of the letter ranges
    EXPECT_FALSE(EqualsFolded(L"@", L"`"));
    EXPECT_EQ(0, CompareFoldedPrefix(L"Ravelnest Reelshifter SDK 1.2", L"RAVELNEST REELSHIFTER SDK ", 26));
    EXPECT_NE(0, CompareFoldedPrefix(L"Ravelnest Reelshifter SDK", L"Ravelnest Reelshifter SDK ", 26));
}
