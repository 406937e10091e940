// Desktop stand-ins for what the Pocket PC shell provides, under the device's own names, so the
// pages and dialogs call them exactly as they would on the phone.
#pragma once
#include <windows.h>

// Class name of dialog windows (property sheets included): "Dialog" on the device.
extern const wchar_t kDialogClassName[];

// SHCreateMenuBar: a menu bar for a window. 36 bytes on the 32-bit device.
struct SHMENUBARINFO {
    DWORD cbSize;
    HWND hwndParent;
    DWORD dwFlags;
    UINT nToolBarId;  // menu resource whose top-level items are the soft keys
    HINSTANCE hInstRes;
    int nBmpId;
    int cBmpImages;
    HWND hwndMB;      // out: the window that carries the bar (the parent on the desktop), or 0
    COLORREF clrBk;
};
const DWORD SHCMBF_EMPTYBAR = 0x0001;
const DWORD SHCMBF_HIDDEN = 0x0002;
const DWORD SHCMBF_HIDESIPBUTTON = 0x0004;
const DWORD SHCMBF_HMENU = 0x0010;  // nToolBarId names a menu resource (the only kind the desktop bar has)

// The desktop bar is the parent's own menu, loaded from nToolBarId: its items send WM_COMMAND with
// their ids. An empty bar is no menu. FALSE when the record or the menu resource is unusable.
BOOL SHCreateMenuBar(SHMENUBARINFO* info);

// SHInitDialog: full-screen set-up of a dialog.
struct SHINITDLGINFO {
    DWORD dwMask;
    HWND hDlg;
    DWORD dwFlags;
};
const DWORD SHIDIM_FLAGS = 0x0001;
const DWORD SHIDIF_DONEBUTTON = 0x0001;
const DWORD SHIDIF_SIZEDLG = 0x0002;
const DWORD SHIDIF_SIZEDLGFULLSCREEN = 0x0004;
const DWORD SHIDIF_SIPDOWN = 0x0008;
const DWORD SHIDIF_FULLSCREENNOMENUBAR = 0x0010;

// Any of the sizing flags sizes the dialog to the work area (the phone's screen) and fits its controls
// to it, again whenever the work area changes (platform/fit.h); SIPDOWN records the input panel
// preference. DONEBUTTON makes the desktop's close box the done button: closing sends OK (1).
BOOL SHInitDialog(SHINITDLGINFO* info);

// SHSipPreference: what the window would like the input panel to do.
enum SIPSTATE { SIP_UP = 0, SIP_DOWN, SIP_FORCEDOWN, SIP_UNCHANGED, SIP_INPUTDIALOG };

// The desktop has no input panel: the request is only recorded (see LastSipPreference).
BOOL SHSipPreference(HWND window, SIPSTATE state);
// The last request made through SHSipPreference, SIP_UNCHANGED before any.
SIPSTATE LastSipPreference(HWND* window = nullptr);

// SHLoadImageResource: the "GIF" resource id of module decoded into a 32-bit DIB section owned by
// the caller; null when the resource is missing or cannot be decoded.
HBITMAP SHLoadImageResource(HINSTANCE module, UINT id);
// The same picture scaled to height pixels, its width in proportion: each pixel the average of the
// part of the picture it covers, so one large picture serves every DPI.
HBITMAP LoadImageResourceScaled(HINSTANCE module, UINT id, int height);
