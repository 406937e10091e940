#include "pages/dlgwaitfor.h"

#include <commctrl.h>

#include "resources/resource.h"

CDlgWaitFor::CDlgWaitFor(int seconds) : CDialog(IDD_WAIT_FOR), seconds(seconds) {}

INT_PTR CDlgWaitFor::OnInitDialog(WPARAM wParam, LPARAM lParam)
{
    bool timed = seconds != 0;
    CheckDlgButton(window, IDC_WAIT_DIAL_TONE, timed ? BST_UNCHECKED : BST_CHECKED);
    CheckDlgButton(window, IDC_WAIT_TIME, timed ? BST_CHECKED : BST_UNCHECKED);
    EnableTime();
    SetDlgItemInt(window, IDC_WAIT_SECONDS, UINT(timed ? seconds : 2), TRUE);
    // Lower limit 127, upper limit 1: the up arrow counts down, towards the longer waits.
    SendDlgItemMessageW(window, IDC_WAIT_SPIN, UDM_SETRANGE, 0, 0x007F0001);
    SendDlgItemMessageW(window, IDC_WAIT_SPIN, UDM_SETPOS, 0, MAKELPARAM(127, 0));
    return CDialog::OnInitDialog(wParam, lParam);
}

LRESULT CDlgWaitFor::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_VSCROLL && reinterpret_cast<HWND>(lParam) == GetDlgItem(window, IDC_WAIT_SPIN)) {
        int position = short(HIWORD(wParam));
        SetDlgItemInt(window, IDC_WAIT_SECONDS, UINT((128 - position) * 2), TRUE);
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

void CDlgWaitFor::EnableTime()
{
    BOOL timed = IsDlgButtonChecked(window, IDC_WAIT_TIME) == BST_CHECKED;
    EnableWindow(GetDlgItem(window, IDC_WAIT_SECONDS), timed);
    EnableWindow(GetDlgItem(window, IDC_WAIT_SPIN), timed);
}

LRESULT CDlgWaitFor::OnCommand(WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(wParam)) {
    case IDC_WAIT_DIAL_TONE:
    case IDC_WAIT_TIME:
        EnableTime();
        break;
    case IDOK:
        seconds = IsDlgButtonChecked(window, IDC_WAIT_DIAL_TONE) == BST_CHECKED
                      ? 0
                      : int(GetDlgItemInt(window, IDC_WAIT_SECONDS, nullptr, FALSE));
        EndDialog(window, seconds);
        break;
    case IDCANCEL:
        EndDialog(window, -1);
        break;
    }
    return CDialog::OnCommand(wParam, lParam);
}
