// The settings sheet as the user meets it through CPL_DBLCLK of the built applet at 96 to 288 dpi: tabs, the
// pages' places, controls and header strips; high contrast and a new DPI while it is open. Every page and dialog
// from the keyboard (Tab, each Alt+key), each control that takes the focus named by Windows' rules.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <cpl.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "pages/dlgcard.h"
#include "pages/dlgdigits.h"
#include "pages/dlglog.h"
#include "pages/dlgprofile.h"
#include "pages/dlgprogress.h"
#include "pages/dlgwaitfor.h"
#include "platform/display.h"
#include "resources/resource.h"
#include "support/dialogdriver.h"

namespace {

const int kTitleIds[] = {IDC_GENERAL_TITLE, IDC_PROVIDER_TITLE, IDC_PHONE_TITLE, IDC_UPDATE_TITLE, IDC_ABOUT_TITLE};

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

// It opens on General with five tabs titled as the pages and only General's window; a second
// CPL_DBLCLK brings it forward. The pages' own drawing scales with the DPI.
void CheckSheet(int dpi)
{
    auto scaled = [dpi](int length) { return MulDiv(length, dpi, 96); };
    const std::vector<std::wstring> titles{L"General", L"Card settings", L"Phone settings", L"Update", L"About"};
    // The page's tab, the control's id, class, text (null: not compared) and whether it shows.
    const struct { int tab, id; const wchar_t* className; const wchar_t* text; bool visible; } controls[] = {
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
            RECT place = IsWindowVisible(c) ? RectIn(page, c) : RECT{};  // nothing shown is cut off at this DPI
            EXPECT_GE(place.left, 0) << "control " << GetDlgCtrlID(c);
            EXPECT_LE(place.right, pageArea.right) << "control " << GetDlgCtrlID(c);
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

        HDC dc = GetDC(title);
        SetBkMode(dc, OPAQUE);
        HBRUSH brush = reinterpret_cast<HBRUSH>(
            SendMessageW(page, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(title)));
        EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
        ReleaseDC(title, dc);

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
        EXPECT_GT(differing, scaled(20)) << "no title text drawn over the picture";
    }
    EXPECT_TRUE(driver.PressCancel());
}

// Run by the next test in processes of their own, whose screens have 96, 120, 144, 192 and 288 dpi.
TEST(SheetTest, DISABLED_OnThisScreen)
{
    DWORD asked = 0, size = sizeof(asked);
    RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", RRF_RT_REG_DWORD, nullptr, &asked, &size);
    int dpi = WindowDpi(nullptr);  // the screen's
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

// High contrast switched on while the sheet is open, then off: on, no picture and the title in the
// system's text colour; off, the picture is back. Then a monitor of twice the DPI: the open pages'
// headers are built, and laid out, for it.
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
            HWND page = driver.ShowPage(i), title = GetDlgItem(page, kTitleIds[i]);
            ASSERT_NE(page, nullptr);
            EXPECT_EQ(PictureOf(GetDlgItem(page, IDC_HEADER_IMAGE)).bmWidth != 0, !on);
            if (!on)
                continue;
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


bool IsClass(HWND window, const wchar_t* name) { return !lstrcmpiW(ClassName(window).c_str(), name); }

// The access key of a caption ("&" before it), 0 for none.
wchar_t AccessKey(const std::wstring& text)
{
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == L'&' && text[i + 1] != L'&')
            return wchar_t(towupper(text[i + 1]));
    return 0;
}

bool NamedByLabel(HWND control)
{
    return IsClass(control, L"Edit") || IsClass(control, L"ListBox") || IsClass(control, L"ComboBox") ||
           IsClass(control, UPDOWN_CLASSW);
}

// The name Windows gives a control that takes the focus: a button's caption, for the others the
// label before it in tab order (an up-down's is its buddy's). Empty: none.
std::wstring AccessibleName(HWND control)
{
    if (IsClass(control, L"Button")) {
        std::wstring text = WindowText(control);
        text.erase(std::remove(text.begin(), text.end(), L'&'), text.end());
        return text;
    }
    HWND before = GetWindow(control, GW_HWNDPREV);
    if (IsClass(control, UPDOWN_CLASSW) && before == HWND(SendMessageW(control, UDM_GETBUDDY, 0, 0)))
        before = GetWindow(before, GW_HWNDPREV);
    return before && IsClass(before, L"Static") ? WindowText(before) : L"";
}

HWND ThreadFocus(HWND window)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

// The control of window the thread's focus is in (a combo box for its edit), or null.
HWND FocusIn(HWND window)
{
    for (HWND at = ThreadFocus(window); at; at = GetParent(at))
        if (GetParent(at) == window)
            return at;
    return nullptr;
}

// Posts a key (Tab, or a character with Alt) to where the focus of window's thread is.
void Press(HWND window, UINT message, WPARAM key)
{
    HWND before = ThreadFocus(window);
    PostMessageW(before ? before : window, message, key, message == WM_SYSCHAR ? 0x20000001 : 0x000F0001);
    // Until the focus moves, or half a second for a key that leaves it where it is.
    WaitUntil([&] { return ThreadFocus(window) != before; }, 500);
    SendMessageW(window, WM_NULL, 0, 0);
}

// Tab from the first stop goes through every enabled, shown tab stop in visual order: rows (tops
// within half a control's height) top to bottom, each left to right.
void WalkTab(HWND window)
{
    std::vector<HWND> stops;
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if ((GetWindowLongW(c, GWL_STYLE) & (WS_TABSTOP | WS_VISIBLE | WS_DISABLED)) == (WS_TABSTOP | WS_VISIBLE))
            stops.push_back(c);
    std::stable_sort(stops.begin(), stops.end(), [&](HWND a, HWND b) {
        RECT ra = RectIn(window, a), rb = RectIn(window, b);
        int half = std::min(ra.bottom - ra.top, rb.bottom - rb.top) / 2;
        return std::abs(ra.top - rb.top) > half ? ra.top < rb.top : ra.left < rb.left;
    });
    std::vector<int> expected, visited;
    if (!stops.empty())
        SendMessageW(window, WM_NEXTDLGCTL, WPARAM(stops[0]), TRUE);
    for (HWND stop : stops) {
        if (!visited.empty())
            Press(window, WM_KEYDOWN, VK_TAB);
        expected.push_back(GetDlgCtrlID(stop));
        visited.push_back(GetDlgCtrlID(FocusIn(window)));
    }
    EXPECT_EQ(visited, expected) << "the order of Tab";
}

// Names and access keys of window's controls: every control that can take the focus has a name,
// pictures take none, and every button and every label of a box has an access key of its own. Each
// access key of a label, check box or radio button puts the focus on its control (a label's: the next
// tab stop). A push button's click is an action: the walks below press the harmless ones.
void CheckNamesAndKeys(HWND window)
{
    std::map<wchar_t, int> keys;  // key -> the control that has it
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        LONG style = GetWindowLongW(c, GWL_STYLE), type = style & BS_TYPEMASK;
        int id = GetDlgCtrlID(c);
        bool isStatic = IsClass(c, L"Static");
        wchar_t key = AccessKey(WindowText(c));
        if (isStatic) {  // a picture that takes clicks takes the focus with them
            EXPECT_EQ(style & (WS_TABSTOP | ((style & SS_TYPEMASK) == SS_BITMAP ? SS_NOTIFY : 0)), 0) << "static " << id;
        } else if ((style & WS_TABSTOP) || NamedByLabel(c)) {
            EXPECT_NE(AccessibleName(c), L"") << "control " << id << " has no name";
        }
        HWND next = GetWindow(c, GW_HWNDNEXT);
        if ((isStatic && (style & WS_VISIBLE) && next && NamedByLabel(next)) || IsClass(c, L"Button")) {
            EXPECT_NE(key, 0) << "control " << id << " " << testing::PrintToString(WindowText(c)) << " has no access key";
            if (key && keys.count(key))
                ADD_FAILURE() << "Alt+" << char(key) << " on both " << keys[key] << " and " << id;
            keys[key] = id;
        }
        if (!key || (style & (WS_VISIBLE | WS_DISABLED)) != WS_VISIBLE ||
            (!isStatic && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON)))
            continue;
        Press(window, WM_SYSCHAR, towlower(key));
        HWND expected = isStatic ? GetNextDlgTabItem(window, c, FALSE) : c;
        EXPECT_EQ(GetDlgCtrlID(FocusIn(window)), GetDlgCtrlID(expected)) << "Alt+" << char(key);
    }
}

