#include "pages/phone.h"

#include "base/registry.h"
#include "resources/resource.h"

CFrmPhone::CFrmPhone() : CFrmPage(IDD_PHONE, IDC_PHONE_TITLE) {}

LRESULT CFrmPhone::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (wParam == IDOK) {
        Save();
        EndDialog(window, IDOK);
    } else if (wParam == IDCANCEL) {
        EndDialog(window, IDCANCEL);
    }
    return CFormWnd::OnCommand(wParam, lParam);
}

void CFrmPhone::OnInitPage()
{
    Load();
}

void CFrmPhone::Load()
{
    CRegKey key(HKEY_CURRENT_USER, kSettingsKey);
    CRegValue stored = key.Value("PhoneSettings");
    DWORD value = kPhoneDefault;
    stored.GetNumber(value, kPhoneDefault);
    CheckDlgButton(window, IDC_ASK_BEFORE_DIALING, (value & kPhoneAskFirst) ? BST_CHECKED : BST_UNCHECKED);
    // The radio buttons are always set as a pair.
    CheckDlgButton(window, IDC_ALL_CALLS, (value & kPhoneAllCalls) ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(window, IDC_TRAVEL_CALLS, (value & kPhoneAllCalls) ? BST_UNCHECKED : BST_CHECKED);
    CheckDlgButton(window, IDC_CUSTOM_DIALER, (value & kPhoneCustomDialer) ? BST_CHECKED : BST_UNCHECKED);
}

void CFrmPhone::Save()
{
    // Bit 1 follows "All outgoing calls" alone; the other bits than these three are dropped.
    DWORD value = 0;
    if (IsDlgButtonChecked(window, IDC_ASK_BEFORE_DIALING) == BST_CHECKED)
        value |= kPhoneAskFirst;
    if (IsDlgButtonChecked(window, IDC_ALL_CALLS) == BST_CHECKED)
        value |= kPhoneAllCalls;
    if (IsDlgButtonChecked(window, IDC_CUSTOM_DIALER) == BST_CHECKED)
        value |= kPhoneCustomDialer;
    CRegKey key(HKEY_CURRENT_USER, kSettingsKey);
    key.Value("PhoneSettings").SetNumber(value);
}
