// The settings sheet as the user meets it: opened through CPL_DBLCLK of the built applet.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "support/sheetdriver.h"

namespace {

// Filling the work area is checked on several screens with the pages' layout.
TEST(SheetTest, HasNoMenuAndEveryPageFillsTheTabsDisplayArea)
{
    SheetDriver driver;
    HWND sheet = driver.Open();
    ASSERT_NE(sheet, nullptr);
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
    }
}

TEST(SheetTest, SecondOpenBringsTheSheetForwardInsteadOfAnother)
{
    SheetDriver driver;
    HWND sheet = driver.Open();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(driver.OpenAgainReturns(3000)) << "the second CPL_DBLCLK ran a sheet of its own";
    EXPECT_EQ(Windows(L"#32770", SheetDriver::kCaption).size(), 1u);
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == sheet; }, 2000));
}

// At every opening the sheet shows General with five titled tabs; OK with Phone settings never shown
// (About shown instead) writes nothing, as that page got no apply.
TEST(SheetTest, OpensOnGeneralAndOkAppliesNoPageWhoseTabWasNeverOpened)
{
    const std::vector<std::wstring> titles = {L"General", L"Card settings", L"Phone settings", L"Update", L"About"};
    SheetDriver driver;
    ASSERT_TRUE(driver.Loaded()) << "dialpass.cpl not loaded, error " << GetLastError();
    DeleteSetting(L"PhoneSettings");
    for (bool stored : {false, true}) {
        SCOPED_TRACE(stored ? "0xFFFFFFFF stored" : "no value stored");
        if (stored)
            SetRegNumber(kConfigKey, L"PhoneSettings", 0xFFFFFFFF);  // an applied page would write 7
        ASSERT_NE(driver.Open(), nullptr) << "no dialog window titled Dialpass 1.0 came up";
        EXPECT_EQ(driver.TabTitles(), titles);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(driver.Page(i) != nullptr, i == 0) << "tab " << i << ": a window only for the first";
        EXPECT_EQ(driver.CurrentTab(), 0);
        EXPECT_NE(SendMessageW(driver.Control(0, IDC_HEADER_IMAGE), STM_GETIMAGE, IMAGE_BITMAP, 0), 0) << "no header picture";
        ASSERT_NE(driver.ShowPage(4), nullptr);
        EXPECT_EQ(driver.Page(2), nullptr) << "Phone settings has a window without being shown";
        EXPECT_TRUE(driver.PressOk());
        EXPECT_EQ(driver.result, 0) << "CPL_DBLCLK's result";
        EXPECT_EQ(ShowValue(kConfigKey, L"PhoneSettings"), stored ? L"dword:4294967295" : L"-");
    }
    DeleteSetting(L"PhoneSettings");
}

} // namespace
