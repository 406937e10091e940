// The product's texts, exactly as the dialer's users see them: those that no window test of this
// program meets (the others are checked where the windows show them).
#include <gtest/gtest.h>

#include "base/cstring.h"
#include "resources/resource.h"

namespace {

TEST(StringTableTest, HoldsTheTextsNoWindowTestMeets)
{
    struct Case { UINT id; const wchar_t* text; } cases[] = {
        {IDS_UPDATE_TERMINATED, L"Update tool terminated by user !"},
        {IDS_UPDATE_NOT_STARTED, L"Unable to start update service"},
        {IDS_UPDATE_FAILED, L"An error occured\n\nWould you like to see log file ?"},
        {IDS_UPDATE_DONE, L"Data were updated successfully"},
        {IDS_UPDATE_NOTHING_NEW, L"No new data available"},
        {IDS_NO_CARD_PROVIDER, L"You should specify card provider in profile settings. "},
    };
    for (const Case& c : cases) {
        CString text;
        text.LoadResource(GetModuleHandleW(nullptr), c.id);
        EXPECT_STREQ(text.Text(), c.text) << "string " << c.id;
    }
}

} // namespace
