// The dialer configuration under HKCU\SOFTWARE\Kestrova\Dialpass: the values the separate dialer
// reads on every call, published from the current profile, location and card settings on OK.
#pragma once
#include <windows.h>

#include "data/datafile.h"

// What the pages contribute; the General page fills it from its own and the Card settings page's controls.
struct DialerPageInputs {
    bool cardSettingsInitialised = false;  // the Card settings page has been opened since the applet started
    DWORD selectedLocation = 0;            // item data (a country id) of its "Current location" selection; 0 none
    wchar_t locationText[260] = {};        // that list's current text
    bool enableChecked = false;            // the General page's "Enable" radio button is checked
};

// Writes "CurrentLocation", the "\Defaults" values and "\International" and "\Local" as far as the
// current profile, location and card settings reach. A "country.dat" or "manufacturers.dat" that
// fails to load ends publishing before any value from it is written, empties that table so its next
// use reads the file again, and returns false with the exception in *failure for ShowTableError.
bool PublishDialerConfig(const DialerPageInputs& inputs, CTableException* failure = nullptr);

// save true writes "Enable" from inputs.enableChecked; save false reads it into inputs.enableChecked
// (missing counts as 0), after which the page sets both radio buttons and refreshes the provider box.
void SyncEnable(bool save, DialerPageInputs& inputs);
