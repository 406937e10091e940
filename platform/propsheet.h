// The device's full-screen property sheet on the desktop. The device flag PSH_MAXIMIZE (0x2000)
// means PSH_WIZARD97 here, so the sheet is maximised by hand instead.
#pragma once
#include <windows.h>

// Sizes the sheet to the work area, keeps the buttons in their corner, gives the tab control the
// rest of the sheet and fits every page that already has a window; from then on the sheet does this
// again whenever the work area changes.
void MaximizeSheet(HWND sheet);
// Sizes a page to its sheet's tab display area; nothing when page's parent is not a sheet.
void FitPageToSheet(HWND page);
