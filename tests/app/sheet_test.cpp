// The settings sheet as the user meets it: opened through CPL_DBLCLK of the built applet, with the
// controls of its pages (those whose work comes with the database, and About).
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "support/sheetdriver.h"

namespace {

// It opens on General with five titled tabs and only General's window; a second CPL_DBLCLK brings it
// forward. Filling the work area is checked on several screens with the pages' layout.
TEST(SheetTest, OpensOnGeneralAndEveryPageFillsTheTabsDisplayAreaWithItsControls)
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
    ASSERT_TRUE(driver.Loaded()) << "dialpass.cpl not loaded, error " << GetLastError();
    HWND sheet = driver.Open();
    ASSERT_NE(sheet, nullptr) << "no dialog window titled Dialpass 1.0 came up";
    EXPECT_EQ(driver.TabTitles(), (std::vector<std::wstring>{L"General", L"Card settings", L"Phone settings", L"Update", L"About"}));
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(driver.Page(i) != nullptr, i == 0) << "tab " << i << ": a window only for the first";
    EXPECT_EQ(driver.CurrentTab(), 0);
    EXPECT_NE(SendMessageW(driver.Control(0, IDC_HEADER_IMAGE), STM_GETIMAGE, IMAGE_BITMAP, 0), 0) << "no header picture";
    EXPECT_TRUE(driver.OpenAgainReturns(3000)) << "the second CPL_DBLCLK ran a sheet of its own";
    EXPECT_EQ(Windows(L"#32770", SheetDriver::kCaption).size(), 1u);
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == sheet; }, 2000));

    RECT client, area;
    EXPECT_EQ(GetMenu(sheet), nullptr) << "the empty menu bar is no menu on the desktop";
    EXPECT_EQ(GetDlgItem(sheet, 0x3024), nullptr) << "a Next button: the sheet became a wizard";
    GetClientRect(sheet, &client);
    RECT tab = RectIn(sheet, driver.Tab());
    EXPECT_GT(tab.bottom, client.bottom - 60) << "the tab control did not grow with the sheet";
    for (HWND button : {GetDlgItem(sheet, IDOK), GetDlgItem(sheet, IDCANCEL)}) {
        RECT r = RectIn(sheet, button);
        EXPECT_TRUE(IsWindowVisible(button)) << GetDlgCtrlID(button);
        EXPECT_GE(r.top, tab.bottom) << GetDlgCtrlID(button);
        EXPECT_LE(r.bottom, client.bottom) << GetDlgCtrlID(button);
    }
    GetClientRect(driver.Tab(), &area);
    SendMessageW(driver.Tab(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    MapWindowPoints(driver.Tab(), sheet, reinterpret_cast<POINT*>(&area), 2);
    for (int i = 0; i < 5; ++i) {
        HWND page = driver.ShowPage(i);
        ASSERT_NE(page, nullptr) << "page " << i;
        RECT r = RectIn(sheet, page);
        EXPECT_TRUE(EqualRect(&r, &area)) << "page " << i << " at " << r.left << "," << r.top << "-" << r.right
                                          << "," << r.bottom;
        for (const auto& e : controls) {
            if (e.tab != i)
                continue;
            SCOPED_TRACE(testing::Message() << "tab " << e.tab << ", control " << e.id);
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
