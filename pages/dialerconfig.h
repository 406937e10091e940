// The dialer configuration under HKCU\SOFTWARE\Kestrova\Dialpass: the values the separate dialer
// reads on every call, published from the current profile, location and card settings on OK.
// Publishing runs in three steps: gather the sources (registry read, tables loaded as far as
// needed), compute every value from them alone, write the values.
#pragma once
#include <windows.h>

#include <optional>

#include "base/registry.h"
#include "data/datafile.h"
#include "data/records.h"
#include "data/stores.h"

// What the pages contribute; the General page fills it from its own and the Card settings page's controls.
struct DialerPageInputs {
    bool cardSettingsInitialised = false;  // the Card settings page has been opened since the applet started
    DWORD selectedLocation = 0;            // item data (a country id) of its "Current location" selection; 0 none
    wchar_t locationText[260] = {};        // that list's current text
    bool enableChecked = false;            // the General page's "Enable" radio button is checked
    // The General page's current profile, or none. Not re-read from the store's current index,
    // which may lie out of range while the page still shows a profile.
    const ProfileRecord* profile = nullptr;
    // The caller holds the lock of the folder the tables came from: their set cannot change.
    bool databaseSetHeld = false;
};

// Everything publishing reads besides the pages, looked up once by GatherDialerSources; the compute
// step takes these records as they are. Null: not found, or its table failed to load.
struct DialerSources {
    DWORD location = 0;                                // the published location (PublishedLocation); 0 none
    const CountryRecord* country = nullptr;            // the location's record in "country.dat"
    const CardSettingsRecord* cardSettings = nullptr;  // the profile's card settings for that country
    // "manufacturers.dat" was read, so a slot without its own access number can take the provider's.
    bool providersRead = false;
    const AccessNumberRecord* providerNumber = nullptr;  // the provider's first access number for the country
    std::optional<CTableException> failure;              // the table that failed to load
};

// How far one OK reaches; each level writes what the levels before it write and more.
enum DialerReach {
    kReachNameDeleted,  // no location or no profile: only "Name" under "\Defaults" is deleted
    kReachProfile,      // "Name", "AccountNumber", "PIN", "HomeCountryCode"
    kReachLocation,     // and "CountryCode", "CountryName" when countryName is not empty
    kReachSlots,        // and "\International" and "\Local"
};

struct DialerSlotValues {
    DWORD length = 0;
    BYTE sequence[kMaxSequenceBytes] = {};  // always written whole; zero beyond length
    wchar_t accessNumber[kMaxAccessNumberUnits + 1] = {};
};

struct DialerConfigValues {
    DWORD newLocation = 0;  // written as "CurrentLocation" when not 0
    DialerReach reach = kReachNameDeleted;
    wchar_t name[32] = {};
    wchar_t account[16] = {};
    wchar_t pin[16] = {};
    DWORD homeCode = 0;
    DWORD countryCode = 0;
    wchar_t countryName[260] = {};
    DialerSlotValues slots[2];  // "\International", "\Local"
};

// The location publishing uses: the page's selection when the page was opened and has one, else
// the stored value.
DWORD PublishedLocation(const DialerPageInputs& inputs, DWORD storedLocation);
// Whether slot (0 or 1) of record takes its access number from the provider's file; true without a record.
bool SlotUsesProviderNumber(const CardSettingsRecord* record, int slot);

// The pure step: every value from the inputs and the records, touching neither registry nor files.
DialerConfigValues ComputeDialerConfig(const DialerPageInputs& inputs, const DialerSources& sources);
// Reads "CurrentLocation" from settings (the open key HKCU\SOFTWARE\Kestrova\Dialpass), loads what
// computing needs and is still empty and looks its records up: "country.dat", "settings.dat", and
// only when a slot needs the provider's number, "manufacturers.dat" and the provider's access-number
// file (at most once per call). A "country.dat" or "manufacturers.dat" that fails is emptied (its next
// use reads it again), left out of the sources and reported in failure; the access-number file's
// failures are dropped.
DialerSources GatherDialerSources(const CRegKey& settings, const DialerPageInputs& inputs);
// The write step, under settings: exactly the values that values.reach covers; "Sequence" as 128
// bytes of REG_BINARY.
void WriteDialerConfig(const CRegKey& settings, const DialerConfigValues& values);

// Gather, compute, write. The table that failed to load, if any (for ShowTableError): the values
// that do not come from it are written all the same.
std::optional<CTableException> PublishDialerValues(const DialerPageInputs& inputs);

// save true writes "Enable" from inputs.enableChecked; save false reads it into inputs.enableChecked
// (missing counts as 0), after which the page sets both radio buttons and refreshes the provider box.
void SyncEnableValue(bool save, DialerPageInputs& inputs);
