// The desktop stand-ins for the Pocket PC shell: menu bar, dialog set-up, input panel, GIF images.
#include <gtest/gtest.h>
#include <windows.h>

#include "base/module.h"
#include "platform/shell.h"

namespace {

// The menu bar gives the soft keys of its menu or no menu (the keys themselves end the dialogs of the
// keyboard test); the dialog set-up sizes only when asked and asks for the input panel down (filling the
// work area is the dialogs' fit test).
TEST(ShellWindow, MenuBarSoftKeysAndFullScreenSetUp)
{
    HWND window = CreateWindowExW(0, L"STATIC", L"shell test", WS_OVERLAPPEDWINDOW, 10, 10, 100, 80, nullptr, nullptr,
                                  nullptr, nullptr);
    const struct { const char* name; DWORD size, flags; UINT menu; BOOL ok; bool hasMenu; } cases[] = {
        {"no such menu", sizeof(SHMENUBARINFO), 0, 4321, FALSE, false},
        {"short record", 8, 0, 132, FALSE, false},
        {"empty bar", sizeof(SHMENUBARINFO), SHCMBF_EMPTYBAR, 132, TRUE, false},
        {"menu 132", sizeof(SHMENUBARINFO), 0, 132, TRUE, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SHMENUBARINFO bar{};
        bar.cbSize = c.size;
        bar.hwndParent = window;
        bar.dwFlags = c.flags;
        bar.nToolBarId = c.menu;
        bar.hInstRes = moduleInstance;
        EXPECT_EQ(SHCreateMenuBar(&bar), c.ok);
        EXPECT_EQ(GetMenu(window) != nullptr, c.hasMenu);
        EXPECT_EQ(bar.hwndMB, c.hasMenu ? window : nullptr);
    }

    SHSipPreference(nullptr, SIP_UNCHANGED);
    RECT before, r;
    GetWindowRect(window, &before);
    SHINITDLGINFO info{SHIDIM_FLAGS, window, SHIDIF_DONEBUTTON};
    EXPECT_TRUE(SHInitDialog(&info));
    GetWindowRect(window, &r);
    EXPECT_TRUE(EqualRect(&r, &before)) << "resized without a sizing flag";
    EXPECT_EQ(LastSipPreference(), SIP_UNCHANGED);

    info.dwFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN;
    EXPECT_TRUE(SHInitDialog(&info));
    HWND asking = nullptr;
    EXPECT_EQ(LastSipPreference(&asking), SIP_DOWN);
    EXPECT_EQ(asking, window);
    DestroyWindow(window);
}

TEST(ShellImages, GifResourcesBecome32BitBitmapsOfTheirOwn)
{
    // resource, its bitmap's width and height (0: no bitmap); 135 is a BITMAP, not a GIF
    const struct { UINT id; LONG width, height; } cases[] = {{10000, 720, 90}, {10001, 0, 0}, {135, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "resource " << c.id);
        HBITMAP first = SHLoadImageResource(moduleInstance, c.id), second = SHLoadImageResource(moduleInstance, c.id);
        ASSERT_EQ(first != nullptr, c.width != 0);
        if (!first)
            continue;
        BITMAP a{}, b{};
        ASSERT_EQ(GetObjectW(first, sizeof(a), &a), int(sizeof(a)));
        EXPECT_EQ(a.bmWidth, c.width);
        EXPECT_EQ(a.bmHeight, c.height);
        EXPECT_EQ(a.bmBitsPixel, 32);
        ASSERT_NE(a.bmBits, nullptr) << "not a DIB section";
        // Every load gives a bitmap of its own: one page deleting its picture must not take the other's.
        DeleteObject(first);
        ASSERT_EQ(GetObjectW(second, sizeof(b), &b), int(sizeof(b)));
        EXPECT_EQ(b.bmWidthBytes * b.bmHeight, a.bmWidthBytes * a.bmHeight);
        DeleteObject(second);
    }
}

} // namespace
