#include "pages/general.h"

#include <commctrl.h>

#include "base/module.h"
#include "base/path.h"
#include "data/datafile.h"
#include "data/fileset.h"
#include "data/records.h"
#include "data/safefile.h"
#include "pages/dialerconfig.h"
#include "pages/dlgprofile.h"
#include "pages/dlgutils.h"
#include "pages/provider.h"
#include "resources/resource.h"

CFrmGeneral::CFrmGeneral(CFrmProvider& provider) : CFrmPage(IDD_GENERAL, IDC_GENERAL_TITLE), provider(provider) {}

void CFrmGeneral::OnInitPage()
{
    // Each opening shows what the files hold: the stores outlive a sheet left with Cancel, and
    // loading appends, so what an earlier opening kept in memory goes first (a profile must never
    // be listed twice, and an edit that was cancelled must not be saved by a later OK).
    currentProfile = nullptr;
    profileStore.Clear();
    cardSettingsStore.Clear();
    if (CString* path = GetDataPath(L"profiles.dat"))
        profileStore.Load(path->Text());
    FillProfiles();
    SyncEnable(false);
}

void CFrmGeneral::FillProfiles()
{
    uint16_t count = uint16_t(profileStore.Count());
    if (count > 0) {
        // A stored index out of range makes the first profile current: what the list shows
        // selected is what Card settings shows and what OK publishes.
        if (profileStore.Current() >= count)
            profileStore.SetCurrent(0);
        unsigned current = profileStore.Current();
        for (unsigned i = 0; i < count; ++i) {
            ProfileRecord* record = nullptr;
            if (!profileStore.Get(i, record))
                continue;
            currentProfile = record;
            LRESULT entry = SendDlgItemMessageW(window, IDC_PROFILES, CB_ADDSTRING, 0,
                                                reinterpret_cast<LPARAM>(record->name));
            SendDlgItemMessageW(window, IDC_PROFILES, CB_SETITEMDATA, WPARAM(entry), LPARAM(i));
            if (i == current)
                SendDlgItemMessageW(window, IDC_PROFILES, CB_SETCURSEL, WPARAM(entry), 0);
        }
        ProfileRecord* record = nullptr;
        if (profileStore.Get(current, record))
            currentProfile = record;
    }
    EnableEditing(count >= 1);
}

void CFrmGeneral::EnableEditing(bool enable)
{
    EnableWindow(GetDlgItem(window, IDC_EDIT_PROFILE), enable);
    EnableWindow(GetDlgItem(window, IDC_DELETE_PROFILE), enable);
}

