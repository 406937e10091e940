// "General": card dialing on or off and the card profiles; its OK saves the stores and publishes
// the dialer configuration.
#pragma once
#include <optional>
#include <string>

#include "data/datafile.h"
#include "data/fileset.h"
#include "data/stores.h"
#include "pages/frmutils.h"

class CFrmProvider;

// How long OK waits for another program's lock on the installation folder before it says so.
constexpr DWORD kSaveLockWait = 500;

// Why a save failed, for the box: string 1061 when another writer held the folder, else the
// system's text, or string 1062 without one.
std::wstring SaveFailureReason(const FileSetError& error);

class CFrmGeneral : public CFrmPage {
public:
    // provider: the Card settings page, told of every change of the current profile and read when
    // publishing.
    explicit CFrmGeneral(CFrmProvider& provider);

    // The profile list and New, Edit, Delete; every command (OK too) then goes to the page's version.
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
    // "profiles.dat" and "settings.dat" (when it holds records) as one set, then "Enable" and
    // publishing; a save that fails is shown and nothing else is written (false).
    bool OnApply() override;

private:
    // Appends every profile of the store to the list (which it never empties) and enables Edit
    // and Delete when there is one.
    void FillProfiles();
    // Replaces the stores' files as one set under writer's lock (taken here, with a short wait for
    // the folder, when it holds none); false with the error and the path of the file it concerns.
    bool SaveUserFiles(FolderWriter& writer, FileSetError& error, std::wstring& file);
    // Publishes the dialer configuration; the table failure to show, if any. held: the folder lock
    // the caller holds, or none.
    std::optional<CTableException> PublishValues(const FolderLock* held);
    void SelectionChanged();
    void NewProfile();
    void EditProfile();
    void DeleteProfile();
    // Appends name with item data index to the list and selects it.
    void AddSelected(const wchar_t* name, unsigned index);
    void EnableEditing(bool enable);

    CFrmProvider& provider;
};
