// Pages, full-screen dialogs and message boxes on a phone, the phone turned and a desktop window: every
// control fits, what lies below is reached by scrolling, and turning the screen lays the open window out again.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "data/datatest.h"
#include "platform/display.h"
#include "platform/fit.h"
#include "platform/messagefit.h"
#include "pages/dlgcard.h"
#include "pages/dlgprofile.h"
#include "resources/resource.h"
#include "support/dialogdriver.h"
#include "support/sheetdriver.h"

namespace {

struct Screen { const char* name; RECT work; };
const Screen kScreens[] = {
    {"phone 240x320", {0, 0, 240, 320}},
    {"phone turned, 320x240", {0, 0, 320, 240}},
    {"desktop window 640x480", {0, 0, 640, 480}},
};

// The work area of this process while the test runs; the old one comes back at the end.
struct WorkArea {
    WorkArea() { SystemParametersInfoW(SPI_GETWORKAREA, 0, &old, 0); }
    ~WorkArea() { Set(old); }
    void Set(const RECT& work) { SystemParametersInfoW(SPI_SETWORKAREA, 0, const_cast<RECT*>(&work), 0); }
    // What the system does when the phone turns: a new work area, announced to the top-level window.
    void Turn(HWND window, const RECT& work) { Set(work), SendMessageW(window, WM_SETTINGCHANGE, SPI_SETWORKAREA, 0); }
    RECT old;
};

std::string Text(const RECT& r)
{
    return (std::ostringstream() << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")").str();
}

std::string Describe(HWND window, HWND control)
{
    return "control " + std::to_string(GetDlgCtrlID(control)) + " at " + Text(RectIn(window, control));
}

// The rectangle control's text takes in its font at width, drawn with format.
RECT TextPlace(HWND control, int width, UINT format)
{
    std::wstring text = WindowText(control);
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT place = {0, 0, width, 0};
    DrawTextW(dc, text.c_str(), -1, &place, DT_CALCRECT | DT_NOPREFIX | format);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return place;
}

// A button's caption fits on one line beside its mark, or the button wraps it and is tall enough for
// its lines; a static's wrapped text fits its height.
void ExpectCaptionShown(HWND window, HWND control)
{
    LONG style = GetWindowLongW(control, GWL_STYLE);
    std::wstring name = ClassName(control);
    bool button = !lstrcmpiW(name.c_str(), L"Button"), label = !lstrcmpiW(name.c_str(), L"Static");
    int type = button ? (style & BS_TYPEMASK) : (style & SS_TYPEMASK);
    bool mark = button && type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON;
    bool captioned = (button && type != BS_GROUPBOX && type != BS_OWNERDRAW) || (label && type <= SS_RIGHT);
    if (!captioned || WindowText(control).empty())
        return;
    RECT r = RectIn(window, control);
    // Beside the mark's box; its gap to the caption is left to the button.
    int room = r.right - r.left - (mark ? MulDiv(12, WindowDpi(control), 96) : 0);
    int wide = TextPlace(control, room, DT_SINGLELINE).right;
    if (wide <= room)
        return;
    if (button) {
        EXPECT_TRUE(style & BS_MULTILINE) << Describe(window, control) << ": cut off at " << room << " of " << wide;
    }
    UINT wrap = DT_WORDBREAK | (label && (style & SS_EDITCONTROL) ? DT_EDITCONTROL : 0);
    EXPECT_LE(TextPlace(control, room, wrap).bottom, r.bottom - r.top) << Describe(window, control)
        << ": the wrapped caption's lines";
}

// Every visible control of window inside it across and clear of the others; what lies below reached
// by the window's own vertical scroll bar.
void ExpectFits(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    SCOPED_TRACE(testing::Message() << "client area " << Text(client));
    std::vector<HWND> controls;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (IsWindowVisible(child))
            controls.push_back(child);
    ASSERT_GT(controls.size(), 1u);
    HWND header = GetDlgItem(window, IDC_HEADER_IMAGE);
    RECT strip = header ? RectIn(window, header) : RECT{};
    int lowest = 0;
    for (size_t i = 0; i < controls.size(); ++i) {
        RECT a = RectIn(window, controls[i]);
        EXPECT_GE(a.left, 0) << Describe(window, controls[i]);
        EXPECT_LE(a.right, client.right) << Describe(window, controls[i]);
        lowest = std::max(lowest, int(a.bottom));
        for (size_t j = i + 1; j < controls.size(); ++j) {
            RECT b = RectIn(window, controls[j]), common, within;
            if (!IntersectRect(&common, &a, &b))
                continue;
            HWND other = controls[i] == header ? controls[j] : controls[j] == header ? controls[i] : nullptr;
            RECT lying = other == controls[j] ? b : a;
            bool onStrip = other && IntersectRect(&within, &strip, &lying) && EqualRect(&within, &lying);
            EXPECT_TRUE(onStrip) << Describe(window, controls[i]) << " overlaps " << Describe(window, controls[j]);
        }
        ExpectCaptionShown(window, controls[i]);
    }
    if (lowest <= client.bottom)
        return;
    ASSERT_TRUE(GetWindowLongW(window, GWL_STYLE) & WS_VSCROLL) << "controls down to " << lowest << ", no scroll bar";
    SendMessageW(window, WM_VSCROLL, SB_BOTTOM, 0);
    int bottom = 0;
    for (HWND control : controls)
        bottom = std::max(bottom, int(RectIn(window, control).bottom));
    EXPECT_LE(bottom, client.bottom) << "scrolled to the bottom, the lowest control is still below";
    int deepest = RectIn(window, controls.front()).top;
    SendMessageW(window, WM_VSCROLL, SB_TOP, 0);
    for (HWND control : controls)
        EXPECT_GE(RectIn(window, control).top, 0) << "scrolled back to the top: " << Describe(window, control);
    int top = RectIn(window, controls.front()).top, half = (top - deepest) / 2;
    // The thumb dragged halfway down: the bar holds the track position (WPARAM's 16 bits may not).
    for (int code : {SB_THUMBTRACK, SB_THUMBPOSITION}) {
        SetScrollPos(window, SB_VERT, half, FALSE);
        SendMessageW(window, WM_VSCROLL, MAKEWPARAM(code, half), 0);
        EXPECT_EQ(RectIn(window, controls.front()).top, top - half) << "thumb at " << half << ", code " << code;
        SendMessageW(window, WM_VSCROLL, SB_TOP, 0);
    }
    SendMessageW(window, WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(-WHEEL_DELTA)), 0);
    EXPECT_LT(RectIn(window, controls.front()).top, top) << "a wheel notch down did not scroll";
    SendMessageW(window, WM_VSCROLL, SB_TOP, 0);
    // The keyboard reaches the lowest control that takes the focus: it comes into view.
    HWND last = nullptr;
    for (HWND control : controls)
        if (IsWindowEnabled(control) && (GetWindowLongW(control, GWL_STYLE) & WS_TABSTOP) &&
            (!last || RectIn(window, control).bottom > RectIn(window, last).bottom))
            last = control;
    if (!last || RectIn(window, last).bottom <= client.bottom)
        return;
    SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(last), TRUE);
    EXPECT_TRUE(WaitUntil([&] { return RectIn(window, last).bottom <= client.bottom; }))
        << "focus on " << Describe(window, last) << ", out of sight";
    SendMessageW(window, WM_VSCROLL, SB_TOP, 0);
}

