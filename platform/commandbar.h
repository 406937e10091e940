// Desktop stand-ins for the device's command bar and caption-button drawing.
// The command bar is a flat toolbar across the top of its parent; a menu bar inserted into it shows
// one button per top-level menu item: a popup opens its menu (commands go to the bar's parent), a
// plain item sends its command to the parent.
#pragma once
#include <windows.h>

// The device's OK caption button for DrawFrameControl(DFC_CAPTION); the desktop has none.
#define DFCS_CAPTIONOKBTN 0x0080

// A visible command bar child of parent with control id; null on failure.
HWND CommandBar_Create(HINSTANCE instance, HWND parent, int id);
// Inserts menu resource menuId of instance as buttons before button index button; FALSE on failure.
BOOL CommandBar_InsertMenubar(HWND commandBar, HINSTANCE instance, WORD menuId, WORD button);
// Shows or hides the bar; returns whether it was visible.
BOOL CommandBar_Show(HWND commandBar, BOOL show);
// DrawFrameControl that also knows DFCS_CAPTIONOKBTN under DFC_CAPTION.
BOOL DrawCaptionFrame(HDC dc, RECT* rect, UINT state);
