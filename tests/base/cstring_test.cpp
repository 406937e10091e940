#include <gtest/gtest.h>

#include <string>

#include "base/cstring.h"

namespace {

TEST(CStringTest, EmptyStringsAndTheirBuffers)
{
    CString none, tooLong(L"short");  // a text of more than 65,534 characters leaves no buffer
    tooLong.Assign(std::wstring(65535, L'x').c_str());
    for (CString* s : {&none, &tooLong}) {
        EXPECT_EQ(s->Buffer(), nullptr);
        EXPECT_EQ(s->Capacity(), 0u);
        EXPECT_STREQ(s->Text(), L"");
    }
    tooLong.Assign(std::wstring(65534, L'y').c_str());
    EXPECT_EQ(tooLong.Length(), 65534u);
    CString assigned, allocated, missing;  // a stored text is every message box's caption: a missing one is allocated
    assigned.Assign(static_cast<const wchar_t*>(nullptr));
    allocated.Allocate(0);
    EXPECT_EQ(missing.LoadResource(GetModuleHandleW(nullptr), 59999), 0);
    for (CString* s : {&assigned, &allocated, &missing}) {
        EXPECT_EQ(s->Length(), 0u);
        EXPECT_EQ(s->Capacity(), 1u);
        EXPECT_EQ(s->Buffer()[0], L'\0');
    }
}

// Append grows only when the text does not fit; Allocate keeps the text, SetLength recounts or cuts it,
// and Format without a format keeps its own text (with arguments it is dialpass-config's step texts).
TEST(CStringTest, AppendAllocateSetLengthAndFormatKeepTheText)
{
    struct Case { unsigned capacity; bool inPlace; unsigned capacityAfter; } cases[] = {{6, true, 6}, {5, false, 6}};
    for (const Case& c : cases) {
        CString s;
        s.Allocate(c.capacity - 1);
        s.Assign(L"ab");
        ASSERT_EQ(s.Capacity(), c.capacity);
        const wchar_t* before = s.Buffer();
        s.Append(L"cde");
        EXPECT_STREQ(s.Text(), L"abcde");
        EXPECT_EQ(s.Length(), 5u);
        EXPECT_EQ(s.Capacity(), c.capacityAfter) << "capacity " << c.capacity;
        EXPECT_EQ(s.Buffer() == before, c.inPlace) << "capacity " << c.capacity;
    }
    CString s(L"xyz");  // its own text survives the reallocation
    s.Append(s.Text());
    s.Format(nullptr);
    EXPECT_STREQ(s.Text(), L"xyzxyz");
    EXPECT_EQ(wcsncmp(s.Allocate(10), L"xyzxyz", 7), 0);
    EXPECT_EQ(s.Capacity(), 11u);
    EXPECT_EQ(s.Length(), 10u);
    s.SetLength(-1);
    EXPECT_EQ(s.Length(), 6u);
    s.SetLength(2);
    EXPECT_STREQ(s.Text(), L"xy");
    EXPECT_EQ(s.Capacity(), 11u);
}

// Counted texts keep embedded zeros.
TEST(CStringTest, EightBitTextGoesThroughWindows1250)
{
    struct Case { const char* bytes; const wchar_t* expected; } cases[] = {
        {"\x8A\x9A\x41", L"\x0160\x0161\x0041"},
        {"\x80\x81\x83\x88\x90\x98", L"\xFFFE\xFFFE\xFFFE\xFFFE\xFFFE\xFFFE"},
        {"\xA3\xB9\xEA\xFF", L"\x0141\x0105\x0119\x02D9"},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(CString(c.bytes).Text(), c.expected) << c.bytes;
    CString wide, narrow;
    wide.Assign(L"a\0b", 3);
    narrow.Assign("a\0\x8A", 3);
    EXPECT_EQ(std::wstring(wide.Buffer(), wide.Length()), std::wstring(L"a\0b", 3));
    EXPECT_EQ(std::wstring(narrow.Buffer(), narrow.Length() + 1), std::wstring(L"a\0\x0160", 4));  // and its terminator
}

} // namespace
