// The applet as a Control Panel host sees it: the built dialpass.cpl, loaded and asked.
#include <gtest/gtest.h>
#include <windows.h>
#include <cpl.h>

#include <cstring>
#include <utility>

#include "app/cplinfo.h"
#include "base/cstring.h"
#include "base/module.h"
#include "resources/resource.h"
#include "support/sheetdriver.h"
#include "support/testids.h"

namespace {

// Each message as a host sends it; the old inquiry's block is left untouched, the new one gets name,
// description, icon and data.
TEST(AppletTest, AnswersEveryMessageAsTheHostExpects)
{
    SheetDriver driver;
    auto applet = driver.applet;
    ASSERT_NE(applet, nullptr) << "dialpass.cpl did not load";
    // 0x7777 for every message without a case (CPL_SELECT, CPL_STOP, ...); CPL_STARTWPARMSW with a null
    // parameter, as Wine's and Windows' hosts send it.
    for (auto [message, expected] : {std::pair<UINT, LONG>{CPL_INIT, 1}, {CPL_GETCOUNT, 1}, {0x7777, 0}, {CPL_STARTWPARMSW, 0}})
        EXPECT_EQ(applet(nullptr, message, 0, 0), expected) << "message " << message;

    CPLINFO old;
    memset(&old, 0xAB, sizeof(old));
    CPLINFO before = old;
    EXPECT_EQ(applet(nullptr, CPL_INQUIRE, 0, reinterpret_cast<LPARAM>(&old)), 0);
    EXPECT_EQ(memcmp(&old, &before, sizeof(old)), 0);
    NEWCPLINFOW info;
    memset(&info, 0xCD, sizeof(info));
    EXPECT_EQ(applet(nullptr, CPL_NEWINQUIRE, 0, reinterpret_cast<LPARAM>(&info)), 0);
    EXPECT_EQ(info.dwSize, sizeof(NEWCPLINFOW));
    EXPECT_EQ(info.dwFlags, 0u);
    EXPECT_EQ(info.dwHelpContext, 0u);
    EXPECT_EQ(info.lData, 120);
    EXPECT_NE(info.hIcon, nullptr);
    EXPECT_STREQ(info.szName, L"Kestrova Dialpass");
    EXPECT_STREQ(info.szInfo, L"Settings of the Dialpass");
    EXPECT_STREQ(info.szHelpFile, L"");
}

// Names are cut to their fields. The product's texts are checked where the windows show them, but for
// one: Card settings shows it only when a sequence is edited without a current profile.
TEST(CplInfo, CutsLongNameAndDescriptionAndHoldsTheTextNoWindowTestMeets)
{
    NEWCPLINFOW info;
    FillNewCplInfo(info, moduleInstance, IDS_TEST_LONG_NAME, IDS_TEST_LONG_DESCRIPTION);
    EXPECT_EQ(lstrlenW(info.szName), 31) << info.szName;
    EXPECT_EQ(lstrlenW(info.szInfo), 63) << info.szInfo;
    EXPECT_EQ(wcsncmp(info.szName, L"Name with thirty-five characters", 31), 0);
    CString text;
    text.LoadResource(moduleInstance, IDS_NO_CARD_PROVIDER);
    EXPECT_STREQ(text.Text(), L"You should specify card provider in profile settings. ");
}

} // namespace
