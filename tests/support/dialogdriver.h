// Runs one of the applet's dialogs modally as the applet does, on a UI thread of its own and owned by a
// hidden window of that thread; the test plays the user from its own thread through messages.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "data/stores.h"
#include "framework/dialog.h"
#include "support/sheetdriver.h"

class ModalDialog {
public:
    // Starts dialog.DoModal and waits until the dialog's window exists (it may still be hidden
    // behind a message box of its set-up); Window() is null when it never came.
    ModalDialog(CDialog& dialog, const wchar_t* title);
    // A dialog still open is ended (every dialog and box of its thread, code -2) and waited for.
    ~ModalDialog();
    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;

    HWND Window() const { return window; }
    HWND Item(int id) const { return GetDlgItem(window, id); }
    // A click that returns at once (SendMessage), and one that opens a window or ends the dialog (posted).
    void Click(int id) const { SendMessageW(Item(id), BM_CLICK, 0, 0); }
    void PostClick(int id) const { PostMessageW(Item(id), BM_CLICK, 0, 0); }
    // A soft key of the menu bar: WM_COMMAND id with no control.
    void SoftKey(int id) const { PostMessageW(window, WM_COMMAND, WPARAM(id), 0); }
    // True when DoModal returned within timeout; result holds its answer.
    bool Ended(DWORD timeout = kWindowTimeout);
    // The visible dialog window of this dialog's thread with this title (a nested dialog, a message box).
    HWND Find(const wchar_t* title, DWORD timeout = kWindowTimeout) const;

    INT_PTR result = -3;

private:
    static DWORD WINAPI Run(void* self);

    CDialog& dialog;
    HANDLE thread = nullptr;
    DWORD threadId = 0;
    HWND host = nullptr;
    HWND window = nullptr;
};

// The applet's message box (caption "Kestrova Dialpass") on the dialog's thread: its text, then it is answered
// with OK and gone. Empty when none came.
std::wstring AnswerMessage(const ModalDialog& dialog, DWORD timeout = kWindowTimeout);

// A combo box's selected entry, or "(none)".
inline std::wstring Selected(HWND box)
{
    return SendMessageW(box, CB_GETCURSEL, 0, 0) < 0 ? L"(none)" : WindowText(box);
}

// A card profile with account 12345 and PIN 9876, this card provider and home (country code and id).
ProfileRecord TestProfile(const wchar_t* name, uint32_t provider, uint32_t homeCode, uint32_t homeId);

// The simulated cellular line reports op as its network operator ("MCC MNC"); null: no network.
void SetSimulatedOperator(const wchar_t* op);
