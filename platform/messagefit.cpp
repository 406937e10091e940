#include "platform/messagefit.h"

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/fit.h"

namespace {
// The hooks of the live CMessageBoxFit objects, innermost last; a thread's innermost one decides.
struct FitHook {
    DWORD thread;
    HHOOK hook;
    bool hasArea;
    RECT area;
};
std::vector<FitHook> hooks;

std::vector<FitHook>::reverse_iterator InnermostOfThisThread()
{
    DWORD thread = GetCurrentThreadId();
    return std::find_if(hooks.rbegin(), hooks.rend(), [thread](const FitHook& h) { return h.thread == thread; });
}

// Our own dialogs are fitted by their forms, whether they have labels with id -1 (0xFFFF) or not.
bool IsMessageBox(HWND dialog)
{
    return GetDlgItem(dialog, kMessageBoxTextId) && !IsFitted(dialog);
}

// A dialog made on the thread is watched until it is first shown: by then the system has laid a
// message box out, and its first picture is not yet drawn.
LRESULT CALLBACK FitWhenShown(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR)
{
    if (message == WM_SHOWWINDOW && wParam) {
        RemoveWindowSubclass(box, FitWhenShown, id);
        auto fit = InnermostOfThisThread();
        if (fit != hooks.rend() && IsMessageBox(box)) {
            RECT area = fit->area;
            MONITORINFO monitor{};
            monitor.cbSize = sizeof(monitor);
            if (!fit->hasArea && GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTONEAREST), &monitor))
                area = monitor.rcWork;
            FitMessageBox(box, area);
        }
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(box, FitWhenShown, id);
    }
    return DefSubclassProc(box, message, wParam, lParam);
}

LRESULT CALLBACK CreateHook(int code, WPARAM wParam, LPARAM lParam)
{
    // A message box is a top-level window: the controls every page and dialog makes are passed by.
    if (code == HCBT_CREATEWND && !(reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs->style & WS_CHILD)) {
        HWND window = reinterpret_cast<HWND>(wParam);
        if (ClassIs(window, L"#32770"))
            SetWindowSubclass(window, FitWhenShown, 0, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The height text needs at width in the static's font, wrapped as a static with SS_EDITCONTROL wraps it.
int TextHeight(HWND text, int width)
{
    int length = GetWindowTextLengthW(text);
    std::wstring content(size_t(length) + 1, L'\0');
    GetWindowTextW(text, &content[0], length + 1);
    HDC dc = GetDC(text);
    HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(text, WM_GETFONT, 0, 0)));
    RECT needed{0, 0, width, 0};
    DrawTextW(dc, content.c_str(), length, &needed,
              DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_EXPANDTABS | DT_NOPREFIX);
    SelectObject(dc, previous);
    ReleaseDC(text, dc);
    return needed.bottom - needed.top;
}
} // namespace

CMessageBoxFit::CMessageBoxFit(const RECT* area)
{
    HHOOK hook = SetWindowsHookExW(WH_CBT, CreateHook, nullptr, GetCurrentThreadId());
    if (hook)
        hooks.push_back(FitHook{GetCurrentThreadId(), hook, area != nullptr, area ? *area : RECT{}});
}

CMessageBoxFit::~CMessageBoxFit()
{
    auto mine = InnermostOfThisThread();
    if (mine != hooks.rend()) {
        UnhookWindowsHookEx(mine->hook);
        hooks.erase(std::next(mine).base());
    }
}

bool FitMessageBox(HWND box, const RECT& area)
{
    HWND text = GetDlgItem(box, kMessageBoxTextId);
    RECT window{};
    GetWindowRect(box, &window);
    int areaWidth = area.right - area.left;
    int excess = (window.right - window.left) - areaWidth;
    if (!text || excess <= 0)
        return false;

    RECT textRect = RectInClient(box, text);
    int textWidth = std::max<int>(textRect.right - textRect.left - excess, 1);
    SetWindowLongPtrW(text, GWL_STYLE, GetWindowLongPtrW(text, GWL_STYLE) | SS_EDITCONTROL);
    int textHeight = TextHeight(text, textWidth);
    int grow = std::max<int>(textHeight - (textRect.bottom - textRect.top), 0);
    SetWindowPos(text, nullptr, 0, 0, textWidth, textHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    // The buttons move down by what the text grew and stay centred as a row in the narrower box.
    RECT client{};
    GetClientRect(box, &client);
    int clientWidth = client.right - client.left - excess;
    std::vector<HWND> buttons;
    RECT row{LONG_MAX, 0, LONG_MIN, 0};
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!ClassIs(child, L"Button") || !(GetWindowLongPtrW(child, GWL_STYLE) & WS_VISIBLE))
            continue;
        RECT place = RectInClient(box, child);
        row.left = std::min(row.left, place.left);
        row.right = std::max(row.right, place.right);
        buttons.push_back(child);
    }
    int shift = buttons.empty() ? 0 : (clientWidth - (row.right - row.left)) / 2 - row.left;
    for (HWND button : buttons) {
        RECT place = RectInClient(box, button);
        SetWindowPos(button, nullptr, place.left + shift, place.top + grow, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    int width = areaWidth;
    int height = window.bottom - window.top + grow;
    int top = std::max<int>(area.top, area.top + (area.bottom - area.top - height) / 2);
    SetWindowPos(box, nullptr, area.left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}