void CFrmGeneral::AddSelected(const wchar_t* name, unsigned index)
{
    wchar_t text[32];
    lstrcpynW(text, name, 32);
    LRESULT entry = SendDlgItemMessageW(window, IDC_PROFILES, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    SendDlgItemMessageW(window, IDC_PROFILES, CB_SETCURSEL, WPARAM(entry), 0);
    SendDlgItemMessageW(window, IDC_PROFILES, CB_SETITEMDATA, WPARAM(entry), LPARAM(index));
}

LRESULT CFrmGeneral::OnCommand(WPARAM wParam, LPARAM lParam)
{
    WORD id = LOWORD(wParam), code = HIWORD(wParam);
    if (id == IDC_PROFILES && code == CBN_SELCHANGE)
        SelectionChanged();
    else if (id == IDC_NEW_PROFILE && code == BN_CLICKED)
        NewProfile();
    else if (id == IDC_EDIT_PROFILE && code == BN_CLICKED)
        EditProfile();
    else if (id == IDC_DELETE_PROFILE && code == BN_CLICKED)
        DeleteProfile();
    return CFrmPage::OnCommand(wParam, lParam);
}

namespace {

std::wstring LoadText(UINT id)
{
    CString text;
    text.LoadResource(moduleInstance, id);
    return text.Text();
}

}  // namespace

std::wstring SaveFailureReason(const FileSetError& error)
{
    return error.folderBusy ? LoadText(IDS_SAVE_FOLDER_BUSY)
           : error.code     ? SystemErrorText(error.code)
                            : LoadText(IDS_SAVE_NOT_WHOLE);
}

bool CFrmGeneral::SaveUserFiles(FolderWriter& writer, FileSetError& error, std::wstring& file)
{
    file = profileStore.Path();
    std::string profiles, settings;
    if (!profileStore.Encode(profiles, &error))
        return false;
    // A store never loaded in this opening is empty and leaves "settings.dat" as it is.
    bool withSettings = cardSettingsStore.Count() > 0;
    if (withSettings && !cardSettingsStore.Encode(settings, &error)) {
        file = cardSettingsStore.Path();
        return false;
    }
    // One set: the registry is published only when both files hold what it will describe.
    std::wstring folder, name, settingsFolder, settingsName;
    SplitPath(profileStore.Path(), folder, name);
    SplitPath(cardSettingsStore.Path(), settingsFolder, settingsName);
    FileSet set(folder);
    bool saved = set.Add(name, std::move(profiles));
    if (withSettings && saved && SameName(settingsFolder, folder.c_str())) {
        saved = set.Add(settingsName, std::move(settings));
        withSettings = false;
    }
    saved = saved && set.Commit(writer, kSaveLockWait);
    error = set.Error();
    if (saved && withSettings) {  // a store kept elsewhere is saved on its own, after the profiles
        saved = cardSettingsStore.Save(&writer, &error);
        file = cardSettingsStore.Path();
    }
    if (!saved) {
        if (error.file.empty())
            error.code = ERROR_INVALID_NAME;  // a path that names no file
        else if (SameName(error.file, cardSettingsStore.Path()))
            file = cardSettingsStore.Path();
        return false;
    }
    KeepDatabaseSetAfterOwnWrite(writer.Lock());
    return true;
}

bool CFrmGeneral::OnApply()
{
    FileSetError error;
    std::wstring file;
    std::optional<CTableException> failure;
    bool saved = false;
    {
        // Held until published: the tables still to load are read under it (a read on the thread
        // that holds the folder's lock borrows it), so they and the saved files are of one set.
        // Let go before any message.
        FolderWriter writer(kSaveLockWait);
        saved = SaveUserFiles(writer, error, file);
        if (saved) {
            SyncEnable(true);
            failure = PublishValues(&writer.Lock());
        }
    }
    if (!saved) {
        // Nothing is published: the registry never describes profiles that the file does not hold.
        ShowSaveFailure(file, SaveFailureReason(error), IDS_SAVE_CHANGES_KEPT);
        return false;
    }
    if (failure)
        ShowTableError(window, *failure);
    return true;
}

void CFrmGeneral::SelectionChanged()
{
    unsigned index = unsigned(GetSelItemData(window, IDC_PROFILES));
    ProfileRecord* record = nullptr;
    if (profileStore.Get(index, record)) {
        currentProfile = record;
        profileStore.SetCurrent(index);
    }
    provider.UpdateProvider();
}

void CFrmGeneral::NewProfile()
{
    CDlgProfileName dialog(nullptr);
    if (dialog.DoModal(this) != IDOK || !dialog.profile)
        return;
    currentProfile = dialog.profile;
    AddSelected(dialog.profile->name, dialog.profileIndex);
    profileStore.SetCurrent(dialog.profileIndex);
    provider.UpdateProvider();
    EnableEditing(true);
}

void CFrmGeneral::EditProfile()
{
    LRESULT selected = SendDlgItemMessageW(window, IDC_PROFILES, CB_GETCURSEL, 0, 0);
    if (selected < 0 || !currentProfile)
        return;
    CDlgProfileName dialog(currentProfile);
    if (dialog.DoModal(this) != IDOK)
        return;
    // The record changed in place; its entry moves to the end until the list is next filled, and
    // the item data keeps the way to the store.
    currentProfile = dialog.profile;
    SendDlgItemMessageW(window, IDC_PROFILES, CB_DELETESTRING, WPARAM(selected), 0);
    AddSelected(currentProfile->name, profileStore.Current());
    provider.UpdateProvider();
}

void CFrmGeneral::DeleteProfile()
{
    profileStore.Remove(profileStore.Current());
    SendDlgItemMessageW(window, IDC_PROFILES, CB_RESETCONTENT, 0, 0);
    ProfileRecord* first = nullptr;
    if (profileStore.Get(0, first)) {
        currentProfile = first;
        profileStore.SetCurrent(0);
    } else {
        currentProfile = nullptr;
    }
    FillProfiles();
    provider.UpdateProvider();
}

void CFrmGeneral::SyncEnable(bool save)
{
    DialerPageInputs inputs;
    if (save) {
        inputs.enableChecked = IsDlgButtonChecked(window, IDC_ENABLE) == BST_CHECKED;
        SyncEnableValue(true, inputs);
        return;
    }
    SyncEnableValue(false, inputs);
    CheckDlgButton(window, IDC_ENABLE, inputs.enableChecked ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(window, IDC_DISABLE, inputs.enableChecked ? BST_UNCHECKED : BST_CHECKED);
    provider.UpdateProvider();
}

void CFrmGeneral::PublishDialerConfig()
{
    if (std::optional<CTableException> failure = PublishValues(nullptr))
        ShowTableError(window, *failure);
}

std::optional<CTableException> CFrmGeneral::PublishValues(const FolderLock* held)
{
    DialerPageInputs inputs;
    inputs.databaseSetHeld = held && DatabaseSetHeldBy(*held);
    inputs.cardSettingsInitialised = provider.initialised;
    // A page opened in an earlier opening of the sheet has no window now: no selection, no text.
    if (provider.initialised && provider.window) {
        inputs.selectedLocation = DWORD(GetSelItemData(provider.window, IDC_LOCATIONS));
        GetDlgItemTextW(provider.window, IDC_LOCATIONS, inputs.locationText, 260);
    }
    inputs.profile = currentProfile;
    return PublishDialerValues(inputs);
}
