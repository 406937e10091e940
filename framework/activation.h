// Which windows were last activated; the application's message loops route input by them.
#pragma once
#include <windows.h>

// The dialog window that last became active; 0 once a dialog was deactivated.
extern HWND activeDialogWindow;
// The window that last became active.
extern HWND activeWindow;
