// "Phone settings": what the page shows for a stored "PhoneSettings" and what OK or Cancel leave.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "resources/resource.h"
#include "support/sheetdriver.h"

namespace {

const int kButtons[] = {IDC_ASK_BEFORE_DIALING, IDC_ALL_CALLS, IDC_TRAVEL_CALLS, IDC_CUSTOM_DIALER};  // ask, all calls, travel calls, customised dialer
enum { kAsk = 1, kAll = 2, kTravel = 4, kCustom = 8 };  // checked buttons, as bits

// Every opening starts on General; OK with the page never shown (About shown instead) writes nothing,
// as that page got no apply.
TEST(PhoneSettings, ShowsTheStoredBitsAndWritesWhatTheUserLeaves)
{
    const struct Case {
        const char* name;
        bool stored;
        DWORD value;
        bool shown;  // else About is shown
        std::vector<int> clicks;  // indexes into kButtons
        int checked;  // after the clicks
        bool ok;
        const wchar_t* written;
    } cases[] = {
        {"no value: the default", false, 0, true, {}, kAsk | kAll, true, L"dword:3"},
        {"never shown, no value", false, 0, false, {}, 0, true, L"-"},
        {"0xFFFFFFFF: higher bits dropped", true, 0xFFFFFFFF, true, {}, kAsk | kAll | kCustom, true, L"dword:7"},
        {"1", true, 1, true, {}, kAsk | kTravel, true, L"dword:1"},
        {"user clears ask, picks travel", false, 0, true, {0, 2}, kTravel, true, L"dword:0"},
        {"Cancel leaves the value", true, 4, true, {0}, kAsk | kTravel | kCustom, false, L"dword:4"},
    };
    SheetDriver driver;
    auto checked = [&] {
        int bits = 0;
        for (int i = 0; i < 4; ++i)
            bits |= IsChecked(driver.Control(2, kButtons[i])) << i;
        return bits;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.stored)
            SetRegNumber(kConfigKey, L"PhoneSettings", c.value);
        else
            DeleteSetting(L"PhoneSettings");
        ASSERT_NE(driver.Open(), nullptr);
        EXPECT_EQ(SendMessageW(driver.Tab(), TCM_GETCURSEL, 0, 0), 0) << "the opening tab";
        if (c.shown) {
            ASSERT_NE(driver.ShowPage(2), nullptr);
            EXPECT_FALSE(IsWindowEnabled(driver.Control(2, kButtons[3]))) << "the customised dialer can be changed";
            for (int i : c.clicks)
                driver.Click(driver.Control(2, kButtons[i]));
            EXPECT_TRUE(WaitUntil([&] { return checked() == c.checked; })) << "checked " << checked();
        } else {
            ASSERT_NE(driver.ShowPage(4), nullptr);
            EXPECT_EQ(driver.Page(2), nullptr) << "Phone settings has a window without being shown";
        }
        ASSERT_TRUE(c.ok ? driver.PressOk() : driver.PressCancel());
        EXPECT_EQ(driver.result, 0) << "CPL_DBLCLK's result";
        EXPECT_EQ(ShowValue(kConfigKey, L"PhoneSettings"), c.written);
    }
    DeleteSetting(L"PhoneSettings");
}

} // namespace
