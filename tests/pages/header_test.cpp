// The header strip of every page: picture shifted below its template place, title in the header font
// drawn transparently over the piece of picture behind it; on a 96-dpi and a 192-dpi screen.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "support/sheetdriver.h"

namespace {

const struct {
    int tab;
    int titleId;
    const wchar_t* title;
} kPages[] = {
    {0, 5042, L"General"}, {1, 5043, L"Card settings"}, {2, 5045, L"Phone settings"}, {3, 5046, L"Update"},
    {4, 1053, L"About"},
};

int ScreenDpi()
{
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// The face the font mapper really gives for font; null: for a plain 18-pixel "Tahoma".
std::wstring RealisedFace(HFONT font)
{
    HFONT plain = nullptr;
    if (!font) {
        LOGFONTW tahoma{};
        tahoma.lfHeight = 18;
        lstrcpyW(tahoma.lfFaceName, L"Tahoma");
        font = plain = CreateFontIndirectW(&tahoma);
    }
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    wchar_t face[LF_FACESIZE] = L"";
    GetTextFaceW(dc, LF_FACESIZE, face);
    SelectObject(dc, old);
    DeleteDC(dc);
    if (plain)
        DeleteObject(plain);
    return face;
}

// Top-down 32-bit pixels of bitmap.
std::vector<DWORD> Pixels(HBITMAP bitmap, int& width, int& height)
{
    BITMAP info{};
    GetObjectW(bitmap, sizeof(info), &info);
    width = info.bmWidth;
    height = info.bmHeight;
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    std::vector<DWORD> pixels(size_t(width) * size_t(height));
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, UINT(height), pixels.data(), &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    for (DWORD& p : pixels)
        p &= 0xFFFFFF;
    return pixels;
}

// What brush paints over a width x height area whose origin is the title's.
std::vector<DWORD> Painted(HBRUSH brush, int width, int height)
{
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP target = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, target);
    RECT all = {0, 0, width, height};
    FillRect(dc, &all, brush);
    SelectObject(dc, old);
    DeleteDC(dc);
    int w, h;
    std::vector<DWORD> pixels = Pixels(target, w, h);
    DeleteObject(target);
    return pixels;
}

// What the screen shows where window is.
std::vector<DWORD> OnScreen(HWND window, int width, int height)
{
    RECT r;
    GetWindowRect(window, &r);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP copy = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(dc, copy);
    BitBlt(dc, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    int w, h;
    std::vector<DWORD> pixels = Pixels(copy, w, h);
    DeleteObject(copy);
    return pixels;
}

// scale: 1 on a 96-dpi screen, 2 on a 192-dpi one.
void CheckHeaders(int scale)
{
    SheetDriver driver;
    ASSERT_TRUE(driver.Loaded());
    ASSERT_NE(driver.Open(), nullptr);
    for (const auto& p : kPages) {
        SCOPED_TRACE(testing::Message() << "page " << p.tab);
        HWND page = driver.ShowPage(p.tab);
        ASSERT_NE(page, nullptr);
        HWND image = GetDlgItem(page, 5040);
        RECT at = RectIn(page, image);
        EXPECT_EQ(at.left, 0);
        EXPECT_EQ(at.top, scale) << "the picture is not shifted below its template place";
        HBITMAP picture = reinterpret_cast<HBITMAP>(SendMessageW(image, STM_GETIMAGE, IMAGE_BITMAP, 0));
        ASSERT_NE(picture, nullptr);
        int width = 0, height = 0;
        std::vector<DWORD> strip = Pixels(picture, width, height);
        EXPECT_EQ(width, 240 * scale);
        EXPECT_EQ(height, 30 * scale);

        HWND title = GetDlgItem(page, p.titleId);
        EXPECT_EQ(WindowText(title), p.title);
        LOGFONTW font{};
        HGDIOBJ handle = reinterpret_cast<HGDIOBJ>(SendMessageW(title, WM_GETFONT, 0, 0));
        ASSERT_EQ(GetObjectW(handle, sizeof(font), &font), int(sizeof(font)));
        EXPECT_EQ(font.lfHeight, 18 * scale);
        EXPECT_EQ(font.lfWeight, 600);
        EXPECT_STREQ(font.lfFaceName, L"Tahoma");
        // Whatever face stands in for Tahoma here (Wine without its own fonts has none), the title
        // must get it, not a fixed-pitch font.
        EXPECT_EQ(RealisedFace(reinterpret_cast<HFONT>(handle)), RealisedFace(nullptr))
            << "character set " << int(font.lfCharSet) << ", pitch and family " << int(font.lfPitchAndFamily);

        HDC dc = GetDC(title);
        SetBkMode(dc, OPAQUE);
        HBRUSH brush = reinterpret_cast<HBRUSH>(
            SendMessageW(page, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(title)));
        EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
        ReleaseDC(title, dc);
        ASSERT_NE(brush, nullptr);

        // The brush must be exactly the picture as it shows behind the title.
        RECT place = RectIn(page, title);
        int w = place.right - place.left, h = place.bottom - place.top;
        std::vector<DWORD> painted = Painted(brush, w, h);
        int mismatches = 0;
        std::string first;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int sx = place.left + x, sy = place.top - at.top + y;
                DWORD expected = (sx < width && sy < height) ? strip[size_t(sy) * width + sx] : 0;
                if (painted[size_t(y) * w + x] != expected && !mismatches++)
                    first = std::to_string(x) + "," + std::to_string(y);
            }
        EXPECT_EQ(mismatches, 0) << "title background differs from the picture, first at " << first;

        // On the screen the title's text stands over the picture, not hidden under it.
        RedrawWindow(page, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Sleep(100);
        std::vector<DWORD> shown = OnScreen(title, w, h);
        int text = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                text += shown[size_t(y) * w + x] != painted[size_t(y) * w + x];
        EXPECT_GT(text, 20 * scale) << "no title text drawn over the picture";
    }
    EXPECT_TRUE(driver.PressCancel());
}

TEST(HeaderStrip, PictureAndTitleOnA96DpiScreen)
{
    if (ScreenDpi() != 96)
        GTEST_SKIP() << "screen at " << ScreenDpi() << " dpi";
    CheckHeaders(1);
}

// Run by the next test in a process of its own, started while Wine's LogPixels says 192.
TEST(HeaderStrip, DISABLED_PictureAndTitleOnThisHighResolutionScreen)
{
    ASSERT_EQ(ScreenDpi(), 192) << "LogPixels did not reach this process";
    CheckHeaders(2);
}

class LogPixels {
public:
    explicit LogPixels(DWORD dpi)
    {
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                        &key, nullptr);
        DWORD size = sizeof(old);
        hadOld = RegQueryValueExW(key, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&old), &size) == 0;
        RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi));
    }
    ~LogPixels()
    {
        if (hadOld)
            RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old), sizeof(old));
        else
            RegDeleteValueW(key, L"LogPixels");
        RegCloseKey(key);
    }

private:
    HKEY key = nullptr;
    DWORD old = 0;
    bool hadOld = false;
};

TEST(HeaderStrip, PictureAndTitleOnA192DpiScreen)
{
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring command = std::wstring(L"\"") + program +
                           L"\" --gtest_also_run_disabled_tests"
                           L" --gtest_filter=HeaderStrip.DISABLED_PictureAndTitleOnThisHighResolutionScreen";
    DWORD exitCode = 99;
    {
        LogPixels dpi(192);  // Wine reads it when a process starts
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                   &process))
            << "error " << GetLastError();
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 50000), WAIT_OBJECT_0);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    EXPECT_EQ(exitCode, 0u) << "the 192-dpi run failed; its output is above";
}

} // namespace