// On each screen, the full-screen dialogs (each opened as its page opens it, on the sample database),
// then each page of the sheet; each again after the screen turns to the next one in the list.
TEST(ScreenFit, EveryDialogAndPageFitsEachScreenAndTurnsWithIt)
{
    datatest::InstallFolder install;
    datatest::CopySample(install.Path());
    int margin = -1;  // measured first on the phone
    for (const Screen& screen : kScreens) {
        SCOPED_TRACE(screen.name);
        const Screen& turned = kScreens[(&screen - kScreens + 1) % 3];
        WorkArea area;
        for (bool isProfile : {true, false}) {
            SCOPED_TRACE(isProfile ? "the profile dialog" : "the card dialog");
            area.Set(screen.work);
            CDlgProfileName profile;
            CDlgCard card;
            ModalDialog dialog(isProfile ? static_cast<CDialog&>(profile) : card, isProfile ? L"Dialpass profile" : L"Dialog");
            ASSERT_NE(dialog.Window(), nullptr);
            ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(dialog.Window()) != FALSE; }));
            for (const Screen* on : {&screen, &turned}) {
                SCOPED_TRACE(on->name);
                if (on == &turned)
                    area.Turn(dialog.Window(), turned.work);
                RECT r;
                GetWindowRect(dialog.Window(), &r);
                EXPECT_TRUE(EqualRect(&r, &on->work)) << "window at " << Text(r) << ", work area " << Text(on->work);
                ExpectFits(dialog.Window());
            }
            dialog.SoftKey(IDCANCEL);
            EXPECT_TRUE(dialog.Ended());
        }
        area.Set(screen.work);
        SheetDriver driver;
        ASSERT_NE(driver.Open(), nullptr);
        for (const RECT* work : {&screen.work, &turned.work}) {
            if (work == &turned.work)
                area.Turn(driver.sheet, *work);  // laid out while another page shows
            RECT r;
            GetWindowRect(driver.sheet, &r);
            EXPECT_TRUE(EqualRect(&r, work)) << "sheet at " << Text(r) << ", work area " << Text(*work);
            for (int tab = 0; tab < 5; ++tab) {
                SCOPED_TRACE(testing::Message() << "page " << tab << (work == &turned.work ? ", turned to " : ", ")
                             << (work == &turned.work ? turned.name : screen.name));
                HWND page = driver.ShowPage(tab);
                ASSERT_NE(page, nullptr);
                ExpectFits(page);
            }
            // The profile list reaches the right edge: it keeps its margin there at every width.
            HWND general = driver.Page(0);
            RECT client;
            GetClientRect(general, &client);
            int now = client.right - RectIn(general, driver.Control(0, IDC_PROFILES)).right;
            margin = margin < 0 ? now : margin;
            EXPECT_EQ(now, margin) << "page width " << client.right;
        }
        EXPECT_TRUE(driver.PressCancel());
    }
}

