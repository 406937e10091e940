// The desktop stand-ins for the Pocket PC shell: menu bar, dialog set-up, input panel, GIF images.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "base/module.h"
#include "platform/shell.h"

namespace {

class ShellWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        window = CreateWindowExW(0, L"STATIC", L"shell test", WS_OVERLAPPEDWINDOW, 10, 10, 100, 80, nullptr,
                                 nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override { DestroyWindow(window); }
    HWND window = nullptr;
};

TEST_F(ShellWindowTest, MenuBarGivesTheSoftKeysAsMenuItemsSendingOkAndCancel)
{
    SHMENUBARINFO bar{};
    bar.cbSize = sizeof(bar);
    bar.hwndParent = window;
    bar.nToolBarId = 132;
    bar.hInstRes = moduleInstance;
    ASSERT_TRUE(SHCreateMenuBar(&bar));
    EXPECT_EQ(bar.hwndMB, window);
    HMENU menu = GetMenu(window);
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 2);
    const struct {
        UINT id;
        const wchar_t* text;
    } keys[] = {{IDOK, L"OK"}, {IDCANCEL, L"Cancel"}};
    for (int i = 0; i < 2; ++i) {
        wchar_t text[32] = L"";
        GetMenuStringW(menu, UINT(i), text, 32, MF_BYPOSITION);
        EXPECT_EQ(GetMenuItemID(menu, i), keys[i].id) << "item " << i;
        EXPECT_STREQ(text, keys[i].text) << "item " << i;
    }
}

TEST_F(ShellWindowTest, EmptyMenuBarIsNoMenu)
{
    SHMENUBARINFO bar{};
    bar.cbSize = sizeof(bar);
    bar.hwndParent = window;
    bar.dwFlags = SHCMBF_EMPTYBAR;
    bar.hInstRes = moduleInstance;
    EXPECT_TRUE(SHCreateMenuBar(&bar));
    EXPECT_EQ(bar.hwndMB, nullptr);
    EXPECT_EQ(GetMenu(window), nullptr);
}

TEST_F(ShellWindowTest, MenuBarFailsForBadRecordsAndMissingMenus)
{
    SHMENUBARINFO bar{};
    bar.cbSize = sizeof(bar);
    bar.hwndParent = window;
    bar.hInstRes = moduleInstance;
    bar.nToolBarId = 4321;  // no such menu
    EXPECT_FALSE(SHCreateMenuBar(&bar));
    bar.nToolBarId = 132;
    bar.cbSize = 8;
    EXPECT_FALSE(SHCreateMenuBar(&bar));
    EXPECT_FALSE(SHCreateMenuBar(nullptr));
    EXPECT_EQ(GetMenu(window), nullptr);
}

TEST_F(ShellWindowTest, FullScreenSetUpFillsTheWorkAreaAndAsksForNoInputPanel)
{
    SHSipPreference(nullptr, SIP_UNCHANGED);
    RECT work, before, r;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(window, &before);

    SHINITDLGINFO info{SHIDIM_FLAGS, window, SHIDIF_DONEBUTTON};
    EXPECT_TRUE(SHInitDialog(&info));
    GetWindowRect(window, &r);
    EXPECT_TRUE(EqualRect(&r, &before)) << "resized without a sizing flag";
    EXPECT_EQ(LastSipPreference(), SIP_UNCHANGED);

    info.dwFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN;
    EXPECT_TRUE(SHInitDialog(&info));
    GetWindowRect(window, &r);
    EXPECT_TRUE(EqualRect(&r, &work)) << r.left << "," << r.top << "-" << r.right << "," << r.bottom;
    HWND asking = nullptr;
    EXPECT_EQ(LastSipPreference(&asking), SIP_DOWN);
    EXPECT_EQ(asking, window);
}

TEST(ShellImages, GifResourcesBecome32BitBitmaps)
{
    const struct {
        UINT id;
        LONG width, height;
    } cases[] = {{10000, 240, 30}, {11000, 480, 60}};
    for (const auto& c : cases) {
        HBITMAP bitmap = SHLoadImageResource(moduleInstance, c.id);
        ASSERT_NE(bitmap, nullptr) << "GIF " << c.id;
        BITMAP info{};
        ASSERT_EQ(GetObjectW(bitmap, sizeof(info), &info), int(sizeof(info)));
        EXPECT_EQ(info.bmWidth, c.width) << "GIF " << c.id;
        EXPECT_EQ(info.bmHeight, c.height) << "GIF " << c.id;
        EXPECT_EQ(info.bmBitsPixel, 32) << "GIF " << c.id;
        EXPECT_NE(info.bmBits, nullptr) << "not a DIB section";
        DeleteObject(bitmap);
    }
}

TEST(ShellImages, EveryLoadGivesABitmapOfItsOwnWithTheSamePicture)
{
    HBITMAP first = SHLoadImageResource(moduleInstance, 10000);
    HBITMAP second = SHLoadImageResource(moduleInstance, 10000);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second) << "one page deleting its picture would take the other's";
    BITMAP a{}, b{};
    GetObjectW(first, sizeof(a), &a);
    GetObjectW(second, sizeof(b), &b);
    ASSERT_EQ(a.bmWidthBytes * a.bmHeight, b.bmWidthBytes * b.bmHeight);
    EXPECT_EQ(memcmp(a.bmBits, b.bmBits, size_t(a.bmWidthBytes) * size_t(a.bmHeight)), 0);
    DeleteObject(first);
    EXPECT_EQ(GetObjectW(second, sizeof(b), &b), int(sizeof(b)));
    DeleteObject(second);
}

TEST(ShellImages, MissingOrUndecodableResourceGivesNoBitmap)
{
    EXPECT_EQ(SHLoadImageResource(moduleInstance, 10001), nullptr);
    EXPECT_EQ(SHLoadImageResource(moduleInstance, 135), nullptr) << "135 is a BITMAP, not a GIF";
}

} // namespace
