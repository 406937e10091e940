// The header strip of every page: picture shifted below its template place, title in the header font
// drawn transparently over the piece of picture behind it; on a 96-dpi and a 192-dpi screen.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "support/sheetdriver.h"

namespace {

// The face the font mapper really gives for font.
std::wstring RealisedFace(HFONT font)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    wchar_t face[LF_FACESIZE] = L"";
    GetTextFaceW(dc, LF_FACESIZE, face);
    SelectObject(dc, old);
    DeleteDC(dc);
    return face;
}

// What draw paints into a zeroed width x height 32-bit bitmap, top-down.
std::vector<DWORD> Drawn(int width, int height, const std::function<void(HDC)>& draw)
{
    BITMAPINFO format{};
    format.bmiHeader = {sizeof(format.bmiHeader), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP target = CreateDIBSection(dc, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, target);
    draw(dc);
    GdiFlush();
    std::vector<DWORD> pixels(static_cast<DWORD*>(bits), static_cast<DWORD*>(bits) + size_t(width) * height);
    SelectObject(dc, old);
    DeleteObject(target);
    DeleteDC(dc);
    for (DWORD& p : pixels)
        p &= 0xFFFFFF;
    return pixels;
}

// scale: 1 on a 96-dpi screen, 2 on a 192-dpi one.
void CheckHeaders(int scale)
{
    const struct {
        int tab, titleId;
        const wchar_t* title;
    } pages[] = {{0, IDC_GENERAL_TITLE, L"General"}, {1, IDC_PROVIDER_TITLE, L"Card settings"},
                 {2, IDC_PHONE_TITLE, L"Phone settings"}, {3, IDC_UPDATE_TITLE, L"Update"},
                 {4, IDC_ABOUT_TITLE, L"About"}};
    LOGFONTW tahoma{};
    tahoma.lfHeight = 18;
    lstrcpyW(tahoma.lfFaceName, L"Tahoma");
    HFONT plain = CreateFontIndirectW(&tahoma);
    SheetDriver driver;
    ASSERT_NE(driver.Open(), nullptr);
    for (const auto& p : pages) {
        SCOPED_TRACE(testing::Message() << "page " << p.tab);
        HWND page = driver.ShowPage(p.tab), image = GetDlgItem(page, IDC_HEADER_IMAGE), title = GetDlgItem(page, p.titleId);
        ASSERT_NE(page, nullptr);
        RECT at = RectIn(page, image);
        EXPECT_EQ(at.left, 0);
        EXPECT_EQ(at.top, scale) << "the picture is not shifted below its template place";
        BITMAP picture{};
        HGDIOBJ bitmap = reinterpret_cast<HGDIOBJ>(SendMessageW(image, STM_GETIMAGE, IMAGE_BITMAP, 0));
        ASSERT_EQ(GetObjectW(bitmap, sizeof(picture), &picture), int(sizeof(picture)));
        RECT client;
        GetClientRect(page, &client);
        EXPECT_EQ(picture.bmWidth, client.right) << "the strip does not span the page";
        EXPECT_EQ(picture.bmHeight, 30 * scale);

        EXPECT_EQ(WindowText(title), p.title);
        LOGFONTW font{};
        HGDIOBJ handle = reinterpret_cast<HGDIOBJ>(SendMessageW(title, WM_GETFONT, 0, 0));
        ASSERT_EQ(GetObjectW(handle, sizeof(font), &font), int(sizeof(font)));
        EXPECT_EQ(font.lfHeight, 18 * scale);
        EXPECT_EQ(font.lfWeight, 600);
        EXPECT_STREQ(font.lfFaceName, L"Tahoma");
        // Whatever face stands in for Tahoma here, the title must get it, not a fixed-pitch font.
        EXPECT_EQ(RealisedFace(HFONT(handle)), RealisedFace(plain)) << "character set " << int(font.lfCharSet);

        HDC dc = GetDC(title);
        SetBkMode(dc, OPAQUE);
        HBRUSH brush = reinterpret_cast<HBRUSH>(
            SendMessageW(page, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(title)));
        EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
        ReleaseDC(title, dc);
        ASSERT_NE(brush, nullptr);

        // The brush must be exactly the picture as it shows behind the title ...
        RECT place = RectIn(page, title), r;
        int w = place.right - place.left, h = place.bottom - place.top;
        std::vector<DWORD> painted = Drawn(w, h, [&](HDC to) {
            RECT all = {0, 0, w, h};
            FillRect(to, &all, brush);
        });
        EXPECT_TRUE(painted == Drawn(w, h, [&](HDC to) {
            HDC from = CreateCompatibleDC(nullptr);
            HGDIOBJ old = SelectObject(from, bitmap);
            BitBlt(to, 0, 0, w, h, from, place.left, place.top - at.top, SRCCOPY);
            SelectObject(from, old);
            DeleteDC(from);
        })) << "title background differs from the picture";

        // ... and on the screen the title's text stands over it, not hidden under it.
        RedrawWindow(page, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Sleep(100);
        GetWindowRect(title, &r);
        std::vector<DWORD> shown = Drawn(w, h, [&](HDC to) {
            HDC screen = GetDC(nullptr);
            BitBlt(to, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
            ReleaseDC(nullptr, screen);
        });
        int differing = 0;
        for (size_t i = 0; i < shown.size(); ++i)
            differing += shown[i] != painted[i];
        EXPECT_GT(differing, 20 * scale) << "no title text drawn over the picture";
    }
    EXPECT_TRUE(driver.PressCancel());
    DeleteObject(plain);
}

// Run by the next test in processes of their own, whose screens have 96 and 192 dpi.
TEST(HeaderStrip, DISABLED_PictureAndTitleOnThisScreen)
{
    DWORD asked = 0, size = sizeof(asked);
    RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", RRF_RT_REG_DWORD, nullptr, &asked, &size);
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    ASSERT_EQ(dpi, int(asked)) << "LogPixels did not reach this process";
    CheckHeaders(dpi / 96);
}

TEST(HeaderStrip, PictureAndTitleOnA96And192DpiScreen)
{
    for (DWORD dpi : {96u, 192u})
        EXPECT_EQ(RunAtDpi(dpi, L"--gtest_also_run_disabled_tests --gtest_filter=HeaderStrip.DISABLED_*"), 0u)
            << "the " << dpi << "-dpi run failed; its output is above";
}

} // namespace
