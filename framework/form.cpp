#include "framework/form.h"

#include <algorithm>
#include <commctrl.h>
#include <prsht.h>

#include "base/module.h"
#include "framework/activation.h"
#include "platform/scrollstep.h"
#include "platform/commandbar.h"

CFormNavigation formNavigation;
UINT CFormWnd::expireDelay = 90000;

namespace {

const int kCommandBarId = 16;
const int kBarOffset = 24;        // height the device's command bar takes at the top
const int kCornerButton = 23;     // corner buttons are square
const int kCornerSpacing = 29;
const DWORD kCornerStyle = 0x5000000B;  // WS_CHILD | WS_VISIBLE | BS_OWNERDRAW

struct CornerButton {
    DWORD style;
    int id;
    UINT frame;
};
const CornerButton kCornerButtons[] = {
    {FS_CLOSEBUTTON, IDCANCEL, DFCS_CAPTIONCLOSE},
    {FS_HELPBUTTON, 9, DFCS_CAPTIONHELP},
    {FS_OKBUTTON, 20, DFCS_CAPTIONOKBTN},
};

// Shared by every form: only one scroll operation runs at a time on the one UI thread.
SCROLLINFO scrollInfo;

// Direct children other than the command bar.
template <class Visit>
void ForEachControl(HWND form, HWND commandBar, Visit visit)
{
    for (HWND child = GetWindow(form, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (child != commandBar)
            visit(child);
    }
}

} // namespace

CFormWnd::CFormWnd(DWORD templateId, DWORD style, DWORD menu) : CDialog(templateId), menu(menu), style(style)
{
}

CFormWnd::~CFormWnd()
{
    if (formNavigation.currentForm == this)
        formNavigation.currentForm = nullptr;
    if (formNavigation.previousForm == this)
        formNavigation.previousForm = nullptr;
}

void CFormWnd::OnTimer(UINT_PTR id)
{
    if (id == IDT_FORMEXPIRE)
        Destroy();
}

int CALLBACK CFormWnd::SortCallback(LPARAM data1, LPARAM data2, LPARAM form)
{
    return reinterpret_cast<CFormWnd*>(form)->CompareItems(data1, data2);
}

LRESULT CFormWnd::OnNotify(WPARAM, NMHDR* header)
{
    if (!header)
        return 0;
    if (header->code == HDN_ITEMCLICKW && (style & FS_SORTHEADER)) {
        int column = reinterpret_cast<NMHEADERW*>(header)->iItem;
        if (column == int((state & FST_SORTCOLUMN) >> FST_SORTSHIFT))
            state ^= FST_DESCENDING;
        state = (state & ~FST_SORTCOLUMN) | ((DWORD(column) & 0xF) << FST_SORTSHIFT);
        CtlListView list;
        list.window = mainControl;
        list.SetSortArrow(column, (state & FST_DESCENDING) ? 1 : 0, 0);
        SendMessageW(mainControl, LVM_SORTITEMS, reinterpret_cast<WPARAM>(this),
                     reinterpret_cast<LPARAM>(&CFormWnd::SortCallback));
    } else if (header->code == UINT(PSN_APPLY)) {
        OnCommand(IDOK, 0);
    }
    return 0;
}

LRESULT CFormWnd::OnCommand(WPARAM wParam, LPARAM lParam)
{
    CFormWnd* current = formNavigation.currentForm;
    if (current && current != this && (current->style & FS_EMBEDDED))
        return current->OnCommand(wParam, lParam);
    if (wParam == IDOK && (style & FS_DATAEXCHANGE)) {
        UpdateData(1, lParam);
        OnDataExchanged(1);
    }
    return 0;
}

LRESULT CFormWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        Layout(0, 0, LOWORD(lParam), HIWORD(lParam));
        break;
    case WM_CLOSE:
        if (commandBar.window)
            return OnCommand(IDCANCEL, 0);
        break;
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        for (const CornerButton& button : kCornerButtons) {
            if (item && item->CtlType == ODT_BUTTON && int(item->CtlID) == button.id) {
                RECT rect = item->rcItem;
                DrawCaptionFrame(item->hDC, &rect, button.frame | ((item->itemState & ODS_SELECTED) ? DFCS_PUSHED : 0));
            }
        }
        break;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == 20) {
            OnCommand(MAKEWPARAM(IDOK, HIWORD(wParam)), lParam);
            return 1;
        }
        break;
    case WM_HSCROLL:
        if (style & FS_HSCROLLMSG)
            Scroll(SB_HORZ, LOWORD(wParam));
        break;
    case WM_VSCROLL:
        if (style & FS_VSCROLLMSG)
            Scroll(SB_VERT, LOWORD(wParam));
        break;
    case WM_FORMHIDE:
        Show(SW_HIDE);
        break;
    case WM_FORMSHOW:
        BringWindowToTop(window);
        Layout(0, 0, -1, -1);
        Show(SW_SHOW);
        break;
    default:
        break;
    }
    return templateId ? CDialog::WindowProc(message, wParam, lParam) : CWnd::WindowProc(message, wParam, lParam);
}