// Every page, then every dialog (each with the key that ends it, OK or Cancel, a button or the menu
// bar's soft key, 0: none tried; and what DoModal then gives, -3: still open).
TEST(AccessTest, EveryPageAndDialogFromTheKeyboardWithNamedControls)
{
    datatest::TempDir install;
    datatest::CopySample(install.Path());
    HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // an update that does not end
    PROCESS_INFORMATION update{never, nullptr, 0, 0};
    CDlgProfileName profile;
    CDlgCard card;
    CDlgWaitFor waitFor;
    CDlgDigits digits;
    CDlgDoUpdate progress(update);
    CDlgTextFile log(L"C:\\missing.log");
    const struct { CDialog* dialog; const wchar_t* title; char endKey; INT_PTR result; } dialogs[] = {
        {&profile, L"Dialpass profile", 'C', IDCANCEL}, {&card, L"Dialog", 'O', IDOK}, {&waitFor, L"Wait for", 'C', -1},
        {&digits, L"Specify digits", 'O', IDOK}, {&progress, L"Update", 0, -3}, {&log, L"Log file", 0, -3}};
    ASSERT_TRUE(StoreTestProfiles(install / L"profiles.dat", {L"Travel"}));  // enables the pages' controls
    {
        SheetDriver driver;
        datatest::InstallDirScope installDir{install.Path().c_str()};  // instead of the driver's empty folder
        ASSERT_NE(driver.Open(), nullptr);
        for (int i = 0; i < 5; ++i) {
            SCOPED_TRACE(testing::Message() << "page " << i);
            HWND page = driver.ShowPage(i);
            ASSERT_NE(page, nullptr);
            WalkTab(page);
            CheckNamesAndKeys(page);
        }
        EXPECT_TRUE(driver.PressCancel());
    }
    datatest::InstallDirScope installDir{install.Path().c_str()};
    SetSimulatedOperator(L"26201");  // the profile dialog detects its home location at opening
    for (const auto& d : dialogs) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(d.title)));
        ModalDialog run(*d.dialog, d.title);
        ASSERT_NE(run.Window(), nullptr);
        WalkTab(run.Window());
        CheckNamesAndKeys(run.Window());
        if (d.endKey)
            Press(run.Window(), WM_SYSCHAR, WPARAM(tolower(d.endKey)));
        AnswerMessage(run, 500);
        EXPECT_EQ(run.Ended(d.endKey ? kWindowTimeout : 0), d.endKey != 0) << "Alt+" << d.endKey;
        EXPECT_EQ(run.result, d.result) << "Alt+" << d.endKey;
    }
    SetSimulatedOperator(nullptr);
    CloseHandle(never);
}

} // namespace
