// The screen as the applet's windows meet it: the DPI a window is drawn for, and whether high
// contrast is on, asked through calls that older systems and Wine lack or leave unanswered.
#pragma once
#include <windows.h>

// Sent to a per-monitor aware top-level window whose DPI changed (LOWORD(wParam): the new DPI), and
// after it to its children; named here for the systems whose headers stop before them.
const UINT kDpiChanged = 0x02E0;
const UINT kDpiChangedAfterParent = 0x02E3;

// The DPI window is drawn for: its monitor's under per-monitor awareness (GetDpiForWindow where the
// system has it), otherwise the screen's.
int WindowDpi(HWND window);
// Whether the user's high-contrast setting is on. Where the system answers that it has no such
// setting (Wine's SPI_GETHIGHCONTRAST), the value Windows keeps for it under
// HKCU\Control Panel\Accessibility\HighContrast ("Flags") decides.
bool HighContrastOn();
// A length of the 96-dpi design for dpi.
inline int ScaleToDpi(int length, int dpi)
{
    return MulDiv(length, dpi, 96);
}
