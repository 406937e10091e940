// The settings sheet as the user meets it, opened through CPL_DBLCLK of the built applet on screens
// of 96 to 288 dpi: its tabs, its pages' places and controls, and each page's header strip drawn for the
// DPI; the header built again for high contrast and for a new DPI while the sheet is open.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <cpl.h>

#include <functional>
#include <vector>

#include "platform/display.h"
#include "resources/resource.h"
#include "support/sheetdriver.h"

namespace {

const int kTitleIds[] = {IDC_GENERAL_TITLE, IDC_PROVIDER_TITLE, IDC_PHONE_TITLE, IDC_UPDATE_TITLE, IDC_ABOUT_TITLE};

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

// The picture a bitmap static shows (zeroed: none).
BITMAP PictureOf(HWND picture)
{
    BITMAP bitmap{};
    GetObjectW(HGDIOBJ(SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0)), sizeof(bitmap), &bitmap);
    return bitmap;
}

// What the screen shows of window's client area once page is painted anew, children included.
std::vector<DWORD> Shown(HWND page, HWND window)
{
    RedrawWindow(page, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(100);
    RECT r;
    GetClientRect(window, &r);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return Drawn(r.right - r.left, r.bottom - r.top, [&](HDC to) {
        HDC screen = GetDC(nullptr);
        BitBlt(to, 0, 0, r.right - r.left, r.bottom - r.top, screen, r.left, r.top, SRCCOPY);
        ReleaseDC(nullptr, screen);
    });
}

// It opens on General with five tabs titled as the pages and only General's window; a second
// CPL_DBLCLK brings it forward. The pages' own drawing scales with the DPI.
void CheckSheet(int dpi)
{
    auto scaled = [dpi](int length) { return MulDiv(length, dpi, 96); };
    const std::vector<std::wstring> titles{L"General", L"Card settings", L"Phone settings", L"Update", L"About"};
    const struct {
        int tab, id;
        const wchar_t* className;
        const wchar_t* text;  // null: not compared
        bool visible;
    } controls[] = {
        {0, IDC_ENABLE, L"Button", L"&Enable", true},
        {0, IDC_PROFILES, L"ComboBox", nullptr, true},
        {0, IDC_DELETE_PROFILE, L"Button", L"De&lete", true},
        {1, IDC_CARD_PROVIDER, L"Edit", L"", true},
        {1, IDC_LOCATIONS, L"ComboBox", nullptr, true},
        {1, IDC_DETECT, L"Button", L"De&tect", true},
        {1, IDC_LOCAL_CALLS, L"Button", L"Lo&cal calls", true},
        {1, IDC_HOME_CALLS, L"Button", L"&Home calls", false},  // shown instead of Local calls abroad
        {3, IDC_CHECK_UPDATES, L"Button", L"Check for &updates", true},
        {4, IDC_PRODUCT_NAME, L"Static", L"Kestrova Dialpass for Pocket PC", true},
        {4, IDC_VERSION, L"Static", L"Dialpass 1.0", true},  // the version: the application's title
        {4, IDC_BUILD, L"Static", L"0701311", true},
    };
    LOGFONTW tahoma{};
    tahoma.lfHeight = 18;
    lstrcpyW(tahoma.lfFaceName, L"Tahoma");
    HFONT plain = CreateFontIndirectW(&tahoma);
    SheetDriver driver;
    HWND sheet = driver.Open();
    ASSERT_NE(sheet, nullptr) << "dialpass.cpl did not load, or no dialog window titled Dialpass 1.0 came up";
    EXPECT_EQ(SendMessageW(driver.Tab(), TCM_GETITEMCOUNT, 0, 0), 5);
    for (int i = 0; i < 5; ++i) {
        wchar_t text[128] = L"";
        TCITEMW item{TCIF_TEXT, 0, 0, text, 128, 0, 0};
        SendMessageW(driver.Tab(), TCM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
        EXPECT_EQ(text, titles[i]);
        EXPECT_EQ(driver.Page(i) != nullptr, i == 0) << "tab " << i << ": a window only for the first";
    }
    HANDLE second = CreateThread(nullptr, 0, [](void* self) -> DWORD {
        return DWORD(static_cast<SheetDriver*>(self)->applet(nullptr, CPL_DBLCLK, 0, 120));
    }, &driver, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(second, 3000), DWORD(WAIT_OBJECT_0)) << "the second CPL_DBLCLK ran a sheet of its own";
    std::vector<HWND> sheets = Windows(L"#32770", kSheetCaption);
    EXPECT_EQ(sheets.size(), 1u);
    for (HWND other : sheets)
        if (other != sheet)  // a second sheet came up after all: closed, so that the test can go on
            PostMessageW(other, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    WaitForSingleObject(second, kWindowTimeout);
    CloseHandle(second);
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == sheet; }, 2000));

    RECT client, area;
    EXPECT_EQ(GetMenu(sheet), nullptr) << "the empty menu bar is no menu on the desktop";
    EXPECT_EQ(GetDlgItem(sheet, 0x3024), nullptr) << "a Next button: the sheet became a wizard";
    GetClientRect(sheet, &client);
    RECT tab = RectIn(sheet, driver.Tab());
    EXPECT_GT(tab.bottom, client.bottom - 60 * dpi / 96) << "the tab control did not grow with the sheet";
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
        SCOPED_TRACE(testing::Message() << "page " << i);
        HWND page = driver.ShowPage(i), image = GetDlgItem(page, IDC_HEADER_IMAGE), title = GetDlgItem(page, kTitleIds[i]);
        ASSERT_NE(page, nullptr);
        RECT r = RectIn(sheet, page);
        EXPECT_TRUE(EqualRect(&r, &area)) << "at " << r.left << "," << r.top << "-" << r.right << "," << r.bottom;
        for (const auto& e : controls) {
            if (e.tab != i)
                continue;
            HWND control = GetDlgItem(page, e.id);
            EXPECT_EQ(ClassName(control), e.className) << "control " << e.id;
            EXPECT_EQ(e.text ? WindowText(control) : L"", e.text ? e.text : L"") << "control " << e.id;
            EXPECT_EQ(bool(IsWindowVisible(control)), e.visible) << "control " << e.id;
        }

        RECT pageArea, at = RectIn(page, image);
        GetClientRect(page, &pageArea);
        for (HWND c = GetWindow(page, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            RECT place = RectIn(page, c);  // nothing shown is cut off
            if (IsWindowVisible(c)) {
                EXPECT_GE(place.left, 0) << "control " << GetDlgCtrlID(c);
                EXPECT_LE(place.right, pageArea.right) << "control " << GetDlgCtrlID(c);
            }
        }
        EXPECT_EQ(at.left, 0);
        EXPECT_EQ(at.top, scaled(1)) << "the picture is not shifted below its template place";
        HGDIOBJ bitmap = reinterpret_cast<HGDIOBJ>(SendMessageW(image, STM_GETIMAGE, IMAGE_BITMAP, 0));
        BITMAP picture = PictureOf(image);
        EXPECT_EQ(picture.bmWidth, pageArea.right) << "the strip does not span the page";
        EXPECT_NEAR(picture.bmHeight, 30 * dpi / 96.0, 1.0);

        EXPECT_EQ(WindowText(title), titles[i]);
        LOGFONTW font{};
        HGDIOBJ handle = reinterpret_cast<HGDIOBJ>(SendMessageW(title, WM_GETFONT, 0, 0));
        ASSERT_EQ(GetObjectW(handle, sizeof(font), &font), int(sizeof(font)));
        EXPECT_EQ(font.lfHeight, scaled(18));
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
        RECT place = RectIn(page, title);
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
        std::vector<DWORD> shown = Shown(page, title);
        ASSERT_EQ(shown.size(), painted.size());
        int differing = 0;
        for (size_t i = 0; i < shown.size(); ++i)
            differing += shown[i] != painted[i];
        EXPECT_GT(differing, scaled(20)) << "no title text drawn over the picture";
    }
    HWND picture = nullptr;  // About's product picture: the bitmap static without an id
    for (HWND c = GetWindow(driver.Page(4), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if ((GetDlgCtrlID(c) & 0xFFFF) == 0xFFFF && (GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP)
            picture = c;
    BITMAP bitmap = PictureOf(picture);
    EXPECT_EQ(bitmap.bmWidth, 150);  // one picture for every screen
    EXPECT_EQ(bitmap.bmHeight, 40);
    EXPECT_TRUE(driver.PressCancel());
    DeleteObject(plain);
}

// Run by the next test in processes of their own, whose screens have 96, 120, 144, 192 and 288 dpi.
TEST(SheetTest, DISABLED_OnThisScreen)
{
    DWORD asked = 0, size = sizeof(asked);
    RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", RRF_RT_REG_DWORD, nullptr, &asked, &size);
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    ASSERT_EQ(dpi, int(asked)) << "LogPixels did not reach this process";
    CheckSheet(dpi);
}

TEST(SheetTest, OnScreensOf96To288Dpi)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_also_run_disabled_tests --gtest_filter=SheetTest.DISABLED_*";
    for (DWORD dpi : {96u, 120u, 144u, 192u, 288u}) {
        SetRegNumber(L"Control Panel\\Desktop", L"LogPixels", dpi);  // read by Wine as a process starts
        datatest::ProgramRun run = datatest::RunAtOnce(self, {command})[0];
        EXPECT_EQ(run.exitCode, 0u) << "the " << dpi << "-dpi run failed:\n" << run.output;
    }
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels");
}

// High contrast switched on while the sheet is open, then off: on, no picture, nothing but the page's
// colour beside the title, and the title in the system's text colour; off, the picture is back. Then
// a monitor of twice the DPI: the open pages' headers are built, and laid out, for it.
TEST(SheetTest, HighContrastAndANewDpiWhileOpenBuildTheHeaderAgain)
{
    const wchar_t kContrastKey[] = L"Control Panel\\Accessibility\\HighContrast";
    SheetDriver driver;
    ASSERT_NE(driver.Open(), nullptr);
    ASSERT_NE(driver.ShowPage(3), nullptr);  // General and Update are open before, About opens after
    for (const wchar_t* flags : {L"126", L"127", L"126"}) {  // off, on (HCF_HIGHCONTRASTON), off again
        bool on = flags[2] == L'7';
        SetRegText(kContrastKey, L"Flags", flags);
        // What Windows sends to top-level windows when the setting changes.
        SendMessageW(driver.sheet, WM_SYSCOLORCHANGE, 0, 0);
        SendMessageW(driver.sheet, WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
        for (int i : {0, 3, 4}) {
            SCOPED_TRACE(testing::Message() << "high contrast " << on << ", page " << i);
            HWND page = driver.ShowPage(i), title = GetDlgItem(page, kTitleIds[i]), image = GetDlgItem(page, IDC_HEADER_IMAGE);
            ASSERT_NE(page, nullptr);
            EXPECT_EQ(PictureOf(image).bmWidth != 0, !on);
            if (!on)
                continue;
            // The strip beside the title, read from the screen, against a bare corner of the page.
            RECT strip = RectIn(page, image), named = RectIn(page, title), client;
            GetClientRect(page, &client);
            std::vector<DWORD> shown = Shown(page, page);
            DWORD background = shown[(client.bottom - 2) * client.right + client.right - 2];
            int other = 0;
            for (int y = strip.top; y < strip.bottom; y += 2)
                for (int x = named.right; x < strip.right; x += 2)
                    other += shown[y * client.right + x] != background;
            EXPECT_EQ(other, 0) << "pixels of the strip unlike the page's background " << std::hex << background;
            HDC dc = GetDC(title);
            SendMessageW(page, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(title));
            EXPECT_EQ(GetTextColor(dc), GetSysColor(COLOR_BTNTEXT));
            ReleaseDC(title, dc);
        }
    }
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kContrastKey, L"Flags");
    int dpi = WindowDpi(driver.sheet);
    HWND title = GetDlgItem(driver.Page(3), IDC_UPDATE_TITLE);
    RECT suggested, before = RectIn(driver.Page(3), title);
    GetWindowRect(driver.sheet, &suggested);
    SendMessageW(driver.sheet, kDpiChanged, MAKEWPARAM(2 * dpi, 2 * dpi), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_NEAR(PictureOf(GetDlgItem(driver.Page(3), IDC_HEADER_IMAGE)).bmHeight, 30 * 2 * dpi / 96.0, 1.0);
    EXPECT_EQ(RectIn(driver.Page(3), title).top, 2 * before.top) << "the title's place at twice the DPI";
    EXPECT_TRUE(driver.PressCancel());
}

} // namespace
