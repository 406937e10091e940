#include "pages/phone.h"

#include <string>

#include "base/registry.h"
#include "data/fileset.h"
#include "resources/resource.h"

CFrmPhone::CFrmPhone() : CFrmPage(IDD_PHONE, IDC_PHONE_TITLE) {}

LRESULT CFrmPhone::OnCommand(WPARAM wParam, LPARAM lParam)
{
    LRESULT answer = CFrmPage::OnCommand(wParam, lParam);  // OK saves there
    if (wParam == IDOK || wParam == IDCANCEL)
        EndDialog(window, wParam);
    return answer;
}

bool CFrmPhone::OnApply()
{
    LONG failure = Save();
    if (failure == ERROR_SUCCESS)
        return true;
    ShowSaveFailure(std::wstring(L"HKEY_CURRENT_USER\\") + kSettingsKey + L"\\PhoneSettings",
                    SystemErrorText(DWORD(failure)), IDS_SAVE_SETTING_KEPT);
    return false;
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

LONG CFrmPhone::Save()
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
    if (!key.Handle())
        return key.Error() ? key.Error() : LONG(ERROR_INVALID_HANDLE);
    CRegValue stored = key.Value("PhoneSettings");
    stored.SetNumber(value);
    return stored.Error();
}
