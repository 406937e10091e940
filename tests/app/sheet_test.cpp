// The settings sheet as the user meets it: opened through CPL_DBLCLK of the built applet.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include "support/sheetdriver.h"

namespace {

const wchar_t* const kTabTitles[] = {L"General", L"Card settings", L"Phone settings", L"Update", L"About"};

class SheetTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(driver.Loaded()) << "dialpass.cpl not loaded, error " << GetLastError();
        DeleteSetting(L"PhoneSettings");
    }
    SheetDriver driver;
};

TEST_F(SheetTest, OpensOnGeneralWithFiveTitledTabs)
{
    HWND sheet = driver.Open();
    ASSERT_NE(sheet, nullptr) << "no dialog window titled Dialpass 1.0 came up";
    EXPECT_EQ(WindowText(sheet), L"Dialpass 1.0");
    ASSERT_EQ(driver.TabCount(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(driver.TabTitle(i), kTabTitles[i]) << "tab " << i;
    EXPECT_EQ(driver.CurrentTab(), 0);
    EXPECT_NE(driver.Page(0), nullptr);
    for (int i = 1; i < 5; ++i)
        EXPECT_EQ(driver.Page(i), nullptr) << "tab " << i << " has a window before it was shown";
    EXPECT_TRUE(driver.PressCancel());
    EXPECT_EQ(driver.result, 0) << "CPL_DBLCLK's result";
}

TEST_F(SheetTest, FillsTheWorkAreaWithoutMenuAndKeepsItsButtonsInside)
{
    HWND sheet = driver.Open();
    ASSERT_NE(sheet, nullptr);
    RECT work, window, client;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(sheet, &window);
    EXPECT_EQ(window.left, work.left);
    EXPECT_EQ(window.top, work.top);
    EXPECT_EQ(window.right, work.right);
    EXPECT_EQ(window.bottom, work.bottom);
    EXPECT_EQ(GetMenu(sheet), nullptr) << "the empty menu bar is no menu on the desktop";
    EXPECT_EQ(GetDlgItem(sheet, 0x3024), nullptr) << "a Next button: the sheet became a wizard";

    GetClientRect(sheet, &client);
    RECT tab = RectIn(sheet, driver.Tab());
    for (int id : {IDOK, IDCANCEL}) {
        HWND button = GetDlgItem(sheet, id);
        ASSERT_NE(button, nullptr) << "button " << id;
        EXPECT_TRUE(IsWindowVisible(button)) << "button " << id;
        RECT r = RectIn(sheet, button);
        EXPECT_LE(r.bottom, client.bottom) << "button " << id;
        EXPECT_GT(r.bottom, client.bottom - 20) << "button " << id << " left behind in the middle";
        EXPECT_GE(r.top, tab.bottom) << "button " << id << " over the tab control";
    }
    EXPECT_GT(tab.bottom, client.bottom - 60) << "the tab control did not grow with the sheet";
}

TEST_F(SheetTest, EveryPageFillsTheTabDisplayArea)
{
    HWND sheet = driver.Open();
    ASSERT_NE(sheet, nullptr);
    RECT area;
    GetClientRect(driver.Tab(), &area);
    SendMessageW(driver.Tab(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    MapWindowPoints(driver.Tab(), sheet, reinterpret_cast<POINT*>(&area), 2);
    for (int i = 0; i < 5; ++i) {
        HWND page = driver.ShowPage(i);
        ASSERT_NE(page, nullptr) << "page " << i;
        RECT r = RectIn(sheet, page);
        EXPECT_TRUE(EqualRect(&r, &area)) << "page " << i << " at " << r.left << "," << r.top << "-" << r.right
                                          << "," << r.bottom << ", display area " << area.left << "," << area.top
                                          << "-" << area.right << "," << area.bottom;
    }
}

TEST_F(SheetTest, SecondOpenBringsTheSheetForwardInsteadOfAnother)
{
    HWND sheet = driver.Open();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(driver.OpenAgainReturns(3000)) << "the second CPL_DBLCLK ran a sheet of its own";
    EXPECT_EQ(CountWindows(L"#32770", SheetDriver::kCaption), 1);
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == sheet; }, 2000));
}

TEST_F(SheetTest, OpensAgainWithHeadersAfterClosing)
{
    for (int opening = 0; opening < 2; ++opening) {
        ASSERT_NE(driver.Open(), nullptr) << "opening " << opening;
        HWND image = driver.Control(0, 5040);
        EXPECT_NE(SendMessageW(image, STM_GETIMAGE, IMAGE_BITMAP, 0), 0) << "opening " << opening;
        EXPECT_EQ(WindowText(driver.Control(0, 5042)), L"General") << "opening " << opening;
        EXPECT_TRUE(driver.PressCancel()) << "opening " << opening;
    }
}

TEST_F(SheetTest, OkAppliesNoPageWhoseTabWasNeverOpened)
{
    WriteSetting(L"PhoneSettings", 0xFFFFFFFF);  // an applied Phone settings page would write 7
    ASSERT_NE(driver.Open(), nullptr);
    ASSERT_NE(driver.ShowPage(4), nullptr);
    EXPECT_EQ(driver.Page(2), nullptr) << "Phone settings has a window without being shown";
    EXPECT_TRUE(driver.PressOk());
    EXPECT_EQ(driver.result, 0);
    DWORD value = 0;
    EXPECT_TRUE(ReadSetting(L"PhoneSettings", value));
    EXPECT_EQ(value, 0xFFFFFFFFu);
}

} // namespace
