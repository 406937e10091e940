#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/propstr.h"
#include "resources/resource.h"

namespace {

std::vector<std::wstring> Fields(CPropertyString& list)
{
    std::vector<std::wstring> fields;
    for (int i = 0; i < list.Count(); ++i)
        fields.push_back(list.At(i).Text());
    return fields;
}

TEST(CPropertyStringTest, SplitsFieldsByTheirRulesAndKeepsWhatANewTextDoesNotReach)
{
    using Strings = std::vector<std::wstring>;
    struct Case { const wchar_t* text; Strings expected; } cases[] = {
        {L"", {L""}},
        {L"a;;b", {L"a", L"", L"b"}},
        {L";a", {L"", L"a"}},
        {L"a;", {L"a"}},
        {L"x#;y;z", {L"x;y", L"z"}},
        {L"x##;y", {L"x#", L"y"}},
        {L"a;\rb", {L"a"}},
        {L"a\r;b", {L"a\r", L"b"}},
        {L" blank ; kept ", {L" blank ", L" kept "}},
        {L"end#", {L"end"}},
    };
    for (const Case& c : cases) {
        CPropertyString list;
        EXPECT_EQ(list.SetText(c.text), 1);
        EXPECT_EQ(Fields(list), c.expected) << "text: " << testing::PrintToString(std::wstring(c.text));
    }
    // A shorter text overwrites only its own fields; a missing entry leaves the array as it was.
    CPropertyString list;
    list.SetText(L"one;two;three");
    list.SetText(L"x");
    EXPECT_EQ(Fields(list), (std::vector<std::wstring>{L"x", L"two", L"three"}));
    EXPECT_EQ(list.Load(GetModuleHandleW(nullptr), 59999), 0);
    EXPECT_EQ(Fields(list), (std::vector<std::wstring>{L"x", L"two", L"three"}));
    EXPECT_EQ(list.Load(nullptr, IDS_TAB_TITLES), 1);  // no module: the array is emptied
    EXPECT_EQ(list.Count(), 0);
}

} // namespace
