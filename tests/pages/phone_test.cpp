// "Phone settings": what the page shows for a stored "PhoneSettings" and what OK or Cancel leave.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "resources/resource.h"
#include "support/sheetdriver.h"

namespace {

const int kButtons[] = {IDC_ASK_BEFORE_DIALING, IDC_ALL_CALLS, IDC_TRAVEL_CALLS, IDC_CUSTOM_DIALER};  // ask, all calls, travel calls, customised dialer
enum { kAsk = 1, kAll = 2, kTravel = 4, kCustom = 8 };  // checked buttons, as bits

TEST(PhoneSettings, ShowsTheStoredBitsAndWritesWhatTheUserLeaves)
{
    const struct Case {
        const char* name;
        bool stored;
        DWORD value;
        std::vector<int> clicks;  // indexes into kButtons
        int shown;  // after the clicks
        bool ok;
        DWORD written;
    } cases[] = {
        {"no value: the default", false, 0, {}, kAsk | kAll, true, 3},
        {"4", true, 4, {}, kTravel | kCustom, true, 4},
        {"0xFFFFFFFF: higher bits dropped", true, 0xFFFFFFFF, {}, kAsk | kAll | kCustom, true, 7},
        {"1", true, 1, {}, kAsk | kTravel, true, 1},
        {"user clears ask, picks travel", false, 0, {0, 2}, kTravel, true, 0},
        {"Cancel leaves the value", true, 4, {0}, kAsk | kTravel | kCustom, false, 4},
    };
    SheetDriver driver;
    ASSERT_TRUE(driver.Loaded());
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
        ASSERT_NE(driver.ShowPage(2), nullptr);
        EXPECT_FALSE(IsWindowEnabled(driver.Control(2, kButtons[3]))) << "the customised dialer can be changed";
        for (int i : c.clicks)
            driver.Click(driver.Control(2, kButtons[i]));
        EXPECT_TRUE(WaitUntil([&] { return checked() == c.shown; })) << "checked " << checked();
        ASSERT_TRUE(c.ok ? driver.PressOk() : driver.PressCancel());
        EXPECT_EQ(ShowValue(kConfigKey, L"PhoneSettings"), L"dword:" + std::to_wstring(c.written));
    }
    DeleteSetting(L"PhoneSettings");
}

} // namespace
