#include "platform/propsheet.h"

#include <commctrl.h>
#include <prsht.h>

#include "platform/display.h"

namespace {
// The sheet's own buttons: OK, Cancel, Apply and Help.
const int kSheetButtons[] = {IDOK, IDCANCEL, 0x3021, IDHELP};

HDWP Offset(HDWP moves, HWND sheet, HWND control, int dx, int dy)
{
    if (!moves)
        return nullptr;
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, sheet, reinterpret_cast<POINT*>(&r), 2);
    return DeferWindowPos(moves, control, nullptr, r.left + dx, r.top + dy, 0, 0,
                          SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Hands message to every page that has a window: the pages are the sheet's children, and only
// top-level windows hear of colours, settings and a new DPI.
void TellPages(HWND sheet, UINT message, WPARAM wParam, LPARAM lParam)
{
    for (HWND child = GetWindow(sheet, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[8] = L"";
        GetClassNameW(child, name, 8);
        if (!lstrcmpW(name, L"#32770"))
            SendMessageW(child, message, wParam, lParam);
    }
}

// The sheet follows the work area when it changes (a phone turned sideways) and its DPI; its pages
// follow it, and hear of a new DPI, colours and settings.
LRESULT CALLBACK FollowWorkArea(HWND sheet, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR)
{
    if (message == WM_SYSCOLORCHANGE || message == WM_SETTINGCHANGE || message == kDpiChanged)
        TellPages(sheet, message, wParam, lParam);
    if (message == WM_SETTINGCHANGE || message == WM_DISPLAYCHANGE || message == kDpiChanged) {
        RECT work, now;
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        GetWindowRect(sheet, &now);
        if (!EqualRect(&work, &now))
            MaximizeSheet(sheet);
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(sheet, FollowWorkArea, id);
    }
    return DefSubclassProc(sheet, message, wParam, lParam);
}

bool PageArea(HWND sheet, RECT& area)
{
    HWND tab = PropSheet_GetTabControl(sheet);
    if (!tab)
        return false;
    GetClientRect(tab, &area);
    TabCtrl_AdjustRect(tab, FALSE, &area);
    MapWindowPoints(tab, sheet, reinterpret_cast<POINT*>(&area), 2);
    return true;
}
} // namespace

void MaximizeSheet(HWND sheet)
{
    RECT work, before, after;
    SetWindowSubclass(sheet, FollowWorkArea, 1, 0);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetClientRect(sheet, &before);
    SetWindowPos(sheet, nullptr, work.left, work.top, work.right - work.left, work.bottom - work.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    GetClientRect(sheet, &after);
    int dx = after.right - before.right, dy = after.bottom - before.bottom;
    // The children move in one batch: the sheet is laid out once, not once per control.
    HDWP moves = BeginDeferWindowPos(8);
    // A hidden button (Apply and Help here, which this sheet never shows) is left where it is.
    for (int id : kSheetButtons)
        if (HWND button = GetDlgItem(sheet, id); button && (GetWindowLongW(button, GWL_STYLE) & WS_VISIBLE))
            moves = Offset(moves, sheet, button, dx, dy);
    // Like the device's sheet, the tab control takes the whole width and everything above the
    // buttons: a 156-unit page needs all of a 240-pixel screen.
    HWND tab = PropSheet_GetTabControl(sheet);
    HWND ok = GetDlgItem(sheet, IDOK);
    if (tab && ok && moves) {
        RECT button;
        GetWindowRect(ok, &button);
        MapWindowPoints(nullptr, sheet, reinterpret_cast<POINT*>(&button), 2);
        int gap = before.bottom - button.bottom;  // OK has not moved yet
        moves = DeferWindowPos(moves, tab, nullptr, 0, 0, after.right, button.top + dy - gap,
                               SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (moves)
        EndDeferWindowPos(moves);
    // A page gets its window when first shown, so a sheet being set up has none to fit; each
    // question below is a message to the sheet, which answers through its window data.
    if (!PropSheet_GetCurrentPageHwnd(sheet))
        return;
    for (int i = 0;; ++i) {
        HWND page = PropSheet_IndexToHwnd(sheet, i);
        if (!page) {
            // Pages not created yet answer null too: look on while the index names a page.
            if (!PropSheet_IndexToPage(sheet, i))
                break;
            continue;
        }
        FitPageToSheet(page);
    }
}

void FitPageToSheet(HWND page)
{
    HWND sheet = GetParent(page);
    RECT area;
    if (sheet && PageArea(sheet, area))
        SetWindowPos(page, nullptr, area.left, area.top, area.right - area.left, area.bottom - area.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
}