BOOL CFormWnd::Destroy()
{
    if (commandBar.window)
        DestroyWindow(commandBar.window);
    commandBar.Clear();
    commandBar.window = nullptr;
    return DestroyWindow(window);
}

BOOL CFormWnd::Show(int command)
{
    if (commandBar.window)
        CommandBar_Show(commandBar.window, command == SW_SHOW);
    if (mainControl)
        ShowWindow(mainControl, command);
    return ShowWindow(window, command);
}

CFormWnd* CFormWnd::CommandBarHost()
{
    CFormWnd* host = this;
    while (host && (host->style & FS_EMBEDDED))
        host = dynamic_cast<CFormWnd*>(host->parent);
    return host ? host : this;
}

INT_PTR CFormWnd::OnInitDialog(WPARAM, LPARAM)
{
    if (style & FS_COMMANDBAR) {
        commandBar.window = CommandBar_Create(moduleInstance, CommandBarHost()->window, kCommandBarId);
        if (commandBar.window) {
            if (LOWORD(menu))
                CommandBar_InsertMenubar(commandBar.window, moduleInstance, LOWORD(menu), 0);
            SetWindowPos(commandBar.window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }
    CFormWnd* mainForm = formNavigation.mainForm;
    if ((style & FS_MAINFORMRECT) && mainForm && mainForm->window) {
        RECT rect;
        GetWindowRect(mainForm->window, &rect);
        if (!(GetWindowLongW(window, GWL_STYLE) & WS_POPUP))
            MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
        MoveWindow(window, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, FALSE);
    }
    Layout(0, 0, -1, -1);
    if (style & FS_MOVEDOWN) {
        ForEachControl(window, commandBar.window, [this](HWND child) {
            RECT rect;
            GetWindowRect(child, &rect);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
            SetWindowPos(child, nullptr, rect.left, rect.top + kBarOffset, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        });
    }
    RECT client{};
    GetClientRect(window, &client);
    int x = client.right - kCornerButton;
    for (const CornerButton& button : kCornerButtons) {
        if (!(style & button.style))
            continue;
        HWND created = CreateWindowExW(0, L"BUTTON", nullptr, kCornerStyle, x, 0, kCornerButton, kCornerButton, window,
                                       reinterpret_cast<HMENU>(INT_PTR(button.id)), moduleInstance, nullptr);
        if (created)
            SetWindowPos(created, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        x -= kCornerSpacing;
    }
    OnDataExchanged(0);
    if (style & FS_DATAEXCHANGE)
        UpdateData(0, 0);
    return 0;
}

int CFormWnd::CompareItems(LPARAM, LPARAM)
{
    return 0;
}

RECT CFormWnd::ContentRect() const
{
    RECT content{};
    ForEachControl(window, commandBar.window, [&content](HWND child) {
        RECT rect;
        GetWindowRect(child, &rect);
        UnionRect(&content, &content, &rect);
    });
    return content;
}

void CFormWnd::PlaceCornerButtons(int width)
{
    int x = width - kCornerButton;
    for (const CornerButton& button : kCornerButtons) {
        if (!(style & button.style))
            continue;
        if (HWND corner = GetDlgItem(window, button.id))
            SetWindowPos(corner, nullptr, x, 0, kCornerButton, kCornerButton, SWP_NOZORDER | SWP_NOACTIVATE);
        x -= kCornerSpacing;
    }
}

void CFormWnd::Layout(int x, int y, int width, int height)
{
    RECT client{};
    GetClientRect(window, &client);
    if (width == -1) {
        x = client.left;
        y = client.top;
        width = client.right - client.left;
        height = client.bottom - client.top;
    }
    if (mainControl && (style & FS_FOLLOWMASK)) {
        RECT rect;
        GetWindowRect(mainControl, &rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
        if (style & FS_FOLLOWLEFT)
            rect.left = x;
        if (style & FS_FOLLOWTOP)
            rect.top = y + ((style & (FS_BELOWBAR | FS_EMBEDDED)) == FS_BELOWBAR ? kBarOffset : 0);
        if (style & FS_FOLLOWBOTTOM)
            rect.bottom = y + height;
        if (style & FS_FOLLOWRIGHT)
            rect.right = x + width;
        MoveWindow(mainControl, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, FALSE);
    }
    if (style & (FS_HSCROLL | FS_VSCROLL)) {
        RECT content = ContentRect();
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
        if (style & FS_HSCROLL) {
            info.nMax = (content.right - content.left) + client.right;
            info.nPage = client.right;
            info.nPos = horizontalPosition;
            SetScrollInfo(window, SB_HORZ, &info, TRUE);
        }
        if (style & FS_VSCROLL) {
            info.nMax = (content.bottom - content.top) + client.bottom;
            info.nPage = client.bottom;
            info.nPos = verticalPosition;
            SetScrollInfo(window, SB_VERT, &info, TRUE);
        }
    }
    PlaceCornerButtons(width);
}

void CFormWnd::Scroll(int bar, int code)
{
    bool horizontal = bar == SB_HORZ;
    int& position = horizontal ? horizontalPosition : verticalPosition;
    if (!(state & FST_SCROLLING)) {
        state |= FST_SCROLLING;
        ForEachControl(window, commandBar.window, [](HWND child) { ShowWindow(child, SW_HIDE); });
        RECT client{};
        GetClientRect(window, &client);
        RECT content = ContentRect();
        scrollInfo = SCROLLINFO{};
        scrollInfo.cbSize = sizeof scrollInfo;
        scrollInfo.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
        scrollInfo.nPage = horizontal ? client.right : client.bottom;
        scrollInfo.nMax = int(scrollInfo.nPage) + (horizontal ? content.right - content.left : content.bottom - content.top);
        scrollInfo.nPos = scrollInfo.nTrackPos = position;
    }
    int& now = scrollInfo.nPos;
    switch (code) {
    case SB_THUMBPOSITION: {
        SCROLLINFO track{};
        track.cbSize = sizeof track;
        track.fMask = SIF_TRACKPOS;
        if (GetScrollInfo(window, bar, &track))
            now = track.nTrackPos;
        break;
    }
    case SB_ENDSCROLL: {
        state &= ~FST_SCROLLING;
        int delta = position - now;
        ForEachControl(window, commandBar.window, [this, horizontal, delta](HWND child) {
            RECT rect;
            GetWindowRect(child, &rect);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
            SetWindowPos(child, nullptr, rect.left + (horizontal ? delta : 0), rect.top + (horizontal ? 0 : delta), 0,
                         0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        });
        position = now;
        return;
    }
    default:  // SB_THUMBTRACK keeps the position until the operation ends
        now = ScrollStep(code, now, scrollInfo.nMin, scrollInfo.nMax, int(scrollInfo.nPage));
        break;
    }
    SetScrollInfo(window, bar, &scrollInfo, TRUE);
}

BOOL CFormWnd::Activate(CFormWnd* from, DWORD flags)
{
    if (formNavigation.activationHook && !(state & FST_NOHOOK) && !formNavigation.activationHook(this, from, flags))
        return FALSE;
    state = (state & ~FST_ACTIVATEFLAGS) | ((flags & 0xF) << 16);
    activeDialogWindow = templateId ? window : nullptr;
    if (!window)
        return TRUE;  // nothing to show; a null window would post to the thread instead
    PostMessageW(window, WM_FORMSHOW, 0, 0);
    if (style & FS_EXPIRE)
        KillTimer(window, IDT_FORMEXPIRE);
    if (mainControl)
        SetFocus(mainControl);
    return TRUE;
}

bool CFormWnd::InHistory() const
{
    for (int i = 0; i <= formNavigation.historyTop; ++i) {
        if (formNavigation.history.At(i).form == this)
            return true;
    }
    return false;
}

BOOL CFormWnd::Deactivate(CFormWnd*)
{
    if (!window)
        return TRUE;
    PostMessageW(window, WM_FORMHIDE, 0, 0);
    if ((style & FS_EXPIRE) && !InHistory())
        SetTimer(window, IDT_FORMEXPIRE, expireDelay, nullptr);
    return TRUE;
}

int CFormWnd::UpdateData(int, LPARAM)
{
    return 1;
}

void CFormWnd::OnDataExchanged(int)
{
}

void CFormWnd::Enable(BOOL enable)
{
    EnableWindow(window, enable);
}

int CFormWnd::Hook17()
{
    return 1;
}

int CFormWnd::Hook18()
{
    CFormWnd* current = formNavigation.currentForm;
    return current && current != this ? current->Hook18() : 0;
}

int CFormWnd::Hook19()
{
    return formNavigation.formHook ? formNavigation.formHook(this) : 1;
}

int CFormWnd::Hook20()
{
    return 1;
}

bool CFormWnd::PlaceIn(CFormWnd* host)
{
    if (this == host)
        return true;
    if (!host)
        return false;
    RECT area{};
    if ((host->style & (FS_NOTABAREA | FS_PLACEINCLIENT)) == (FS_NOTABAREA | FS_PLACEINCLIENT) || !host->mainControl) {
        GetClientRect(host->window, &area);
    } else {
        GetClientRect(host->mainControl, &area);
        if (!(host->style & FS_NOTABAREA))
            SendMessageW(host->mainControl, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
        MapWindowPoints(host->mainControl, host->window, reinterpret_cast<POINT*>(&area), 2);
    }
    if (!window)
        return Create(host, &area, nullptr, 0) != nullptr;
    if (style & FS_REPLACE)
        SetWindowPos(window, nullptr, area.left, area.top, area.right - area.left, area.bottom - area.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

BOOL CFormWnd::Navigate(CFormWnd* target, DWORD flags, LPARAM parameter)
{
    CFormNavigation& nav = formNavigation;
    int& top = nav.historyTop;
    CFormWnd* leaving = nullptr;
    CFormWnd* host = nullptr;
    bool stepping = false;
    if (target == FORM_BACK) {
        if (top < 0)
            return FALSE;
        if (flags & FNF_QUERY)
            return TRUE;
        leaving = nav.history.At(top).form;
        --top;
        target = top >= 0 ? nav.history.At(top).form : nav.mainForm;
        host = top >= 0 ? nav.history.At(top).host : nav.mainForm;
        stepping = true;
    } else if (target == FORM_FORWARD) {
        const FHB& next = nav.history.At(top + 1);
        if (flags & FNF_QUERY)
            return next.form != nullptr;
        // With nothing ahead the target is null: the current form is still left (saved and
        // deactivated) and the top moves onto the empty record, from which back returns.
        leaving = top >= 0 ? nav.history.At(top).form : nullptr;
        ++top;
        target = next.form;
        host = next.host;
        stepping = true;
    } else if (target == reinterpret_cast<CFormWnd*>(3) || target == reinterpret_cast<CFormWnd*>(4)) {
        return FALSE;
    } else {
        if (flags & FNF_CLEARHISTORY)
            top = -1;
        if (flags & FNF_FROMCURRENT)
            leaving = nav.currentForm;
        else
            leaving = top >= 0 ? nav.history.At(top).form : nullptr;
        CFormWnd* parentForm = target ? dynamic_cast<CFormWnd*>(target->parent) : nullptr;
        host = parentForm ? parentForm : this;
    }

    CFormWnd* before = nav.currentForm;
    if (before && !(flags & FNF_NOSAVE)) {
        before->UpdateData(1, 0);
        nav.currentForm = nullptr;
    }
    if (leaving && leaving != host && !leaving->Deactivate(target))
        return FALSE;
    if (!target)
        return TRUE;
    nav.previousForm = before;
    nav.currentForm = target;
    nav.parameter = parameter;
    if ((!target->window || (target->style & FS_REPLACE)) && !target->PlaceIn(host))
        return FALSE;
    if (target->style & FS_NAVIGATEFLAG)
        flags |= FNF_STYLEFLAG;
    if (!target->Activate(leaving, flags))
        return FALSE;
    if (!(flags & FNF_NOLOAD))
        target->UpdateData(0, 0);
    target->Enable((target->state & FST_ENABLE) ? TRUE : FALSE);
    if (stepping || (flags & (FNF_CLEARHISTORY | FNF_NORECORD)))
        return TRUE;
    ++top;
    // Records beyond the new top are kept: forward can still reach them.
    nav.history.At(top) = FHB{host, target, 0};
    return TRUE;
}

int CFormWnd::Present()
{
    if (formNavigation.mainForm)
        formNavigation.mainForm->Navigate(this, 0, 0);
    return 1;
}

CString* CFormWnd::GetContextPath()
{
    CString* path = TempString(formNavigation.registryRoot);
    if (!path)
        return nullptr;
    path->AppendPath(L"Forms");
    if (name)
        path->AppendPath(name);
    return path;
}
