// Helpers shared by the pages and their dialogs: combo-box item data, the country code of a
// location, the set-up of full-screen dialogs and the applet's message boxes.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

// Item data of the selected entry of combo box control in window; 0 when nothing is selected.
LPARAM GetSelItemData(HWND window, int control);
// Clears the selection, then selects the first entry whose item data is value (none: no selection).
void SelectItemByData(HWND window, int control, LPARAM value);
// Country code of the first record of the loaded country table with this location id, or 0.
// Does not load the table.
uint16_t CountryCodeOf(uint32_t id);

// "Detect" of a location list: asks the network for its country code and selects the first location
// of that code in control, else shows "Autodetection failed !". A table that cannot be read is shown
// with ShowTableError and ends it: false then, true when the network was asked (code set, maybe 0).
bool DetectLocation(HWND window, int control, int& code);

// A full-screen dialog on the phone: the soft keys "OK" (1) and "Cancel" (2) of menu 132 as its
// menu bar, then sized to the screen with the done button and the input panel down.
void InitFullScreenDialog(HWND dialog);

// A database text (8-bit, ANSI code page, at most bytes long or up to its zero) as UTF-16 in out,
// cut to room - 1 characters and zero-terminated.
void WidenDatabaseText(const char* text, size_t bytes, wchar_t* out, int room);

// Text string textId in a box owned by owner: caption string 102, OK and the exclamation icon
// unless type says other buttons and icon. Returns the button pressed.
int ShowMessage(HWND owner, UINT textId, UINT type = MB_OK | MB_ICONEXCLAMATION);
