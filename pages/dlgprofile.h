// "Dialpass profile": creates or edits one card profile of the profile store.
#pragma once
#include <windows.h>
#include <cstdint>

#include "data/stores.h"
#include "framework/dialog.h"

class CDlgProfileName : public CDialog {
public:
    // profile: the store's record to edit, or null for a new profile (added on OK only).
    explicit CDlgProfileName(ProfileRecord* profile = nullptr);
    ~CDlgProfileName() override = default;

    // OK: an empty name ends as Cancel (2); otherwise writes the record and ends with 1.
    // "Detect": selects the first home location of the network's country code.
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;
    // Menu bar and full screen, the provider and home location lists, the profile's texts.
    INT_PTR OnInitDialog(WPARAM wParam, LPARAM lParam) override;

    // The record edited; after OK on a new profile the record that was added.
    ProfileRecord* profile;
    // Store index of the record added by OK on a new profile; kNoIndex otherwise.
    static const uint16_t kNoIndex = 0xFFFF;
    uint16_t profileIndex = kNoIndex;

private:
    void FillLists();
    void Save();
    void Detect();
};
