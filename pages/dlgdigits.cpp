#include "pages/dlgdigits.h"

#include "platform/shell.h"
#include "resources/resource.h"

CDlgDigits::CDlgDigits() : CDialog(IDD_DIGITS) {}

INT_PTR CDlgDigits::OnInitDialog(WPARAM wParam, LPARAM lParam)
{
    SetFocus(GetDlgItem(window, IDC_DIGITS));
    SHSipPreference(window, SIP_UP);
    return CDialog::OnInitDialog(wParam, lParam);
}

LRESULT CDlgDigits::OnCommand(WPARAM wParam, LPARAM lParam)
{
    WORD command = LOWORD(wParam);
    if (command == IDOK)
        GetDlgItemTextW(window, IDC_DIGITS, digits, 16);
    if (command == IDOK || command == IDCANCEL) {
        SHSipPreference(window, SIP_DOWN);
        EndDialog(window, command);
    }
    return CDialog::OnCommand(wParam, lParam);
}
