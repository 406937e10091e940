// The applet as a Control Panel host sees it: the built dialpass.cpl, loaded and asked.
#include <gtest/gtest.h>
#include <windows.h>
#include <cpl.h>

#include <cstring>

#include "app/cplinfo.h"
#include "base/module.h"
#include "support/testids.h"

namespace {

class AppletTest : public testing::Test {
protected:
    void SetUp() override
    {
        library = LoadLibraryW(L"dialpass.cpl");
        ASSERT_NE(library, nullptr) << "LoadLibrary error " << GetLastError();
        applet = reinterpret_cast<APPLET_PROC>(reinterpret_cast<void*>(GetProcAddress(library, "CPlApplet")));
        ASSERT_NE(applet, nullptr);
    }
    void TearDown() override
    {
        if (library)
            FreeLibrary(library);
    }

    HMODULE library = nullptr;
    APPLET_PROC applet = nullptr;
};

TEST_F(AppletTest, AnswersEveryMessageAsTheHostExpects)
{
    struct Case {
        UINT message;
        LONG expected;
    } cases[] = {
        {CPL_INIT, 1}, {CPL_GETCOUNT, 1}, {CPL_SELECT, 0}, {CPL_STOP, 0}, {CPL_EXIT, 0},
        {CPL_STARTWPARMSW, 0},  // with a null parameter, as Wine's and Windows' hosts send it
        {CPL_SETUP, 0}, {0x7777, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(applet(nullptr, c.message, 0, 0), c.expected) << "message " << c.message;
}

TEST_F(AppletTest, LeavesTheOldInquiryBlockUntouched)
{
    CPLINFO info;
    memset(&info, 0xAB, sizeof(info));
    CPLINFO before = info;
    EXPECT_EQ(applet(nullptr, CPL_INQUIRE, 0, reinterpret_cast<LPARAM>(&info)), 0);
    EXPECT_EQ(memcmp(&info, &before, sizeof(info)), 0);
}

TEST_F(AppletTest, NewInquiryGivesNameDescriptionIconAndData)
{
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

TEST_F(AppletTest, OpeningAgainBringsTheOpenSheetToTheFront)
{
    // Stands in for an open sheet: a top-level dialog-class window with the applet's title.
    HWND sheet = CreateWindowExW(0, L"#32770", L"Dialpass 1.0", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                 nullptr, nullptr, nullptr, nullptr);
    HWND other = CreateWindowExW(0, L"#32770", L"Other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 200, 100,
                                 nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(sheet && other);
    SetForegroundWindow(other);
    ASSERT_EQ(GetForegroundWindow(), other);
    EXPECT_EQ(applet(nullptr, CPL_DBLCLK, 0, 120), 0);
    EXPECT_EQ(GetForegroundWindow(), sheet);
    DestroyWindow(other);
    DestroyWindow(sheet);
}

TEST(CplInfo, CutsLongNameAndDescription)
{
    NEWCPLINFOW info;
    FillNewCplInfo(info, moduleInstance, IDS_TEST_LONG_NAME, IDS_TEST_LONG_DESCRIPTION);
    EXPECT_EQ(lstrlenW(info.szName), 31) << info.szName;
    EXPECT_EQ(lstrlenW(info.szInfo), 63) << info.szInfo;
    EXPECT_EQ(wcsncmp(info.szName, L"Name with thirty-five characters", 31), 0);
}

} // namespace
