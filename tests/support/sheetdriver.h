// Drives the applet's real windows as a user would: the applet runs its sheet on its own thread
// (the Control Panel's), the test plays the user from its thread through messages.
#pragma once
#include <windows.h>
#include <prsht.h>

#include <functional>
#include <string>

const DWORD kWindowTimeout = 5000;  // ms to wait for a window to come or go

// Polls condition every 20 ms until it holds or timeout ms pass; true when it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeout = kWindowTimeout);
// A top-level window of className (null: any) with title, or null after timeout.
HWND WaitForWindow(const wchar_t* className, const wchar_t* title, DWORD timeout = kWindowTimeout);
// Top-level windows now showing of className and title.
int CountWindows(const wchar_t* className, const wchar_t* title);
std::wstring WindowText(HWND window);
bool IsChecked(HWND button);
// A position relative to parent's client area.
RECT RectIn(HWND parent, HWND child);

// A message box: its text (static 0xFFFF) and answering it with a button id.
std::wstring MessageBoxText(HWND box);
void AnswerMessageBox(HWND box, int button);

// Registry values under HKEY_CURRENT_USER "SOFTWARE\Kestrova\Dialpass".
bool ReadSetting(const wchar_t* name, DWORD& value);
void WriteSetting(const wchar_t* name, DWORD value);
void DeleteSetting(const wchar_t* name);

class SheetDriver {
public:
    static const wchar_t kCaption[];  // the sheet's caption, the application's title

    // Loads dialpass.cpl from the test program's folder.
    SheetDriver();
    // Closes a sheet still open with Cancel, waits for the applet's thread and unloads the applet.
    ~SheetDriver();
    SheetDriver(const SheetDriver&) = delete;
    SheetDriver& operator=(const SheetDriver&) = delete;

    bool Loaded() const { return applet != nullptr; }
    // Sends CPL_DBLCLK on the applet's thread; the sheet's window, or null after the deadline.
    HWND Open(HWND owner = nullptr);
    // Sends CPL_DBLCLK once more on a thread of its own; true when it returned within timeout.
    bool OpenAgainReturns(DWORD timeout = kWindowTimeout);
    HWND Sheet() const { return sheet; }
    bool Running() const;

    HWND Tab() const;
    int TabCount() const;
    std::wstring TabTitle(int index) const;
    int CurrentTab() const;
    // Switches to tab index and waits for its page to be shown; the page, or null.
    HWND ShowPage(int index);
    // The page's window, null while its tab was never opened.
    HWND Page(int index) const;
    HWND Control(int page, int id) const;

    // Posts a click, as a tap; the caller waits for what it should cause.
    void Click(HWND control) const;
    void Click(int page, int id) const { Click(Control(page, id)); }
    // Presses the sheet's OK or Cancel and waits until the sheet and its CPL_DBLCLK are over.
    bool PressOk() { return Press(PSBTN_OK); }
    bool PressCancel() { return Press(PSBTN_CANCEL); }
    // Waits for the applet's thread to return from CPL_DBLCLK.
    bool WaitClosed(DWORD timeout = kWindowTimeout);

    // The result CPL_DBLCLK returned (valid once closed).
    LONG result = -1;

private:
    bool Press(int button);
    static DWORD WINAPI AppletThread(void* self);

    HMODULE library = nullptr;
    LONG(APIENTRY* applet)(HWND, UINT, LPARAM, LPARAM) = nullptr;
    HANDLE thread = nullptr;
    HWND owner = nullptr;
    HWND sheet = nullptr;
};
