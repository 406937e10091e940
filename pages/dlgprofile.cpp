#include "pages/dlgprofile.h"

#include <cstring>

#include "data/datafile.h"
#include "data/records.h"
#include "pages/dlgutils.h"
#include "phone/phoneline.h"
#include "platform/shell.h"
#include "resources/resource.h"

namespace {

void AddEntry(HWND box, const char* text, size_t size, LPARAM data)
{
    wchar_t wide[64];
    WidenDatabaseText(text, size - 1, wide, 64);
    LRESULT index = SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide));
    if (index >= 0)
        SendMessageW(box, CB_SETITEMDATA, WPARAM(index), data);
}

}  // namespace

CDlgProfileName::CDlgProfileName(ProfileRecord* profile) : CDialog(IDD_PROFILE), profile(profile) {}

INT_PTR CDlgProfileName::OnInitDialog(WPARAM wParam, LPARAM lParam)
{
    InitFullScreenDialog(window);
    SetFocus(GetDlgItem(window, IDC_PROFILE_NAME));
    SHSipPreference(window, SIP_UP);
    try {
        // Both lists from one set of database files: filled again when a load met a new set.
        CheckDatabaseSet();
        for (int tries = 0; tries < 3; ++tries) {
            unsigned generation = DatabaseGeneration();
            FillLists();
            if (generation == DatabaseGeneration())
                break;
        }
    } catch (const CTableException& error) {
        // The dialog still opens, with the lists as far as they were filled.
        ShowTableError(window, error);
    }
    if (profile) {
        wchar_t text[32];
        lstrcpynW(text, profile->name, 32);
        SetDlgItemTextW(window, IDC_PROFILE_NAME, text);
        lstrcpynW(text, profile->account, 16);
        SetDlgItemTextW(window, IDC_PROFILE_ACCOUNT, text);
        lstrcpynW(text, profile->pin, 16);
        SetDlgItemTextW(window, IDC_PROFILE_PIN, text);
    }
    return CDialog::OnInitDialog(wParam, lParam);
}

// Throws CTableException from the tables' first loads and from detection's operator table.
void CDlgProfileName::FillLists()
{
    HWND providers = GetDlgItem(window, IDC_PROFILE_PROVIDER);
    LoadProviderTable();
    SendMessageW(providers, CB_RESETCONTENT, 0, 0);
    for (ProviderRecord* record = providerTable.Next(true); record; record = providerTable.Next(false)) {
        AddEntry(providers, record->displayName, sizeof(record->displayName), record->id);
        if (profile && profile->provider == record->id)
            SendMessageW(providers, CB_SETCURSEL, SendMessageW(providers, CB_GETCOUNT, 0, 0) - 1, 0);
    }
    if (SendMessageW(providers, CB_GETCURSEL, 0, 0) < 0)
        SendMessageW(providers, CB_SETCURSEL, 0, 0);

    // Without a stored home location the network's country is taken; of several countries with
    // that code the last one stays selected.
    uint32_t home = profile ? profile->homeId : 0;
    int detected = home ? 0 : DetectCurrentLocation();
    HWND homes = GetDlgItem(window, IDC_PROFILE_HOME);
    LoadCountryTable();
    SendMessageW(homes, CB_RESETCONTENT, 0, 0);
    for (CountryRecord* record = countryTable.Next(true); record; record = countryTable.Next(false)) {
        AddEntry(homes, record->name, sizeof(record->name), record->id);
        if (home ? record->id == home : record->code == detected)
            SendMessageW(homes, CB_SETCURSEL, SendMessageW(homes, CB_GETCOUNT, 0, 0) - 1, 0);
    }
}

void CDlgProfileName::Save()
{
    // Read everything first, then write the record.
    ProfileRecord values{};
    GetDlgItemTextW(window, IDC_PROFILE_NAME, values.name, 32);
    GetDlgItemTextW(window, IDC_PROFILE_ACCOUNT, values.account, 16);
    GetDlgItemTextW(window, IDC_PROFILE_PIN, values.pin, 16);
    // With an empty provider list this is the combo box's error value, -1, which names no provider.
    LRESULT provider = SendDlgItemMessageW(window, IDC_PROFILE_PROVIDER, CB_GETCURSEL, 0, 0);
    values.provider = uint32_t(SendDlgItemMessageW(window, IDC_PROFILE_PROVIDER, CB_GETITEMDATA, WPARAM(provider), 0));
    values.homeId = uint32_t(GetSelItemData(window, IDC_PROFILE_HOME));
    values.homeCode = CountryCodeOf(values.homeId);

    if (!profile) {
        uint16_t index = profileStore.AddNew();
        ProfileRecord* added = nullptr;
        if (!profileStore.Get(index, added))
            return;
        profile = added;
        profileIndex = index;
    }
    *profile = values;
}

void CDlgProfileName::Detect()
{
    int code = 0;
    DetectLocation(window, IDC_PROFILE_HOME, code);
}

LRESULT CDlgProfileName::OnCommand(WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(wParam)) {
    case IDOK:
        if (GetWindowTextLengthW(GetDlgItem(window, IDC_PROFILE_NAME)) == 0) {
            EndDialog(window, IDCANCEL);
            break;
        }
        Save();
        EndDialog(window, IDOK);
        break;
    case IDCANCEL:
        EndDialog(window, IDCANCEL);
        break;
    case IDC_PROFILE_DETECT:
        Detect();
        break;
    }
    return CDialog::OnCommand(wParam, lParam);
}
