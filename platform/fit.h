// Fitting a template window to the screen it is shown on. The device lays its dialogs out again for
// the screen's size and orientation; here every page and full-screen dialog does the same: after it
// is sized, and whenever its size changes, its controls are placed again for the width it has.
//  - A row of controls (controls whose heights overlap) that reaches the template's right edge
//    follows the window's right edge, its controls sharing the width in the template's proportions;
//    a centred row stays centred; any other row keeps its place unless it would cross the edge.
//  - A picture flush with the left edge is a strip across the top: it spans the window, its picture
//    keeps the part under the controls lying on it and its right end (the logo) at the right.
//  - A caption that no longer fits on one line wraps at words, and the rows below move down.
//  - What does not fit below is reached with the window's vertical scroll bar; a control that gets
//    the keyboard focus out of sight is scrolled into view.
// Only the places on screen change: ids, texts, tab order and the template stay as they are.
#pragma once
#include <windows.h>

// First call: takes window's controls where they stand as the design, designWidth pixels wide (the
// template's width), and lays them out for the window's client size. Later calls lay them out again.
// fullScreen: the window fills the work area and is sized to it again when the work area changes.
void FitControls(HWND window, int designWidth, bool fullScreen = false);
// A fitted window's messages, from the dialog procedures: WM_SIZE lays out again, WM_DPICHANGED (and
// WM_DPICHANGED_AFTERPARENT) scales the design to the new DPI, WM_SETTINGCHANGE and
// WM_DISPLAYCHANGE size a full-screen window to the new work area, WM_VSCROLL and WM_MOUSEWHEEL scroll
// the controls, WM_DESTROY forgets the window. True when the message was consumed (a scroll).
bool FitMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The picture window's strip is composed from now on (null: none, the strip shows the window's
// background), the caller's as before; lays the window out again.
void FitStripPicture(HWND window, HBITMAP picture);
// Whether FitControls took window's controls (and still lays them out).
bool IsFitted(HWND window);
// child's rectangle in window's client coordinates.
RECT RectInClient(HWND window, HWND child);
// Whether window's class is name, compared as the system compares class names (case aside).
bool ClassIs(HWND window, const wchar_t* name);