// Message boxes shown by the system on a thread of their own, fitted by the hook of a CMessageBoxFit.
TEST(MessageBoxFit, EveryPartOfTheBoxIsOnTheScreenAndTheTextWhole)
{
    const wchar_t kCaption[] = L"Message fit test";
    // Columns: name, text, type, buttons shown, screen the box is fitted to, and whether the system's
    // layout fits it already (then nothing may change).
    const struct Row { const char* name; const wchar_t* text; UINT type; int buttons; RECT area; bool fitsAlready; }
        rows[] = {
        {"save failure on a phone", L"Unable to save file !\n\nZ:\\work\\main\\build\\sample\\profiles.dat\n\n"
         L"Another program is changing files in this folder.\n\nNothing was saved and your changes are kept: "
         L"tap OK to try again, or Cancel to leave without saving.", MB_OK | MB_ICONEXCLAMATION, 1, {0, 0, 240, 320}, false},
        {"two buttons", L"Would you like to see log file ?\n\nC:\\Program Files\\Kestrova\\Dialpass\\update.log",
         MB_YESNO | MB_ICONHAND, 2, {0, 0, 240, 320}, false},
        {"a path with no place to break", L"Unable to open file !\n\nC:\\AVeryLongFolderNameWithNoSpacesOrBreaks"
         L"ThatGoesOnAndOn\\country.dat", MB_OK | MB_ICONEXCLAMATION, 1, {0, 0, 240, 320}, false},
        {"a sentence sideways", L"No new data available", MB_OK | MB_ICONINFORMATION, 1, {0, 0, 320, 240}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::thread shower([&row, &kCaption] {
            CMessageBoxFit fit(&row.area);
            MessageBoxW(nullptr, row.text, kCaption, row.type);
        });
        HWND box = WaitForWindow(L"#32770", kCaption);
        ASSERT_NE(box, nullptr);
        HWND text = GetDlgItem(box, kMessageBoxTextId);
        RECT window{}, client{};
        GetWindowRect(box, &window);
        GetClientRect(box, &client);
        LONG_PTR style = GetWindowLongPtrW(text, GWL_STYLE);
        EXPECT_EQ((style & SS_EDITCONTROL) != 0, !row.fitsAlready) << "text style " << style;
        EXPECT_LE(window.right - window.left, row.area.right - row.area.left);
        EXPECT_LE(window.bottom - window.top, row.area.bottom - row.area.top);
        if (!row.fitsAlready) {
            EXPECT_GE(window.left, row.area.left);
            EXPECT_LE(window.right, row.area.right);
        }
        EXPECT_EQ(WindowText(text), row.text);
        ExpectFits(box);  // the text whole and the buttons in the box, none over another
        int seen = 0, rowLeft = client.right, rowRight = 0;
        for (int id : {IDOK, IDYES, IDNO}) {
            HWND button = GetDlgItem(box, id);
            if (!button || !IsWindowVisible(button))
                continue;
            ++seen;
            RECT place = RectIn(box, button);
            EXPECT_GE(place.top, RectIn(box, text).bottom) << "button " << id << " beside the text";
            rowLeft = std::min<int>(rowLeft, place.left);
            rowRight = std::max<int>(rowRight, place.right);
        }
        EXPECT_EQ(seen, row.buttons);
        // The system centres the row in the window, frame included.
        EXPECT_NEAR(rowLeft, client.right - rowRight, window.right - window.left - client.right + 1)
            << "the buttons are not centred";
        AnswerMessageBox(box, row.buttons == 2 ? IDNO : IDOK);
        shower.join();
    }
}

} // namespace
