// The pages whose work comes with the database: their controls are all there, as the user sees them.
#include <gtest/gtest.h>
#include <windows.h>

#include "support/sheetdriver.h"

namespace {

struct Expected {
    int tab;
    int id;
    const wchar_t* className;
    const wchar_t* text;  // null: not compared
    bool visible;
};

const Expected kControls[] = {
    {0, 1001, L"Button", L"Enable", true},
    {0, 1002, L"Button", L"Disable", true},
    {0, 1004, L"ComboBox", nullptr, true},
    {0, 1007, L"Button", L"New...", true},
    {0, 1008, L"Button", L"Edit...", true},
    {0, 1009, L"Button", L"Delete", true},
    {1, 1052, L"Edit", L"", true},
    {1, 1008, L"ComboBox", nullptr, true},
    {1, 1053, L"Button", L"Detect", true},
    {1, 1018, L"Button", L"International calls", true},
    {1, 1019, L"Button", L"Local calls", true},
    {1, 1020, L"Button", L"Home calls", false},  // shown instead of Local calls abroad
    {3, 1017, L"Button", L"Check for updates", true},
};

TEST(PageControls, GeneralCardSettingsAndUpdateShowTheirControls)
{
    SheetDriver driver;
    ASSERT_TRUE(driver.Loaded());
    ASSERT_NE(driver.Open(), nullptr);
    for (const Expected& e : kControls) {
        SCOPED_TRACE(testing::Message() << "tab " << e.tab << ", control " << e.id);
        HWND page = driver.ShowPage(e.tab);
        ASSERT_NE(page, nullptr);
        HWND control = GetDlgItem(page, e.id);
        ASSERT_NE(control, nullptr);
        wchar_t name[32] = L"";
        GetClassNameW(control, name, 32);
        EXPECT_STREQ(name, e.className);
        if (e.text) {
            EXPECT_EQ(WindowText(control), e.text);
        }
        EXPECT_EQ(bool(IsWindowVisible(control)), e.visible);
    }
    // Same place for the two buttons that take turns.
    RECT local = RectIn(driver.Page(1), driver.Control(1, 1019));
    RECT home = RectIn(driver.Page(1), driver.Control(1, 1020));
    EXPECT_TRUE(EqualRect(&local, &home));
    EXPECT_TRUE(driver.PressCancel());
}

} // namespace
