#include "pages/provider.h"

#include <commctrl.h>

#include "base/registry.h"
#include "data/datafile.h"
#include "data/records.h"
#include "pages/dlgcard.h"
#include "pages/dlgutils.h"
#include "phone/phoneline.h"
#include "resources/resource.h"

namespace {

const int kControls[] = {IDC_LOCATIONS, IDC_INTERNATIONAL_CALLS, IDC_LOCAL_CALLS, IDC_HOME_CALLS, IDC_DETECT};

}  // namespace

CFrmProvider::CFrmProvider() : CFrmPage(IDD_PROVIDER, IDC_PROVIDER_TITLE) {}

void CFrmProvider::OnInitPage()
{
    FillLocations();
    if (profileStore.Count() == 0)
        ShowMessage(window, IDS_ADD_PROFILE_FIRST);
    initialised = true;
    UpdateProvider();
}

void CFrmProvider::EnableControls()
{
    if (!initialised)
        return;
    bool enable = uint16_t(profileStore.Count()) > 0;
    for (int id : kControls)
        EnableWindow(GetDlgItem(window, id), enable);
}

void CFrmProvider::UpdateProvider()
{
    EnableControls();
    ProfileRecord* record = nullptr;
    currentProfile = profileStore.Get(profileStore.Current(), record) ? record : nullptr;
    if (!currentProfile || !initialised || !window)
        return;
    // The first profile made after the page was shown decides between Local and Home calls at once.
    ShowCallsButton(CountryCodeOf(uint32_t(GetSelItemData(window, IDC_LOCATIONS))));
    try {
        LoadProviderTable();
    } catch (const CTableException& error) {
        ShowTableError(window, error);
        return;
    }
    // A load that found a new set of database files emptied the country table the list came from.
    if (shownGeneration != DatabaseGeneration())
        FillLocations();
    if (record->provider > 0xFFFF)
        return;  // -1 from an empty provider list names no provider
    if (ProviderRecord* provider = FindProvider(providerTable, uint16_t(record->provider))) {
        wchar_t name[60];
        WidenDatabaseText(provider->displayName, sizeof(provider->displayName), name, 60);
        SetDlgItemTextW(window, IDC_CARD_PROVIDER, name);
    }
}

void CFrmProvider::FillLocations()
{
    EnableControls();
    DWORD stored = 0;
    {
        CRegKey root(HKEY_CURRENT_USER, kSettingsKey);
        stored = root.Value("CurrentLocation").GetNumber();
    }
    // Filled again when a load on the way (detection reads "providers.dat") met a new set of files.
    for (int tries = 0; tries < 3; ++tries) {
        unsigned generation = DatabaseGeneration();
        if (!FillLocationList(stored))
            return;
        shownGeneration = generation;
        if (generation == DatabaseGeneration())
            break;
    }
    ShowCallsButton(CountryCodeOf(uint32_t(GetSelItemData(window, IDC_LOCATIONS))));
}

bool CFrmProvider::FillLocationList(DWORD stored)
{
    HWND list = GetDlgItem(window, IDC_LOCATIONS);
    try {
        int detected = stored ? 0 : DetectCurrentLocation();
        LoadCountryTable();
        SendMessageW(list, CB_RESETCONTENT, 0, 0);
        for (CountryRecord* country = countryTable.Next(true); country; country = countryTable.Next(false)) {
            wchar_t name[32];
            WidenDatabaseText(country->name, sizeof(country->name), name, 32);
            LRESULT entry = SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
            SendMessageW(list, CB_SETITEMDATA, WPARAM(entry), country->id);
            // Of several countries with the detected code the last one stays selected.
            if (stored ? country->id == stored : country->code == detected)
                SendMessageW(list, CB_SETCURSEL, WPARAM(entry), 0);
        }
    } catch (const CTableException& error) {
        ShowTableError(window, error);
        return false;
    }
    return true;
}

