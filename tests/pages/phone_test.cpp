// "Phone settings": what the page shows for a stored "PhoneSettings" and what OK writes back.
#include <gtest/gtest.h>
#include <windows.h>

#include "support/sheetdriver.h"

namespace {

const int kPhoneTab = 2;
enum { kAsk = 1023, kAllCalls = 1024, kTravelCalls = 1051, kCustomDialer = 1026 };

class PhoneSettingsTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(driver.Loaded());
        DeleteSetting(L"PhoneSettings");
    }
    void TearDown() override { DeleteSetting(L"PhoneSettings"); }

    HWND Button(int id) const { return driver.Control(kPhoneTab, id); }
    SheetDriver driver;
};

TEST_F(PhoneSettingsTest, ShowsTheStoredBitsAndOkWritesThemBack)
{
    struct Case {
        bool stored;
        DWORD value;
        bool ask, all, travel, custom;
        DWORD written;
    } cases[] = {
        {false, 0, true, true, false, false, 3},  // no value: the default
        {true, 4, false, false, true, true, 4},
        {true, 0xFFFFFFFF, true, true, false, true, 7},  // higher bits dropped
        {true, 0, false, false, true, false, 0},
        {true, 1, true, false, true, false, 1},
        {true, 2, false, true, false, false, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "stored " << (c.stored ? "" : "nothing, ") << std::hex << c.value);
        if (c.stored)
            WriteSetting(L"PhoneSettings", c.value);
        else
            DeleteSetting(L"PhoneSettings");
        ASSERT_NE(driver.Open(), nullptr);
        ASSERT_NE(driver.ShowPage(kPhoneTab), nullptr);
        EXPECT_EQ(IsChecked(Button(kAsk)), c.ask);
        EXPECT_EQ(IsChecked(Button(kAllCalls)), c.all);
        EXPECT_EQ(IsChecked(Button(kTravelCalls)), c.travel);
        EXPECT_EQ(IsChecked(Button(kCustomDialer)), c.custom);
        EXPECT_FALSE(IsWindowEnabled(Button(kCustomDialer))) << "the customised dialer can be changed";
        ASSERT_TRUE(driver.PressOk());
        DWORD value = 0xDEAD;
        EXPECT_TRUE(ReadSetting(L"PhoneSettings", value)) << "nothing written";
        EXPECT_EQ(value, c.written);
    }
}

TEST_F(PhoneSettingsTest, OkWritesWhatTheUserChose)
{
    ASSERT_NE(driver.Open(), nullptr);
    ASSERT_NE(driver.ShowPage(kPhoneTab), nullptr);
    driver.Click(Button(kAsk));
    driver.Click(Button(kTravelCalls));
    ASSERT_TRUE(WaitUntil([&] { return !IsChecked(Button(kAsk)) && IsChecked(Button(kTravelCalls)); }));
    EXPECT_FALSE(IsChecked(Button(kAllCalls))) << "the radio buttons are not a group";
    ASSERT_TRUE(driver.PressOk());
    DWORD value = 0xDEAD;
    EXPECT_TRUE(ReadSetting(L"PhoneSettings", value));
    EXPECT_EQ(value, 0u);
}

TEST_F(PhoneSettingsTest, CancelLeavesTheStoredValue)
{
    WriteSetting(L"PhoneSettings", 4);
    ASSERT_NE(driver.Open(), nullptr);
    ASSERT_NE(driver.ShowPage(kPhoneTab), nullptr);
    driver.Click(Button(kAsk));
    ASSERT_TRUE(WaitUntil([&] { return IsChecked(Button(kAsk)); }));
    ASSERT_TRUE(driver.PressCancel());
    DWORD value = 0;
    EXPECT_TRUE(ReadSetting(L"PhoneSettings", value));
    EXPECT_EQ(value, 4u);
}

TEST_F(PhoneSettingsTest, OkWithoutOpeningThePageWritesNothing)
{
    for (bool stored : {false, true}) {
        SCOPED_TRACE(stored ? "value 0xFFFFFFFF stored" : "no value stored");
        if (stored)
            WriteSetting(L"PhoneSettings", 0xFFFFFFFF);
        ASSERT_NE(driver.Open(), nullptr);
        ASSERT_TRUE(driver.PressOk());
        DWORD value = 0;
        EXPECT_EQ(ReadSetting(L"PhoneSettings", value), stored);
        if (stored) {
            EXPECT_EQ(value, 0xFFFFFFFFu);
        }
    }
}

} // namespace
