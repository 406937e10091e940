// The controls of the pages as the user sees them: those whose work comes with the database, and About.
#include <gtest/gtest.h>
#include <windows.h>

#include "resources/resource.h"
#include "support/sheetdriver.h"

namespace {

TEST(PageControls, EveryPageShowsItsControlsAndTexts)
{
    const struct {
        int tab, id;
        const wchar_t* className;
        const wchar_t* text;  // null: not compared
        bool visible;
    } controls[] = {
        {0, IDC_ENABLE, L"Button", L"Enable", true},
        {0, IDC_PROFILES, L"ComboBox", nullptr, true},
        {0, IDC_DELETE_PROFILE, L"Button", L"Delete", true},
        {1, IDC_CARD_PROVIDER, L"Edit", L"", true},
        {1, IDC_LOCATIONS, L"ComboBox", nullptr, true},
        {1, IDC_DETECT, L"Button", L"Detect", true},
        {1, IDC_LOCAL_CALLS, L"Button", L"Local calls", true},
        {1, IDC_HOME_CALLS, L"Button", L"Home calls", false},  // shown instead of Local calls abroad
        {3, IDC_CHECK_UPDATES, L"Button", L"Check for updates", true},
        {4, IDC_PRODUCT_NAME, L"Static", L"Kestrova Dialpass for Pocket PC", true},
        {4, IDC_VERSION, L"Static", L"Dialpass 1.0", true},  // the version: the application's title
        {4, IDC_BUILD, L"Static", L"0701311", true},
    };
    SheetDriver driver;
    ASSERT_NE(driver.Open(), nullptr);
    for (const auto& e : controls) {
        SCOPED_TRACE(testing::Message() << "tab " << e.tab << ", control " << e.id);
        HWND control = GetDlgItem(driver.ShowPage(e.tab), e.id);
        ASSERT_NE(control, nullptr);
        wchar_t name[32] = L"";
        GetClassNameW(control, name, 32);
        EXPECT_STREQ(name, e.className);
        if (e.text) {
            EXPECT_EQ(WindowText(control), e.text);
        }
        EXPECT_EQ(bool(IsWindowVisible(control)), e.visible);
    }
    // About's product picture: the bitmap static without an id.
    HWND picture = nullptr;
    for (HWND c = GetWindow(driver.Page(4), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if ((GetDlgCtrlID(c) & 0xFFFF) == 0xFFFF && (GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP)
            picture = c;
    BITMAP bitmap{};
    HGDIOBJ image = reinterpret_cast<HGDIOBJ>(SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_EQ(GetObjectW(image, sizeof(bitmap), &bitmap), int(sizeof(bitmap)));
    EXPECT_EQ(bitmap.bmWidth, 150);
    EXPECT_EQ(bitmap.bmHeight, 40);
    EXPECT_TRUE(driver.PressCancel());
}

} // namespace
