// The product's texts are checked where the windows show them; this one no window test meets, since
// the Card settings page shows it only when a sequence is edited without a current profile.
#include <gtest/gtest.h>

#include "base/cstring.h"
#include "resources/resource.h"

namespace {

TEST(StringTableTest, HoldsTheTextNoWindowTestMeets)
{
    CString text;
    text.LoadResource(GetModuleHandleW(nullptr), IDS_NO_CARD_PROVIDER);
    EXPECT_STREQ(text.Text(), L"You should specify card provider in profile settings. ");
}

} // namespace
