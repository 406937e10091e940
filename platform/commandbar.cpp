#include "platform/commandbar.h"

#include <commctrl.h>

namespace {

const UINT_PTR kSubclassId = 1;
const wchar_t kMenuProperty[] = L"CommandBarMenu";  // the menu bar's loaded menu

// Opens a popup button's menu under it; its commands go to the bar's parent like on the device.
LRESULT CALLBACK CommandBarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR menu)
{
    switch (message) {
    case WM_LBUTTONDOWN: {
        POINT point{short(LOWORD(lParam)), short(HIWORD(lParam))};
        int index = int(SendMessageW(bar, TB_HITTEST, 0, reinterpret_cast<LPARAM>(&point)));
        TBBUTTON button{};
        if (index < 0 || !SendMessageW(bar, TB_GETBUTTON, index, reinterpret_cast<LPARAM>(&button)))
            break;
        HMENU popup = reinterpret_cast<HMENU>(button.dwData);
        if (!popup)
            break;
        RECT rect{};
        SendMessageW(bar, TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect));
        MapWindowPoints(bar, nullptr, reinterpret_cast<POINT*>(&rect), 2);
        SendMessageW(bar, TB_PRESSBUTTON, button.idCommand, TRUE);
        TrackPopupMenuEx(popup, TPM_LEFTALIGN | TPM_TOPALIGN, rect.left, rect.bottom, GetParent(bar), nullptr);
        SendMessageW(bar, TB_PRESSBUTTON, button.idCommand, FALSE);
        return 0;
    }
    case WM_NCDESTROY:
        RemoveWindowSubclass(bar, CommandBarProc, kSubclassId);
        RemovePropW(bar, kMenuProperty);
        if (menu)
            DestroyMenu(reinterpret_cast<HMENU>(menu));
        break;
    default:
        break;
    }
    return DefSubclassProc(bar, message, wParam, lParam);
}

} // namespace

HWND CommandBar_Create(HINSTANCE instance, HWND parent, int id)
{
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_BAR_CLASSES};
    InitCommonControlsEx(&classes);
    HWND bar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                               WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_LIST | CCS_TOP | CCS_NODIVIDER, 0, 0,
                               0, 0, parent, reinterpret_cast<HMENU>(INT_PTR(id)), instance, nullptr);
    if (!bar)
        return nullptr;
    SendMessageW(bar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(bar, TB_SETBITMAPSIZE, 0, MAKELONG(0, 0));
    SendMessageW(bar, TB_AUTOSIZE, 0, 0);
    return bar;
}

BOOL CommandBar_InsertMenubar(HWND bar, HINSTANCE instance, WORD menuId, WORD button)
{
    // One menu bar per command bar, as on the device.
    if (!bar || GetPropW(bar, kMenuProperty))
        return FALSE;
    HMENU menu = LoadMenuW(instance, MAKEINTRESOURCEW(menuId));
    if (!menu)
        return FALSE;
    if (!SetPropW(bar, kMenuProperty, menu) ||
        !SetWindowSubclass(bar, CommandBarProc, kSubclassId, reinterpret_cast<DWORD_PTR>(menu))) {
        RemovePropW(bar, kMenuProperty);
        DestroyMenu(menu);
        return FALSE;
    }
    int items = GetMenuItemCount(menu);
    for (int i = 0; i < items; ++i) {
        wchar_t text[64] = L"";
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = ARRAYSIZE(text);
        if (!GetMenuItemInfoW(menu, i, TRUE, &info))
            continue;
        TBBUTTON record{};
        record.iBitmap = I_IMAGENONE;
        record.idCommand = info.hSubMenu ? 0 : int(info.wID);
        record.fsState = TBSTATE_ENABLED;
        record.fsStyle = BTNS_AUTOSIZE | BTNS_SHOWTEXT;
        record.dwData = reinterpret_cast<DWORD_PTR>(info.hSubMenu);
        record.iString = reinterpret_cast<INT_PTR>(text);
        SendMessageW(bar, TB_INSERTBUTTONW, button + i, reinterpret_cast<LPARAM>(&record));
    }
    SendMessageW(bar, TB_AUTOSIZE, 0, 0);
    return TRUE;
}

BOOL CommandBar_Show(HWND bar, BOOL show)
{
    if (!bar)
        return FALSE;
    // The parent may have changed size while the bar was hidden.
    if (show)
        SendMessageW(bar, TB_AUTOSIZE, 0, 0);
    return ShowWindow(bar, show ? SW_SHOW : SW_HIDE);
}

BOOL DrawCaptionFrame(HDC dc, RECT* rect, UINT state)
{
    if ((state & 0xFF) != DFCS_CAPTIONOKBTN)
        return DrawFrameControl(dc, rect, DFC_CAPTION, state);
    // The desktop has no OK caption button: a push button face with the device's "ok" on it.
    if (!DrawFrameControl(dc, rect, DFC_BUTTON, DFCS_BUTTONPUSH | (state & DFCS_PUSHED)))
        return FALSE;
    RECT text = *rect;
    if (state & DFCS_PUSHED)
        OffsetRect(&text, 1, 1);
    int mode = SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, L"ok", 2, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SetBkMode(dc, mode);
    return TRUE;
}
