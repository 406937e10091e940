// "Card settings": the current profile's card provider, the current location and the dialing
// sequences of the provider. It writes nothing itself: the General page's OK saves and publishes.
#pragma once
#include <cstdint>

#include "data/stores.h"
#include "pages/frmutils.h"

class CFrmProvider : public CFrmPage {
public:
    CFrmProvider();

    // The location list switches Local/Home calls; Detect; the three sequence buttons. OK is
    // ignored; every command then goes to the dialog's version.
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;
    // On PSN_SETACTIVE: when the installation folder holds another set of database files than the
    // page shows, the tables are emptied and the page filled again from the new set.
    LRESULT OnNotify(WPARAM wParam, NMHDR* header) override;

    // Takes the profile store's current profile and shows its provider (the box only once the
    // page was initialised). Also called while the page has no window.
    void UpdateProvider();
    // The locations of "country.dat", the stored one or else the detected one selected, and the
    // Local/Home calls button for it.
    void FillLocations();
    // Location list, sequence buttons and Detect enabled exactly when a profile exists (once initialised).
    void EnableControls();

    // Whether the page's controls were ever made: set once the page was first shown, never cleared.
    bool initialised = false;
    // The profile store's current profile, or none; kept while the page has no window.
    ProfileRecord* currentProfile = nullptr;
    // DatabaseGeneration() when the location list was filled.
    unsigned shownGeneration = 0;

protected:
    void OnInitPage() override;

private:
    // "Local calls" when the location's country code code is the profile's home, else "Home calls".
    void ShowCallsButton(uint32_t code);
    // The location list from "country.dat", stored selected else detected; false after a table
    // error (shown).
    bool FillLocationList(DWORD stored);
    void Detect();
    // Runs the sequence editor on slot of the card settings of (provider, location, home); the
    // record is created only when the editor ends with OK.
    void EditSequence(int slot);
};