LRESULT CFrmProvider::OnNotify(WPARAM wParam, NMHDR* header)
{
    // Shown again: the files may have been replaced meanwhile by another program.
    if (header && header->code == UINT(PSN_SETACTIVE) && initialised) {
        CheckDatabaseSet();
        if (shownGeneration != DatabaseGeneration()) {
            FillLocations();
            UpdateProvider();
        }
    }
    return CFrmPage::OnNotify(wParam, header);
}

void CFrmProvider::ShowCallsButton(uint32_t code)
{
    bool local = currentProfile && currentProfile->homeCode == code;
    ShowWindow(GetDlgItem(window, IDC_LOCAL_CALLS), local ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(window, IDC_HOME_CALLS), local ? SW_HIDE : SW_SHOW);
}

LRESULT CFrmProvider::OnCommand(WPARAM wParam, LPARAM lParam)
{
    WORD id = LOWORD(wParam), code = HIWORD(wParam);
    if (id == IDC_LOCATIONS)
        ShowCallsButton(CountryCodeOf(initialised ? uint32_t(GetSelItemData(window, IDC_LOCATIONS)) : 0));
    else if (id == IDC_DETECT && code == BN_CLICKED)
        Detect();
    else if (id == IDC_INTERNATIONAL_CALLS && code == BN_CLICKED)
        EditSequence(0);
    else if ((id == IDC_LOCAL_CALLS || id == IDC_HOME_CALLS) && code == BN_CLICKED)
        EditSequence(1);
    // OK saves nothing here: the General page's OK saves the card settings and the location.
    return CDialog::OnCommand(wParam, lParam);
}

void CFrmProvider::Detect()
{
    int code = 0;
    if (DetectLocation(window, IDC_LOCATIONS, code))
        ShowCallsButton(uint32_t(code));
}

void CFrmProvider::EditSequence(int slot)
{
    CDlgCard editor;
    if (!currentProfile) {
        ShowMessage(window, IDS_NO_CARD_PROVIDER);
        return;
    }
    if (cardSettingsStore.IsEmpty())
        if (CString* path = GetDataPath(L"settings.dat"))
            cardSettingsStore.Load(path->Text());
    // The provider and its access numbers come from the set the page shows.
    CheckDatabaseSet();
    if (shownGeneration != DatabaseGeneration()) {
        FillLocations();
        UpdateProvider();
    }

    // The provider table as UpdateProvider loaded it; not loaded here.
    wchar_t shortName[16] = {};
    if (currentProfile->provider <= 0xFFFF)
        if (ProviderRecord* provider = FindProvider(providerTable, uint16_t(currentProfile->provider)))
            WidenDatabaseText(provider->shortName, sizeof(provider->shortName), shortName, 16);
    uint16_t code = CountryCodeOf(uint32_t(GetSelItemData(window, IDC_LOCATIONS)));
    editor.countryCode = code;
    try {
        // Kept while it holds this provider's file, so repeated opens read the file once.
        LoadAccessNumberTable(shortName);
    } catch (const CTableException&) {
        // The editor offers whatever numbers were read.
    }
    editor.accessNumbers = &accessNumberTable;

    int32_t provider = int32_t(currentProfile->provider), home = int32_t(currentProfile->homeCode);
    CardSettingsRecord* record = nullptr;
    if (cardSettingsStore.Find(provider, code, home, record)) {
        CardSettingsStore::GetSequence(*record, slot, editor.sequence, editor.sequenceLength);
        lstrcpynW(editor.accessNumber, record->accessNumbers[slot], 20);
    } else {
        record = nullptr;
    }
    if (editor.DoModal(this) != IDOK)
        return;
    if (!record)
        record = cardSettingsStore.FindOrAdd(provider, code, home);
    if (!record)
        return;  // the store is full
    CardSettingsStore::SetSequence(*record, slot, editor.sequence, editor.sequenceLength);
    lstrcpynW(record->accessNumbers[slot], editor.accessNumber, 20);
}
