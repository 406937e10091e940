#include "framework/wnd.h"

#include "framework/activation.h"

LRESULT CWnd::Hook(WPARAM, LPARAM)
{
    return 0;
}

void CWnd::OnTimer(UINT_PTR)
{
}

LRESULT CWnd::OnNotify(WPARAM, NMHDR*)
{
    return 0;
}

LRESULT CWnd::OnCommand(WPARAM, LPARAM)
{
    return 0;
}

void CWnd::OnInitMenuPopup(HMENU, UINT)
{
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ACTIVATE && wParam)
        activeWindow = window;
    return DefWindowProcW(window, message, wParam, lParam);
}

BOOL CWnd::Destroy()
{
    return DestroyWindow(window);
}

BOOL CWnd::Show(int command)
{
    return ShowWindow(window, command);
}
