// "General": card dialing on or off and the card profiles; its OK saves the stores and publishes
// the dialer configuration.
#pragma once
#include "data/stores.h"
#include "pages/frmutils.h"

class CFrmProvider;

class CFrmGeneral : public CFrmPage {
public:
    // provider: the Card settings page, told of every change of the current profile and read when
    // publishing.
    explicit CFrmGeneral(CFrmProvider& provider);

    // OK (1): "Enable", "profiles.dat", "settings.dat" when it holds records, then publishing.
    // The profile list and New, Edit, Delete. Every command then goes to the form's version.
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;

    // save: "Enable" from the radio buttons; else the radio buttons from "Enable" and the Card
    // settings page's provider refreshed.
    void SyncEnable(bool save);
    // The dialer configuration from this page's current profile and the Card settings page; a
    // database table that fails to load is shown and nothing from it is written.
    void PublishDialerConfig();

    // The profile the list shows as current: a record of the profile store, or none.
    ProfileRecord* currentProfile = nullptr;

protected:
    // The profiles from "profiles.dat", read anew for this opening, and "Enable".
    void OnInitPage() override;

private:
    // Appends every profile of the store to the list (which it never empties) and enables Edit
    // and Delete when there is one.
    void FillProfiles();
    void Apply();
    void SelectionChanged();
    void NewProfile();
    void EditProfile();
    void DeleteProfile();
    // Appends name with item data index to the list and selects it.
    void AddSelected(const wchar_t* name, unsigned index);
    void EnableEditing(bool enable);

    CFrmProvider& provider;
};
